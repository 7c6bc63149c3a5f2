#!/usr/bin/env bash
# Builds every package this host's tools allow, into packages/, and lists
# them: on Linux a .deb and a .tar.gz; with the MinGW-w64 cross compilers a
# .zip for 32-bit and for 64-bit Windows. The version is the one set in
# CMakeLists.txt's project().
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/packages
mkdir -p "$out"

package() {  # build directory, cmake arguments...
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF --no-warn-unused-cli "$@" >/dev/null
  cmake --build "$dir" --parallel >/dev/null
  (cd "$dir" && cpack -B "$out" >/dev/null)
}

package build-package
for width in 32 64; do
  case $width in
    32) triplet=i686-w64-mingw32 toolchain=cmake/toolchain-i686-w64-mingw32.cmake ;;
    64) triplet=x86_64-w64-mingw32 toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake ;;
  esac
  if command -v $triplet-g++-posix >/dev/null; then
    package build-package-win$width -DCMAKE_TOOLCHAIN_FILE=$toolchain
  else
    echo "No $width-bit Windows package: the cross compiler $triplet-g++-posix is not installed."
  fi
done
# CPack's own working files stay in packages/_CPack_Packages.
rm -rf "$out/_CPack_Packages"

echo "Packages made, in packages/:"
(cd "$out" && ls -l --time-style=+ *.deb *.tar.gz *.zip 2>/dev/null | awk '{print "  " $NF " (" $5 " bytes)"}')
