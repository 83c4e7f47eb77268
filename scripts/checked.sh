#!/usr/bin/env bash
# The checked build (CI): every unit test under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short run of each fuzz target. Built with clang at -O1, without debug information
# or benchmarks, in build-checked/. Needs what scripts/setup.sh installs.
#   bash scripts/checked.sh [seconds per fuzz target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

CC=clang CXX=clang++ cmake -S . -B build-checked -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE=-O1 -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
    -DORV_BUILD_BENCH=OFF -DORV_SANITIZE=ON -DORV_FUZZ=ON
cmake --build build-checked -j2

# An error ends the process at once. The memory limit stands in for the one that the Jet
# conversion process sets itself in a normal build.
export ASAN_OPTIONS=abort_on_error=1:hard_rss_limit_mb=1024
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
# The end-to-end suite drives the program of the normal build (scripts/test.sh runs it); here
# the unit tests run under the sanitizers.
(cd build-checked && ctest --output-on-failure -j2 --timeout 300 -LE e2e)

bash scripts/fuzz.sh "$seconds" build-checked
