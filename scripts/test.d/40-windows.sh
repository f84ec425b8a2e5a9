#!/usr/bin/env bash
# The engine and its tests cross-built for 64-bit Windows with MinGW-w64 and
# run under Wine, in a throw-away Wine prefix inside build-win/.
set -euo pipefail
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
   ! { command -v wine || command -v wine64; } >/dev/null; then
  echo "MinGW-w64 or Wine is not installed: the Windows build is skipped"
  exit 0
fi
build=$TOP/build-win
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# The tests keep one Wine server alive between them; stop it when done.
trap 'WINEPREFIX="$build/wineprefix" "$wineserver" -k 2>/dev/null || true' EXIT
"$TOP/scripts/windows/build.sh" test "$build"
