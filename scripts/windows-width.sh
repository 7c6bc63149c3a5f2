# Sourced by the scripts that build or run the Windows programs: the one
# table of Windows widths and their tools, which width this host can run,
# and a Wine to run it with. It sets no trap: a script that calls
# start_wine calls stop_wine from its own EXIT trap.
#
# windows_tools BITS sets $triplet (the cross compiler), $compiler_package
# (what to install for it), $toolchain (its CMake file), $loader (the Wine
# loader of that width) and $wine_package (what to install for it).
#
# Sourcing it sets $width (32 or 64, the width this host runs), $reason
# (why), the tools of that width, and $server (the Wine server).
# TELEGRAM_WINDOWS_WIDTH=32 or 64 chooses the width by hand.
#
# cross_compiler_missing BITS and wine_missing say what of a width's tools
# is not installed, and nothing if all is. windows_configure configures a
# Windows build; start_wine makes a throw-away prefix and keeps one server
# running until stop_wine; if it fails, $wine_failure says why.

windows_tools() {
  case $1 in
    32) triplet=i686-w64-mingw32 compiler_package=g++-mingw-w64-i686 loader=/usr/lib/wine/wine \
          wine_package=wine32:i386 ;;
    64) triplet=x86_64-w64-mingw32 compiler_package=g++-mingw-w64-x86-64 loader=/usr/lib/wine/wine64 \
          wine_package=wine64 ;;
    *) echo "error: a Windows width is 32 or 64, not '$1'" >&2; exit 2 ;;
  esac
  toolchain=cmake/toolchain-$triplet.cmake
}

# Whether this host runs 32-bit x86 code, found by running some; $why_not
# says what happened when it does not.
why_not=
host_runs_32_bit_code() {
  local probe
  for probe in /lib/ld-linux.so.2 /usr/lib/wine/wine; do
    if [ -e "$probe" ]; then
      if why_not=$("$probe" --version 2>&1 >/dev/null); then
        return 0
      fi
      why_not="$probe --version: ${why_not:-exit status $?}"
      return 1
    fi
  done
  why_not="there is no 32-bit program here to try (libc6:i386 and wine32 are not installed)"
  return 1
}

width=${TELEGRAM_WINDOWS_WIDTH:-}
if [ -z "$width" ]; then
  if host_runs_32_bit_code; then
    width=32
    reason="this host runs 32-bit code"
  else
    width=64
    reason="this host runs no 32-bit code ($why_not)"
  fi
else
  reason="TELEGRAM_WINDOWS_WIDTH=$width"
fi
windows_tools "$width"
# A prefix made by either loader is a 64-bit one where wine64 is installed,
# and needs the 64-bit server.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

# The cross compiler of width BITS.
cross_compiler_missing() {
  (
    windows_tools "$1"
    command -v "$triplet-g++-posix" >/dev/null ||
      echo "the $1-bit cross compiler is not installed ($triplet-g++-posix, from $compiler_package)"
  )
}

# The Wine of the width this host runs.
wine_missing() {
  [ -x "$loader" ] && [ -x "$server" ] || echo "$loader or $server is missing (install $wine_package)"
}

# windows_configure DIR BITS BUILD_TYPE [CMAKE ARGS...]: a Windows build of
# that width, its tests run under the Wine loader of that width.
windows_configure() {
  local dir=$1 bits=$2 type=$3
  shift 3
  (
    windows_tools "$bits"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE="$type" -DTELEGRAM_WINE="$loader" \
      --no-warn-unused-cli "$@" >/dev/null
  )
}

wine_prefix=
start_wine() {
  # Created once up front (the first start in a new prefix takes several
  # seconds), with one server kept running so that each start of an .exe is
  # quick. Their output goes to a file: Wine's daemons keep a pipe open for
  # ever.
  wine_failure=$(wine_missing)
  [ -z "$wine_failure" ] || return 1
  wine_prefix=$(mktemp -d /tmp/telegram-wine.XXXXXX)
  export WINEPREFIX=$wine_prefix WINEDEBUG=-all WINELOADER=$loader WINESERVER=$server
  wine_log=$wine_prefix.log
  if ! { "$WINESERVER" -p && "$loader" wineboot -i; } >"$wine_log" 2>&1; then
    wine_failure="Wine does not start ($WINESERVER -p, then $loader wineboot -i): $(tail -n 5 "$wine_log")"
    return 1
  fi
}

# Ends the server that start_wine kept running and removes its prefix.
stop_wine() {
  [ -n "$wine_prefix" ] || return 0
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$wine_prefix" "$wine_prefix.log"
  wine_prefix=
}
