#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made, as a user gets them:
# - the .deb: its control fields, its licence as Debian's copyright file,
#   a whole demo run of its programs, its man pages rendered and the
#   examples they give run as written, and its dissector where the packet
#   analyser loads plugins, run by tshark;
# - the .tar.gz: its licence, and a whole demo run of its programs in an
#   empty root, with no system library at all;
# - each Windows .zip: its licence, its README.txt as plain text, its
#   programs' format, imports and version, and its demo.cmd under Wine
#   where this host can run that width;
# - the Python wheel, and the package from the source tree: each installed
#   offline into a fresh venv, and its tests and examples run against it.
# Every demo run must report byte for byte what the programs the packages
# were built from report. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-width.sh
work=$(mktemp -d /tmp/telegram-packages.XXXXXX)
receiver_pid=
trap '[ -z "$receiver_pid" ] || kill "$receiver_pid" 2>/dev/null; stop_wine; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $1" >&2
  exit 1
}

# The package that a build folder made, from its build-facts.sh.
package_of() { (source "$1/build-facts.sh" && echo "packages/$package_file"); }
folder_of() { (source "$1/build-facts.sh" && echo "$package_folder"); }
source build-package/build-facts.sh  # $version

# The report of a whole demo run, made by the programs the .deb was built
# from; each package's demo must write the same, byte for byte.
build-package/telegram-sender --receiver build-package/telegram-receiver >"$work/expected.txt" 2>/dev/null ||
  fail "the built programs' demo ended with status $?"
# As a Windows text stream writes it: every "\n" as "\r\n".
perl -pe 's/\n/\r\n/' "$work/expected.txt" >"$work/expected-windows.txt"

# The README's C example built as the README says, with pkg-config and with
# CMake, against a package's library under `prefix`, and run beside the
# sender: ten telegrams received.
check_readme_build() {  # prefix, package
  local prefix=$1 package=$2 build=$work/readme-build status
  rm -rf "$build"
  mkdir -p "$build/cmake"
  awk '/^```c$/{f=1;next}/^```/{f=0}f' README.md >"$build/ten.c"
  [ -s "$build/ten.c" ] || fail "README.md has no C example"
  printf 'cmake_minimum_required(VERSION 3.16)\nproject(ten C)\nfind_package(tgr 1 REQUIRED)\n%s\n%s\n' \
    'add_executable(ten ../ten.c)' 'target_link_libraries(ten PRIVATE tgr::tgr)' >"$build/cmake/CMakeLists.txt"
  (cd "$build" && PKG_CONFIG_PATH=$prefix/lib/pkgconfig && export PKG_CONFIG_PATH &&
    cc ten.c $(pkg-config --cflags --libs tgr) -o ten-pc) >"$build/log" 2>&1 ||
    fail "$package: the README's 'cc ten.c \$(pkg-config --cflags --libs tgr)' fails: $(tail -n 5 "$build/log")"
  cmake -S "$build/cmake" -B "$build/cmake/build" -DCMAKE_PREFIX_PATH="$prefix" >"$build/log" 2>&1 &&
    cmake --build "$build/cmake/build" >>"$build/log" 2>&1 ||
    fail "$package: the README's find_package(tgr 1 REQUIRED) and tgr::tgr fail: $(tail -n 5 "$build/log")"
  for ten in "$build/ten-pc" "$build/cmake/build/ten"; do
    LD_LIBRARY_PATH=$prefix/lib "$ten" >"$build/ten.out" 2>&1 &
    for _ in $(seq 200); do port_held && break; sleep 0.05; done
    "$prefix/bin/telegram-sender" 2>/dev/null
    status=0
    wait $! || status=$?
    [ $status = 0 ] && [ "$(grep -c '^scan [0-9]* block [0-9]*$' "$build/ten.out")" -ge 7 ] ||
      fail "$package: the README's example, built, ends with status $status: $(head -n 3 "$build/ten.out")"
  done
  echo "ok: $package: the README's C example builds with pkg-config and with CMake (tgr::tgr) and receives"
}

check_report() {  # report file, expected report, what ran
  cmp -s "$1" "$2" || fail "$3: the report differs from the built programs' ($(cmp "$1" "$2" 2>&1 | head -n 1))"
  echo "ok: $3: a whole run reported, byte for byte"
}

# The licences of what is built into the programs beside ours: in the
# package's folder, each as it is in the source (line ends aside, and the
# last line's end, which one of them lacks).
built_in_licences=("third_party/uplot/LICENSE uPlot-LICENSE" "third_party/boost/LICENSE_1_0.txt Boost-LICENSE_1_0")
check_licences() {  # folder, ending of the files there, package
  local pair from name
  for pair in "${built_in_licences[@]}"; do
    read -r from name <<<"$pair"
    [ -f "$1/$name$2" ] && cmp -s <(tr -d '\r' <"$1/$name$2" | sed '$a\') <(sed '$a\' "$from") ||
      fail "$3: no $name$2 that is $from"
  done
}

# True once some socket holds UDP port 9999 (hex 270F).
port_held() { grep -q ':270F ' /proc/net/udp; }

# Runs one command of a man page or a README as written, in a folder of
# its own ($work/examples unless given), with the package's programs first
# on the PATH and HOME as given (where the dissector is a personal plugin).
# A command that starts a receiver and waits gets a whole run from
# telegram-sender; a replay to a receiver on this computer gets one to take
# it.
run_example() {  # bin folder, command[, folder, whose command, home]
  local bin=$1 command=$2 folder=${3:-$work/examples} whose=${4:-"the man page's example"} home=${5:-$HOME}
  local status=0 taker=
  mkdir -p "$folder"
  if [[ $command == "telegram-sender --replay"* && $command != *--receiver* ]]; then
    "$bin/telegram-receiver" >"$work/replayed.txt" 2>/dev/null &
    taker=$!
    for _ in $(seq 200); do port_held && break; sleep 0.05; done
  fi
  ( cd "$folder" && HOME=$home PATH="$bin:$PATH" exec timeout 60 bash -c "$command" ) >"$work/example.out" 2>&1 &
  receiver_pid=$!
  for _ in $(seq 200); do
    [ -z "$taker" ] && port_held || ! kill -0 $receiver_pid 2>/dev/null && break
    sleep 0.05
  done
  if kill -0 $receiver_pid 2>/dev/null && port_held &&
     [[ $command == telegram-receiver* || $command == telegram-record* || $command == "telegram-plot "*"--port 9999"* ]]; then
    "$bin/telegram-sender" 2>/dev/null || fail "feeding the example '$command' failed"
  fi
  if [[ $command == *--serve* ]]; then
    # A page served: it has the whole run, and the page; Ctrl-C ends it.
    local port=${command##*--serve } blocks=
    port=${port%% *}
    for _ in $(seq 100); do
      blocks=$(curl -s "http://127.0.0.1:$port/blocks?after=1000") || true
      [[ $blocks == *'"reading":false'* ]] && break
      # Telegrams received go on until Ctrl-C: the whole run is there once counted.
      [[ $command == *--port* && $blocks == *'"telegrams":1000,'* ]] && break
      sleep 0.1
    done
    if [[ $command == telegram-sender* ]]; then
      # The demo's own run, as long as it asks: read to its end, undamaged.
      [[ $blocks == *'"reading":false'* && $blocks == *'"damage":""'* && $blocks != *'"telegrams":0,'* ]] ||
        fail "$whose '$command' serves no whole demo run: $blocks"
    else
      [[ $blocks == *'"telegrams":1000,'* ]] || fail "$whose '$command' serves no whole run: $blocks"
    fi
    curl -s "http://127.0.0.1:$port/" | grep -q '<title>telegram-plot' || fail "'$command' serves no page"
    # The plot alone: a pattern over whole command lines would also match
    # the shell and timeout around it, and reach the receiver through them.
    pkill -INT -x telegram-plot
  fi
  wait $receiver_pid || status=$?
  receiver_pid=
  [ $status = 0 ] || fail "$whose '$command' ended with status $status: $(tail -n 3 "$work/example.out")"
  if [ -n "$taker" ]; then
    kill $taker && wait $taker || true
    grep -q 'Telegram Type' "$work/replayed.txt" || fail "$whose '$command': the receiver it sent to reported nothing"
  fi
  echo "ok: $whose runs as written: $command"
}

# A type-1 telegram, as one UDP datagram to port 9999 in a capture; as
# session.pcapng, it is the capture the man page's replay example plays.
printf '2e 00 00 00 03 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 %s 00 00 8c 0a 0a 00\n' \
  "$(printf '00 %.0s' $(seq 20))" | sed 's/^/000000 /' >"$work/beam.hex"
text2pcap -q -4 127.0.0.1,127.0.0.1 -u 40000,9999 "$work/beam.hex" "$work/beam.pcap" >/dev/null
mkdir -p "$work/examples"
text2pcap -q -n -4 127.0.0.1,127.0.0.1 -u 40000,9999 "$work/beam.hex" "$work/examples/session.pcapng" >/dev/null

# The checksums made beside the packages.
(cd packages && sha256sum --quiet -c SHA256SUMS) || fail "packages/SHA256SUMS does not match the packages"
echo "ok: packages/SHA256SUMS holds the checksum of each of the $(wc -l <packages/SHA256SUMS) packages"

# --- The .deb ------------------------------------------------------------------
deb=$(package_of build-package)
[ -f "$deb" ] || fail "$deb is missing"
echo "== $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Architecture\|Maintainer\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $NF}'
dpkg-deb --field "$deb" Maintainer | grep -qE '<[^@ ]+@[^@ ]+>$' || fail "$deb: the Maintainer has no address"
[ "$(dpkg-deb --field "$deb" Recommends)" = bash-completion ] || fail "$deb: it does not recommend bash-completion"
root=$work/root
dpkg -x "$deb" "$root"
doc=$root/usr/share/doc/telegram-receiver
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" &&
  grep -qx 'License: Expat' "$doc/copyright" || fail "$deb: no copyright file in Debian's format"
# The licence's text, as the copyright file indents it.
sed -n '/^Permission/,$p' LICENSE | sed 's/^$/./; s/^/ /' |
  cmp -s - <(awk '/^ Permission/ { text = 1 } text && /^$/ { exit } text' "$doc/copyright") ||
  fail "$deb: the copyright file does not hold the licence's text"
check_licences "$doc/licences" "" "$deb"
for stanza in 'Files: third_party/uplot/*' 'Files: third_party/boost/*' 'License: BSL-1.0'; do
  grep -qxF "$stanza" "$doc/copyright" || fail "$deb: the copyright file has no '$stanza'"
done
echo "ok: $deb: the licence as Debian's copyright file; Maintainer $(dpkg-deb --field "$deb" Maintainer)"
# The library, for those who build on it.
for file in lib/libtgr.so.1 lib/libtgr.a include/tgr/tgr.h include/tgr/tgr.hpp include/tgr/tgr_version.h \
  lib/cmake/tgr/tgrConfig.cmake lib/pkgconfig/tgr.pc; do
  [ -e "$root/usr/$file" ] || fail "$deb has no /usr/$file"
done
control_files=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qx './shlibs' <<<"$control_files" || fail "$deb: no shlibs file for libtgr.so.1"
tgr_include=$(PKG_CONFIG_PATH=$root/usr/lib/pkgconfig pkg-config --cflags-only-I tgr | sed 's/^-I//; s/ *$//')
[ -f "$tgr_include/tgr/tgr.h" ] || fail "$deb: tgr.pc does not lead to its headers"
echo "ok: $deb: the library (libtgr.so.1, libtgr.a), its headers, its CMake package and tgr.pc"
for file in README.md docs/library.md docs/python.md; do
  cmp -s "$file" "$doc/$file" || fail "$deb has no $file where the README's links lead"
done
description=$(dpkg-deb --field "$deb" Description)
[[ $description == *telegram-record* && $description == *tgr* ]] ||
  fail "$deb: its description names not telegram-record and the library: $description"
echo "ok: $deb: the README with the documents it links, and a description of everything in it"
check_readme_build "$root/usr" "$deb"
bin=$root/usr/bin
[ "$("$bin/telegram-sender" --version)" = "telegram-sender $version" ] || fail "telegram-sender --version"
"$bin/telegram-sender" --receiver "$bin/telegram-receiver" >"$work/report.txt" 2>"$work/demo.err" ||
  fail "the installed demo ended with status $?: $(cat "$work/demo.err")"
check_report "$work/report.txt" "$work/expected.txt" "the .deb's telegram-sender --receiver telegram-receiver"
for page in telegram-receiver telegram-sender telegram-plot telegram-record; do
  file=$root/usr/share/man/man1/$page.1.gz
  [ -f "$file" ] || fail "$deb has no $page.1.gz"
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $file: $warnings"
  MANWIDTH=80 man -l "$file" | grep -q "telegram-receiver $version" || fail "man -l $file shows no version"
  echo "ok: man -l $page.1.gz renders"
  # Each example: a .TP, then the command in bold, its dashes escaped.
  examples=$(zcat "$file" | sed -n '/^\.SH EXAMPLES/,/^\.SH /p' | sed -n '/^\.TP/{n;s/^\.B //p}' | sed 's/\\-/-/g')
  [ -n "$examples" ] || fail "$page.1 has no examples"
  while read -r example; do run_example "$bin" "$example"; done <<<"$examples"
done

# bash completion of the options, from the programs' own tables.
for command in telegram-sender telegram-plot telegram-record; do
  completion=$root/usr/share/bash-completion/completions/$command
  [ -f "$completion" ] || fail "$deb has no bash completion for $command"
done
completed=$(PATH="$bin:$PATH" bash -c "source '$root/usr/share/bash-completion/completions/telegram-plot'
  COMP_WORDS=(telegram-plot --se); COMP_CWORD=1; _telegram_options telegram-plot; echo \"\${COMPREPLY[*]}\"")
[ "$completed" = "--serve" ] || fail "bash completes 'telegram-plot --se' as '$completed'"
echo "ok: bash completes the options of telegram-sender and telegram-plot: 'telegram-plot --se' gives $completed"

# The dissector, where the analyser looks for Lua plugins of the whole
# system, and tshark decoding a telegram with it.
global_plugins=$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
dissector=$root$global_plugins/telegram.lua
[ -f "$dissector" ] || fail "$deb has no dissector in the analyser's global Lua plugin folder, $global_plugins"
decoded=$(tshark -r "$work/beam.pcap" -X lua_script:"$dissector" 2>/dev/null)
[[ $decoded == *"Type 1, BeamCount 271"* ]] || fail "tshark with the .deb's dissector shows: $decoded"
echo "ok: the dissector in $global_plugins: tshark shows 'Type 1, BeamCount 271'"

# The README's commands for Linux, as written and in its order, with the
# .deb's programs on the PATH and the dissector in a personal plugin folder,
# where the README says to copy it. (The build's, the Windows' and those
# that need sudo are checked elsewhere or not at all.)
readme_commands=$(awk '/^```sh/{f=1;next}/^```/{f=0}f' README.md | sed 's/[[:space:]]*#.*$//' |
  grep -E '^(telegram-[a-z]+ |tshark )' | grep -v '\.exe') || true
[ -n "$readme_commands" ] || fail "README.md has no commands to run"
home=$work/home
mkdir -p "$home/.local/lib/wireshark/plugins" "$work/readme"
cp "$dissector" "$home/.local/lib/wireshark/plugins/"
cp "$work/examples/session.pcapng" "$work/readme/"
while read -r command; do run_example "$bin" "$command" "$work/readme" "the README's command" "$home"; done \
  <<<"$readme_commands"

# --- The .tar.gz ---------------------------------------------------------------
tgz=$(package_of build-package-portable)
[ -f "$tgz" ] || fail "$tgz is missing"
echo "== $tgz"
tar -tzf "$tgz" | sed 's/^/  /'
tar -xzf "$tgz" -C "$work"
portable=$work/$(folder_of build-package-portable)
cmp -s LICENSE "$portable/share/doc/telegram-receiver/LICENSE" || fail "$tgz: no LICENSE"
check_licences "$portable/share/doc/telegram-receiver/licences" "" "$tgz"
cmp -s dissector/telegram.lua "$portable/lib/wireshark/plugins/telegram.lua" || fail "$tgz: no dissector"
[ -f "$portable/README" ] || fail "$tgz: no README at its top"
[ -f "$portable/share/bash-completion/completions/telegram-sender" ] || fail "$tgz: no bash completion"
for file in lib/libtgr.a include/tgr/tgr.h lib/cmake/tgr/tgrConfig.cmake lib/pkgconfig/tgr.pc \
  share/doc/telegram-receiver/docs/library.md share/doc/telegram-receiver/docs/python.md; do
  [ -f "$portable/$file" ] || fail "$tgz has no $file"
done
check_readme_build "$portable" "$tgz"
# Its README's commands as written, from the unpacked folder: bin/ put on
# the PATH, then the demo.
grep -qF 'export PATH="$PWD/bin:$PATH"' "$portable/README" && grep -qx '    telegram-sender --receiver telegram-receiver' \
  "$portable/README" || fail "$tgz: its README has not the commands checked here"
(cd "$portable" && export PATH="$PWD/bin:$PATH" && telegram-sender --receiver telegram-receiver) >"$work/tgz-readme.txt" \
  2>/dev/null || fail "the .tar.gz README's demo, from the unpacked folder, ended with status $?"
check_report "$work/tgz-readme.txt" "$work/expected.txt" "the .tar.gz README's commands, run from the unpacked folder"
# An empty root with the two programs and nothing else: no C library, no
# loader. What runs there needs nothing of any Linux but its kernel.
empty=$work/empty-root
mkdir -p "$empty/bin"
cp "$portable/bin/telegram-receiver" "$portable/bin/telegram-sender" "$empty/bin/"
chroot "$empty" /bin/telegram-sender --receiver /bin/telegram-receiver >"$work/portable.txt" 2>"$work/portable.err" ||
  fail "the .tar.gz's demo in an empty root ended with status $?: $(cat "$work/portable.err")"
check_report "$work/portable.txt" "$work/expected.txt" "the .tar.gz's programs in an empty root, with no system library"

# --- The Python wheel, and the source tree's Python package --------------------
# Each into a fresh venv over Debian's Python, offline, as the README says;
# the package's whole test suite, its examples with it, then runs against
# what was installed (the tests import tgr from the venv, not the tree).
python=${TELEGRAM_PYTHON:-/usr/bin/python3}
check_python() {  # what, what pip installs
  rm -rf "$work/venv"
  "$python" -m venv --system-site-packages "$work/venv"
  "$work/venv/bin/pip" install --no-build-isolation --no-index --quiet "$2" >"$work/pip.log" 2>&1 ||
    fail "$1: pip install: $(tail -n 3 "$work/pip.log")"
  [ "$(cd "$work" && venv/bin/python -c 'import tgr; print(tgr.__version__, tgr.__file__)')" = \
    "$version $work/venv/lib/python3.$("$python" -c 'import sys; print(sys.version_info[1])')/site-packages/tgr/__init__.py" ] ||
    fail "$1: tgr $version is not what the venv imports"
  TELEGRAM_BIN=$PWD/build-package PYTHONDONTWRITEBYTECODE=1 "$work/venv/bin/python" -m pytest -q -p no:cacheprovider \
    python/tests >"$work/pytest.log" 2>&1 || fail "$1: its tests: $(tail -n 20 "$work/pytest.log")"
  echo "ok: $1: installed offline into a fresh venv; $(tail -n 1 "$work/pytest.log")"
}
wheel=$(cd packages && ls tgr-"$version"-*.whl)
grep -q " $wheel\$" packages/SHA256SUMS || fail "SHA256SUMS does not list $wheel"
check_python "$wheel" "packages/$wheel"
check_python "the source tree's python/" ./python

# --- The Windows .zip files ----------------------------------------------------
wine_ready=
for bits in 32 64; do
  if [ ! -f build-package-win$bits/build-facts.sh ]; then
    echo "(no $bits-bit Windows package: this host has no $bits-bit cross compiler)"
    continue
  fi
  zip=$(package_of build-package-win$bits)
  [ -f "$zip" ] || fail "$zip is missing"
  echo "== $zip"
  unzip -l "$zip" | sed -n 's/^ *[0-9]\+ \+[0-9-]\+ [0-9:]\+ \+/  /p'
  unzip -q "$zip" -d "$work/win$bits"
  kit=$work/win$bits/$(folder_of build-package-win$bits)
  for file in telegram-receiver.exe telegram-sender.exe telegram-plot.exe telegram-record.exe demo.cmd README.txt LICENSE.txt \
    telegram.lua bin/libtgr.dll lib/libtgr.dll.a lib/libtgr.a include/tgr/tgr.h include/tgr/tgr.hpp \
    include/tgr/tgr_version.h lib/cmake/tgr/tgrConfig.cmake docs/library.md docs/python.md; do
    [ -f "$kit/$file" ] || fail "$zip has no $file"
  done
  # The DLL's file properties name it and its version, as the programs' do.
  dll_strings=$(strings -el "$kit/bin/libtgr.dll")
  grep -qx "libtgr.dll" <<<"$dll_strings" && grep -qx "$version" <<<"$dll_strings" ||
    fail "$zip: bin/libtgr.dll has no version resource naming it and $version"
  tr -d '\r' <"$kit/LICENSE.txt" | cmp -s LICENSE - || fail "$zip: LICENSE.txt is not the licence"
  check_licences "$kit/licences" .txt "$zip"
  # README.txt as a Windows console shows it: ASCII with CR LF, no Markdown.
  ! LC_ALL=C grep -q '[^[:print:][:space:]]' "$kit/README.txt" || fail "$zip: README.txt is not plain ASCII"
  [ "$(grep -c $'\r$' "$kit/README.txt")" = "$(wc -l <"$kit/README.txt")" ] || fail "$zip: README.txt has lines without CR LF"
  ! grep -qE '^(#|```)' "$kit/README.txt" || fail "$zip: README.txt holds Markdown"
  echo "ok: $zip: LICENSE.txt and the licences of what is built in, and README.txt in plain ASCII with Windows line ends"
  format=PE32
  [ $bits = 64 ] && format=PE32+
  bash tests/windows_executable_test.sh $format "$version" "$kit/telegram-receiver.exe" "$kit/telegram-sender.exe" \
    "$kit/telegram-record.exe" \
    "$kit/telegram-plot.exe"
  if [ $bits != "$width" ]; then
    echo "(the $bits-bit demo is not run: this host runs the $width-bit Windows programs)"
    continue
  fi
  if [ -z "$wine_ready" ]; then
    start_wine || fail "$wine_failure"
    wine_ready=1
  fi
  "$loader" cmd /c "Z:${kit//\//\\}\\demo.cmd" >"$work/win-report.txt" 2>"$work/win-demo.err" ||
    fail "the .zip's demo.cmd under Wine ended with status $?: $(cat "$work/win-demo.err")"
  check_report "$work/win-report.txt" "$work/expected-windows.txt" "the $bits-bit .zip's demo.cmd under Wine"
done
