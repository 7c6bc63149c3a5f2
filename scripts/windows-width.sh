# Sourced by the scripts that run the Windows programs under Wine: which
# width this host can run, and a Wine to run it with.
#
# Sets $width (32 or 64), $reason (why), $triplet (the cross compiler),
# $loader and $server (the Wine loader and server of that width) and
# $wine_package (what to install for them). TELEGRAM_WINDOWS_WIDTH=32 or 64
# chooses the width by hand. windows_configure configures a Windows build;
# start_wine makes a throw-away prefix and keeps
# one server running until the script ends; if it fails, $wine_failure says
# why.

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
case $width in
  32) triplet=i686-w64-mingw32 loader=/usr/lib/wine/wine wine_package=wine32:i386 ;;
  64) triplet=x86_64-w64-mingw32 loader=/usr/lib/wine/wine64 wine_package=wine64 ;;
  *) echo "error: TELEGRAM_WINDOWS_WIDTH must be 32 or 64" >&2; exit 2 ;;
esac
# A prefix made by either loader is a 64-bit one where wine64 is installed,
# and needs the 64-bit server.
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

# windows_configure DIR WIDTH BUILD_TYPE [CMAKE ARGS...]: a Windows build.
windows_configure() {
  local dir=$1 bits=$2 type=$3
  shift 3
  local toolchain=cmake/toolchain-i686-w64-mingw32.cmake
  [ "$bits" = 64 ] && toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE="$type" -DTELEGRAM_WINE=$loader \
    --no-warn-unused-cli "$@" >/dev/null
}

start_wine() {
  # Created once up front (the first start in a new prefix takes several
  # seconds), with one server kept running so that each start of an .exe is
  # quick. Their output goes to a file: Wine's daemons keep a pipe open for
  # ever.
  WINEPREFIX=$(mktemp -d /tmp/telegram-wine.XXXXXX)
  export WINEPREFIX WINEDEBUG=-all WINELOADER=$loader WINESERVER=$server
  wine_log=$WINEPREFIX.log
  trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$wine_log"' EXIT
  if [ ! -x "$loader" ] || [ ! -x "$server" ]; then
    wine_failure="$loader or $server is missing (install $wine_package)"
    return 1
  fi
  if ! { "$WINESERVER" -p && "$loader" wineboot -i; } >"$wine_log" 2>&1; then
    wine_failure="Wine does not start ($WINESERVER -p, then $loader wineboot -i): $(tail -n 5 "$wine_log")"
    return 1
  fi
}
