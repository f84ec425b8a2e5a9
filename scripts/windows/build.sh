#!/usr/bin/env bash
# Cross-builds the engine and its tests for 64-bit Windows with MinGW-w64
# and, with "test", runs the tests under Wine through CTest.
#   scripts/windows/build.sh [build|test] [BUILD_DIR]     (default: build, build-win)
# Needs the Debian packages g++-mingw-w64-x86-64-posix, wine64, wine and
# googletest (listed in scripts/packages.d/test-windows.txt). GoogleTest is
# built from Debian's source package (/usr/src/googletest) for the MinGW
# target first, into BUILD_DIR/googletest. The Qt program is not built.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
mode=${1:-build}
build=${2:-$top/build-win}
toolchain=$top/cmake/toolchain-mingw-w64-x86_64.cmake
jobs=${JOBS:-$(nproc)}
gtest_src=${GTEST_SOURCE:-/usr/src/googletest}
gtest_prefix=$build/googletest

case "$mode" in build|test) ;; *) echo "usage: $0 [build|test] [BUILD_DIR]" >&2; exit 2 ;; esac

# GoogleTest for the MinGW target, once per build folder.
if [ ! -f "$gtest_prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S "$gtest_src" -B "$build/googletest-build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest_prefix" -Dgtest_disable_pthreads=ON
  cmake --build "$build/googletest-build" -j"$jobs"
  cmake --install "$build/googletest-build"
fi

cmake -S "$top" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_BUILD_UI=OFF -DGTest_DIR="$gtest_prefix/lib/cmake/GTest"
cmake --build "$build" -j"$jobs"

if [ "$mode" = test ]; then
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300
fi
