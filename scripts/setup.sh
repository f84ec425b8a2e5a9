#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (run as root or via sudo):
#   scripts/setup.sh run   installs what is missing, builds, starts the program
#   scripts/setup.sh test  installs what is missing, builds, runs every test
# Packages are listed in scripts/packages.d/*.txt (one per line, '#' comments);
# test stages are scripts/test.d/*.sh, run in name order, each failing the run.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
mode=${1:-test}

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_packages() {
  local wanted=() missing=() p
  local lists=("$here/packages.d/"*.txt)
  for f in "${lists[@]}"; do
    case "$mode" in
      run) case "$(basename "$f")" in *-test-*|test-*) continue ;; esac ;;
    esac
    while read -r p _; do
      [ -n "$p" ] && [ "${p#\#}" = "$p" ] && wanted+=("$p")
    done < "$f"
  done
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build() {
  cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$top/build" -j"$(nproc)"
}

case "$mode" in
  run)
    install_packages
    build
    exec "$top/build/ostrel-tftp" "${@:2}"
    ;;
  test)
    install_packages
    build
    export TOP="$top"
    for stage in "$here/test.d/"*.sh; do
      echo "=== $(basename "$stage")"
      bash "$stage"
    done
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
