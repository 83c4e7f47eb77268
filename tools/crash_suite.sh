#!/usr/bin/env bash
# The crash suite at length: kills the writing driver 1,000 times (or as many as given) at random
# moments, checking the memo book after every kill and backing it up at the end, then lets two
# copies save at once, 1,000 saves each (COPIES_SAVES). Run from the repository after a build (scripts/test.sh
# or cmake --build build); BUILD names another build folder. ORV_CRASH_SEED repeats a run.
#   bash tools/crash_suite.sh [kills]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
test -x "$build/tests/tst_crash" || { echo "no $build/tests/tst_crash: build first" >&2; exit 1; }
ORV_CRASH_KILLS=${1:-1000} ORV_COPIES_SAVES=${COPIES_SAVES:-1000} QT_QPA_PLATFORM=offscreen \
    QTEST_FUNCTION_TIMEOUT=7200000 "$build/tests/tst_crash"
