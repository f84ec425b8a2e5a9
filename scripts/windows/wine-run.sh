#!/usr/bin/env bash
# Runs one Windows console program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...]
# Used by CTest as the cross build's emulator. PREFIX is a throw-away Wine
# prefix; the first caller initialises it (under a lock, as CTest runs tests
# side by side). Wine's own diagnostics are silenced, no display is needed,
# and the CR before each line end of the program's output is dropped.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko: the tests need neither, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -e "$prefix/.ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 </dev/null 9>&- || true
    "$wineserver" -w 2>/dev/null 9>&- || true
    touch "$prefix/.ready"
  fi
  # A server that outlives each program by half a minute saves starting
  # Wine anew for every test. When this call starts one, Wine's background
  # services are brought up here, apart from the program's output: started
  # by the program itself they would keep its output open, and CTest would
  # wait for them as long as the server lives. None of them may inherit the
  # lock.
  if "$wineserver" -p30 >/dev/null 2>&1 </dev/null 9>&-; then
    "$wine" wineboot >/dev/null 2>&1 </dev/null 9>&- || true
  fi
) 9>"$prefix.lock"

"$wine" "$@" | tr -d '\r'
