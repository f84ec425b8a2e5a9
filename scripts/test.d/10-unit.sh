#!/usr/bin/env bash
# The engine, integration and widget tests of the main build.
set -euo pipefail
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$TOP/build" --output-on-failure -j2 --timeout 300
