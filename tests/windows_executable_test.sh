#!/usr/bin/env bash
# Checks that each Windows program is a console executable of the given
# format (PE32 for 32-bit, PE32+ for 64-bit) that imports only DLLs that
# every Windows has, so that it runs with nothing beside it, and that its
# file properties show the product, the version, a description and the
# copyright.
# usage: windows_executable_test.sh PE32|PE32+ VERSION program.exe...
set -u
format=$1
version=$2
shift 2
objdump=${OBJDUMP:-objdump}
system_dlls='^(KERNEL32|msvcrt|WS2_32|MSWSOCK|IPHLPAPI)\.dll$'
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
  # The version resource's strings, UTF-16: each name followed by its value.
  resource=$(strings -el "$exe")
  value_of() { grep -A1 -x "$1" <<<"$resource" | sed -n 2p; }
  [ "$(value_of ProductName)" = telegram-receiver ] || fail "$exe: no ProductName 'telegram-receiver'"
  [ "$(value_of ProductVersion)" = "$version" ] || fail "$exe: ProductVersion is not '$version'"
  [ "$(value_of FileVersion)" = "$version" ] || fail "$exe: FileVersion is not '$version'"
  [ "$(value_of OriginalFilename)" = "$(basename "$exe")" ] || fail "$exe: OriginalFilename is not its name"
  [ -n "$(value_of FileDescription)" ] || fail "$exe: no FileDescription"
  [[ "$(value_of LegalCopyright)" == Copyright* ]] || fail "$exe: no LegalCopyright"
  [ $bad = 1 ] || echo "ok: $exe: $format console program, version $version ($(value_of FileDescription)); imports $(echo $dlls)"
done
exit $failed
