#!/usr/bin/env bash
# A short fuzz run of the engine (about 60 s) with clang's libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer, in build-fuzz. The
# committed seed corpus is copied so the run never changes it; any crash,
# leak or broken invariant fails the stage and leaves the input under
# build-fuzz/artifacts/. FUZZ_SECONDS sets another length (see README).
set -euo pipefail
build="$TOP/build-fuzz"
seconds=${FUZZ_SECONDS:-60}

cmake -S "$TOP" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_BUILD_UI=OFF -DOSTREL_BUILD_FUZZER=ON >/dev/null
cmake --build "$build" --target engine_fuzzer -j"$(nproc)"

corpus="$build/corpus"
mkdir -p "$corpus" "$build/artifacts"
cp "$TOP/tests/fuzz/corpus/"* "$corpus/"
log="$build/fuzz.log"
if "$build/engine_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -dict="$TOP/tests/fuzz/tftp.dict" -artifact_prefix="$build/artifacts/" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
else
  status=$?
  tail -n 80 "$log"
  echo "fuzzing failed (status $status); the input is in $build/artifacts/" >&2
  exit "$status"
fi
