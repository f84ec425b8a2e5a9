#!/usr/bin/env bash
# The whole test suite again, built in build-asan with AddressSanitizer and
# UndefinedBehaviorSanitizer. -O1 with line tables only keeps the build and
# the run quick on two cores while reports still name file and line.
set -euo pipefail
build="$TOP/build-asan"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer"

cmake -S "$TOP" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
