#!/usr/bin/env bash
# Builds every package this host's tools allow, into packages/, and lists
# them: on Linux a .deb (build-package) and a statically linked .tar.gz for
# any x86-64 Linux (build-package-portable); with the MinGW-w64 cross
# compilers a .zip for 32-bit and for 64-bit Windows
# (build-package-win32, -win64); and the Python package's wheel. Each build folder's build-facts.sh names
# what it made, for scripts/check-packages.sh. SHA256SUMS beside them holds
# their checksums.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-width.sh
out=$PWD/packages
mkdir -p "$out"

package() {  # what, build directory, cmake arguments...
  local what=$1 dir=$2 log
  shift 2
  echo "Making the $what in $dir ..."
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTELEGRAM_BUILD_TESTS=OFF --no-warn-unused-cli "$@" >/dev/null
  # The build's and CPack's progress are shown only if they fail.
  if ! log=$(cmake --build "$dir" --parallel 2>&1) || ! log=$(cd "$dir" && cpack -B "$out" 2>&1); then
    echo "$log" >&2
    return 1
  fi
  echo "  made packages/$(source "$dir/build-facts.sh" && echo "$package_file")"
}

package .deb build-package
package "static .tar.gz" build-package-portable -DTELEGRAM_PORTABLE=ON
for bits in 32 64; do
  missing=$(cross_compiler_missing $bits)
  if [ -z "$missing" ]; then
    windows_tools $bits
    package "$bits-bit Windows .zip" build-package-win$bits -DCMAKE_TOOLCHAIN_FILE=$toolchain
  else
    echo "No $bits-bit Windows package: $missing."
  fi
done
# The Python package's wheel, built offline with Debian's tools.
python=${TELEGRAM_PYTHON:-/usr/bin/python3}
echo "Making the Python wheel ..."
rm -f "$out"/tgr-*.whl
if ! log=$("$python" -m build --wheel --no-isolation --outdir "$out" python 2>&1); then
  echo "$log" >&2
  exit 1
fi
echo "  made packages/$(cd "$out" && ls tgr-*.whl)"
# CPack's own working files stay in packages/_CPack_Packages.
rm -rf "$out/_CPack_Packages"

# The checksums of every package, as sha256sum -c checks them.
(cd "$out" && sha256sum -- *.deb *.tar.gz *.zip *.whl 2>/dev/null >SHA256SUMS)
echo "Packages made, in packages/, with their checksums in SHA256SUMS:"
(cd "$out" && ls -l --time-style=+ *.deb *.tar.gz *.zip *.whl 2>/dev/null | awk '{print "  " $NF " (" $5 " bytes)"}')
