#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made, as a user would get them:
# lists each one's contents, unpacks the .deb into a temporary root and runs
# its programs for a whole demo run, renders its man pages, and checks each
# Windows .zip's programs (format, imports, version) and runs its demo.cmd
# under Wine where this host can. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(telegram_receiver VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d /tmp/telegram-packages.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $1" >&2
  exit 1
}

# A whole run's report: the banner, 1000 type lines, the closing lines.
check_report() {  # report file, what ran
  local types
  types=$(grep -c -- '--> Telegram Type: ' "$1" || true)
  [ "$(head -c 22 "$1")" = "Receiving datagrams..." ] || fail "$2: no banner"
  [ "$types" = 1000 ] || fail "$2: $types type lines, not 1000"
  tail -c 60 "$1" | tr -d '\r' | grep -q 'Finished receiving. Closing socket.$' || fail "$2: no closing lines"
  echo "ok: $2: a whole run of 1000 telegrams reported"
}

deb=packages/telegram-receiver_${version}_amd64.deb
tgz=packages/telegram-receiver-${version}-linux-x86_64.tar.gz
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
check_report "$work/report.txt" "the .deb's telegram-sender --receiver telegram-receiver"
for page in telegram-receiver telegram-sender; do
  file=$root/usr/share/man/man1/$page.1
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $file: $warnings"
  MANWIDTH=80 man -l "$file" | grep -q "telegram-receiver $version" || fail "man -l $file shows no version"
  echo "ok: man -l $page.1 renders"
done

source scripts/windows-width.sh
wine_ready=
for bits in 32 64; do
  zip=packages/telegram-receiver-${version}-win$bits.zip
  if [ ! -f "$zip" ]; then
    echo "(no $zip: this host has no $bits-bit cross compiler)"
    continue
  fi
  echo "== $zip"
  unzip -l "$zip" | sed -n 's/^ *[0-9]\+ \+[0-9-]\+ [0-9:]\+ \+/  /p'
  unzip -q "$zip" -d "$work/win$bits"
  kit=$work/win$bits/telegram-receiver-${version}-win$bits
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
  check_report "$work/win-report.txt" "the $bits-bit .zip's demo.cmd under Wine"
done
