#!/usr/bin/env bash
# Checks that each Windows program is a console executable of the given
# format (PE32 for 32-bit, PE32+ for 64-bit) that imports only DLLs that
# every Windows has, so that it runs with nothing beside it.
# usage: windows_executable_test.sh PE32|PE32+ program.exe...
set -u
format=$1
shift
objdump=${OBJDUMP:-objdump}
system_dlls='^(KERNEL32|msvcrt|WS2_32)\.dll$'
failed=0

fail() {
  echo "FAIL: $1" >&2
  failed=1
  bad=1
}

for exe in "$@"; do
  bad=0
  if ! headers=$("$objdump" -p "$exe" 2>&1); then
    fail "$exe: $objdump cannot read it: $headers"
    continue
  fi
  magic=$(sed -n 's/^Magic[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))$/\1/p' <<<"$headers")
  [ "$magic" = "$format" ] || fail "$exe: format '$magic', expected '$format'"
  grep -q '^Subsystem.*(Windows CUI)' <<<"$headers" || fail "$exe: not a console program"
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
  [ -n "$dlls" ] || fail "$exe: no imports found"
  while read -r dll; do
    [ -z "$dll" ] || grep -qiE "$system_dlls" <<<"$dll" || fail "$exe: imports $dll, which is not part of Windows"
  done <<<"$dlls"
  [ $bad = 1 ] || echo "ok: $exe: $format console program; imports $(echo $dlls)"
done
exit $failed
