#!/usr/bin/env bash
# The shared library's binary interface against the baseline kept beside
# this script (tgr.abi), as libabigail sees it from the public headers: any
# function or struct added, removed or changed fails here, so that a change
# to the interface is always deliberate. To make one, regenerate the
# baseline with `abi_check.sh --update LIB GENERATED` and commit it with the
# change, which then shows in the diff.
#
# usage: abi_check.sh [--update] LIBTGR_SO GENERATED_INCLUDE_DIR
# Needs abidw and abidiff (Debian: abigail-tools) and a library built with
# debug information (RelWithDebInfo). Where they are missing it is skipped
# (status 77), unless CI=true.
set -uo pipefail
update=no
if [ "${1:-}" = --update ]; then
  update=yes
  shift
fi
library=$1 generated=$2
here=$(cd "$(dirname "$0")" && pwd)
headers=$here/../include/tgr
baseline=$here/tgr.abi
if ! command -v abidiff >/dev/null || ! command -v abidw >/dev/null; then
  echo "abi_check: abidiff and abidw are not installed (Debian: abigail-tools)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
# Only what the public headers declare, the handles kept opaque.
options=(--headers-dir "$headers" --headers-dir "$generated/tgr" --drop-private-types --exported-interfaces-only
  --suppressions "$here/opaque.suppr")
if [ $update = yes ]; then
  # No path of this computer in it: a clone anywhere compares the same.
  abidw "${options[@]}" --no-corpus-path --no-comp-dir-path --short-locs --type-id-style hash --out-file "$baseline" \
    "$library" || exit 1
  echo "abi_check: $baseline made anew from $library; commit it with the change"
  exit 0
fi
abidiff --fail-no-debug-info --headers-dir2 "$headers" --headers-dir2 "$generated/tgr" --drop-private-types \
  --suppressions "$here/opaque.suppr" "$baseline" "$library"
status=$?
if [ $status != 0 ]; then
  echo "abi_check: $library differs from $baseline (abidiff's status $status)." >&2
  echo "If the change is meant, run: bash $0 --update $library $generated" >&2
  exit 1
fi
echo "abi_check: the interface of $library is the baseline's"
