#!/usr/bin/env bash
# Builds every package this host's tools allow, into packages/, and lists
# them: on Linux a .deb and a .tar.gz; with the MinGW-w64 cross compilers a
# .zip for 32-bit and for 64-bit Windows. Each build folder's build-facts.sh
# names what it made, for scripts/check-packages.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-width.sh
out=$PWD/packages
mkdir -p "$out"

package() {  # build directory, cmake arguments...
  local dir=$1 log
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$dir" --parallel >/dev/null
  # CPack's progress goes to its log; the log is shown only if it fails.
  if ! log=$(cd "$dir" && cpack -B "$out" 2>&1); then
    echo "$log" >&2
    return 1
  fi
}

package build-package
for bits in 32 64; do
  windows_tools $bits
  if command -v $triplet-g++-posix >/dev/null; then
    package build-package-win$bits -DCMAKE_TOOLCHAIN_FILE=$toolchain
  else
    echo "No $bits-bit Windows package: the cross compiler $triplet-g++-posix is not installed."
  fi
done
# CPack's own working files stay in packages/_CPack_Packages.
rm -rf "$out/_CPack_Packages"

echo "Packages made, in packages/:"
(cd "$out" && ls -l --time-style=+ *.deb *.tar.gz *.zip 2>/dev/null | awk '{print "  " $NF " (" $5 " bytes)"}')
