#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made, as a user would get them:
# lists each one's contents, unpacks the .deb into a temporary root and runs
# its programs for a whole demo run, renders its man pages, and checks each
# Windows .zip's programs (format, imports, version) and runs its demo.cmd
# under Wine where this host can. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-width.sh
work=$(mktemp -d /tmp/telegram-packages.XXXXXX)
trap 'stop_wine; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $1" >&2
  exit 1
}

# The version and the packages' names, as the build made them.
source build-package/build-facts.sh

# The report of a whole demo run, made by the programs the Linux package was
# built from; each package's demo must write the same, byte for byte.
build-package/telegram-sender --receiver build-package/telegram-receiver >"$work/expected.txt" 2>/dev/null ||
  fail "the built programs' demo ended with status $?"
# As a Windows text stream writes it: every "\n" as "\r\n".
perl -pe 's/\n/\r\n/' "$work/expected.txt" >"$work/expected-windows.txt"

check_report() {  # report file, expected report, what ran
  cmp -s "$1" "$2" || fail "$3: the report differs from the built programs' ($(cmp "$1" "$2" 2>&1 | head -n 1))"
  echo "ok: $3: a whole run reported, byte for byte"
}
deb=packages/$deb_file
tgz=packages/$package_base.tar.gz
[ -f "$deb" ] || fail "$deb is missing"
[ -f "$tgz" ] || fail "$tgz is missing"
echo "== $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Architecture\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $NF}'
echo "== $tgz"
tar -tzf "$tgz" | sed 's/^/  /'

root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin
[ "$("$bin/telegram-sender" --version)" = "telegram-sender $version" ] || fail "telegram-sender --version"
"$bin/telegram-sender" --receiver "$bin/telegram-receiver" >"$work/report.txt" 2>"$work/demo.err" ||
  fail "the installed demo ended with status $?: $(cat "$work/demo.err")"
check_report "$work/report.txt" "$work/expected.txt" "the .deb's telegram-sender --receiver telegram-receiver"
for page in telegram-receiver telegram-sender; do
  file=$root/usr/share/man/man1/$page.1
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $file: $warnings"
  MANWIDTH=80 man -l "$file" | grep -q "telegram-receiver $version" || fail "man -l $file shows no version"
  echo "ok: man -l $page.1 renders"
done

wine_ready=
for bits in 32 64; do
  if [ ! -f build-package-win$bits/build-facts.sh ]; then
    echo "(no $bits-bit Windows package: this host has no $bits-bit cross compiler)"
    continue
  fi
  kit_name=$(source build-package-win$bits/build-facts.sh && echo "$package_base")
  zip=packages/$kit_name.zip
  [ -f "$zip" ] || fail "$zip is missing"
  echo "== $zip"
  unzip -l "$zip" | sed -n 's/^ *[0-9]\+ \+[0-9-]\+ [0-9:]\+ \+/  /p'
  unzip -q "$zip" -d "$work/win$bits"
  kit=$work/win$bits/$kit_name
  for file in telegram-receiver.exe telegram-sender.exe demo.cmd README.txt; do
    [ -f "$kit/$file" ] || fail "$zip has no $file"
  done
  format=PE32
  [ $bits = 64 ] && format=PE32+
  bash tests/windows_executable_test.sh $format "$version" "$kit/telegram-receiver.exe" "$kit/telegram-sender.exe"
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
