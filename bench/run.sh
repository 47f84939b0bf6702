#!/usr/bin/env bash
# Builds the benchmarks in a Release tree of their own, runs them, prints the table and writes
# BENCHMARKS.md at the root of the repository.
#
#   bench/run.sh
#
# Environment: BUILD_DIR (default build-bench), REPETITIONS of each timing (10),
# CALLGRIND_DIALOGUES counted under callgrind (20), HEAP_DIALOGUES counted for the heap (200),
# SOAK_DIALOGUES for the resident memory (2000). Takes a few minutes on two cores.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build-bench}"
repetitions="${REPETITIONS:-10}"
callgrind_dialogues="${CALLGRIND_DIALOGUES:-20}"
heap_dialogues="${HEAP_DIALOGUES:-200}"
soak_dialogues="${SOAK_DIALOGUES:-2000}"

echo "== building into $build_dir"
BUILD_DIR="$build_dir" "$root/scripts/bootstrap.sh" \
    -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_BENCHMARKS=ON \
    -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_SIMULATORS=OFF

bin="$build_dir/bin"
results="$build_dir/bench-results"
rm -rf "$results"
mkdir -p "$results"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$results/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"

# Runs a step with its error output in a log of its own, shown if the step fails.
logged() {
    local log="$results/$1.log"
    shift
    if ! "$@" 2>"$log"; then
        cat "$log" >&2
        echo "failed: $*" >&2
        exit 1
    fi
}

echo "== timings: $repetitions repetitions, interleaved"
logged timings "$bin/tavrin_bench" \
    --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/timings.json" \
    --benchmark_out_format=json

# Instructions of N dialogues less those of none; the N run twice, to show that it repeats.
echo "== callgrind: 0 and $callgrind_dialogues dialogues"
for run in base first second; do
    dialogues="$callgrind_dialogues"
    [ "$run" = base ] && dialogues=0
    # A fixed hash seed keeps Qt's hash tables, and so the count, the same from run to run.
    logged "callgrind.$run" env QT_HASH_SEED=0 valgrind --tool=callgrind \
        --callgrind-out-file="$results/callgrind.$run.out" \
        "$bin/tavrin_dialogues" --dialogues "$dialogues" >/dev/null
done

echo "== heap: $heap_dialogues dialogues"
logged heap "$bin/tavrin_dialogues_heap" --dialogues "$heap_dialogues" >"$results/heap.txt"
echo "== soak: $soak_dialogues dialogues"
logged soak "$bin/tavrin_dialogues" --dialogues "$soak_dialogues" >"$results/soak.txt"

python3 "$root/bench/report.py" \
    --results "$results" \
    --output "$root/BENCHMARKS.md" \
    --repetitions "$repetitions" \
    --callgrind-dialogues "$callgrind_dialogues"
