#!/usr/bin/env bash
# Kills the program's start-up at random moments of its backup, many times over (1000 unless
# told): after each kill the memo book and the last backup must be good, and the next start
# must work. It is the test tst_startup_kills with more kills than CI runs; a failure names
# the seed that repeats it (ORV_STARTUP_KILL_SEED=<n>).
#   bash bench/kill_startup.sh [kills] [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-1000}
build=${2:-build}
cmake --build "$build" --target tst_startup_kills orv_start_driver
ORV_STARTUP_KILLS=$kills QTEST_FUNCTION_TIMEOUT=7200000 QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
    "$build/tests/tst_startup_kills"
