#!/usr/bin/env bash
# Runs each fuzz target of a checked build for a while, two at a time, from its seed corpus
# fuzz/corpus/<name>/. What the fuzzer learns goes to <build>/fuzz-corpus/<name>/ (kept for
# the next run); an input that fails is written to <build>/fuzz-failures/ and the script
# fails. Copy an input worth keeping into fuzz/corpus/<name>/.
#   bash scripts/fuzz.sh [seconds per target, default 600] [build folder, default build-checked]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${2:-build-checked}
if [ ! -d "$build/fuzz" ]; then
    echo "no fuzz targets in $build: run scripts/checked.sh first" >&2
    exit 2
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/fuzz-failures"

run_one() {
    local name=$1 seconds=$2 build=$3
    local work="$build/fuzz-corpus/$name"
    # A whole compiled help file is larger than its directory chunks of 4 KB each.
    local max_len=4096
    if [ "$name" = chm_archive ]; then max_len=65536; fi
    mkdir -p "$work"
    if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-failures/$name-" "$work" "fuzz/corpus/$name" \
        >"$build/fuzz-failures/$name.log" 2>&1; then
        echo "fuzz_$name: $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$build/fuzz-failures/$name.log")"
    else
        echo "fuzz_$name FAILED:" >&2
        tail -40 "$build/fuzz-failures/$name.log" >&2
        return 1
    fi
}
export -f run_one
ls fuzz/corpus | xargs -P 2 -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
