#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build directory and runs each for the given
# number of seconds (default 60), seeded with fuzz/corpus/<target> and the answers of the
# shipped scenarios. Prints the executions of each target; fails when one of them crashes,
# leaks or trips a sanitizer, leaving the input under <build>/fuzz-artifacts/<target>/.
#
#   scripts/fuzz.sh [seconds]
#   FUZZ_BUILD_DIR=... FUZZ_TARGETS="fuzz_answerjson fuzz_dialogue" scripts/fuzz.sh 600
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build_dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build_dir" -G Ninja \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAVRIN_BUILD_FUZZERS=ON -DTAVRIN_BUILD_TESTS=OFF \
        -DTAVRIN_BUILD_SIMULATORS=OFF -DTAVRIN_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build_dir" -j "${FUZZ_JOBS:-2}"

targets="${FUZZ_TARGETS:-$(cd "$build_dir/bin" && ls fuzz_* 2>/dev/null | sort)}"
if [ -z "$targets" ]; then
    echo "no fuzz targets in $build_dir/bin" >&2
    exit 1
fi

work="$build_dir/fuzz-corpus"
python3 "$root/scripts/fuzzseeds.py" --out "$work" >/dev/null

export QT_QPA_PLATFORM=offscreen
# The sanitizers' options of a fuzzing run, as ctest's corpus replays have them: the lines of
# tests/sanitizers/options.env for every run and those for "fuzz:", joined by name.
declare -A sanitizer_options=()
while IFS= read -r line; do
    if [[ "$line" =~ ^(fuzz:\ *)?([A-Z]+_OPTIONS)=(.+)$ ]]; then
        name="${BASH_REMATCH[2]}"
        value=":${BASH_REMATCH[3]}"
        value="${value//:suppressions=/:suppressions=$root/}"
        value="${value#:}"
        sanitizer_options[$name]="${sanitizer_options[$name]:+${sanitizer_options[$name]}:}$value"
    fi
done <"$root/tests/sanitizers/options.env"
for name in "${!sanitizer_options[@]}"; do
    export "$name=${sanitizer_options[$name]}"
done

status=0
for target in $targets; do
    short="${target#fuzz_}"
    corpus="$work/$short"
    artifacts="$build_dir/fuzz-artifacts/$short"
    mkdir -p "$corpus" "$artifacts"
    if [ -d "$root/fuzz/corpus/$short" ]; then
        cp -n "$root/fuzz/corpus/$short"/* "$corpus"/ 2>/dev/null || true
    fi
    # Above half the RSS limit libFuzzer purges ASan's allocator every second, and a run slows
    # to a crawl: the targets settle near 1 GB, so the limit is raised to keep that for growth
    # that is real.
    options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/"
             -rss_limit_mb="${FUZZ_RSS_LIMIT_MB:-4096}")
    if [ -f "$root/fuzz/$short.dict" ]; then
        options+=(-dict="$root/fuzz/$short.dict")
    elif [[ "$short" == answer* ]]; then
        options+=(-dict="$root/fuzz/answer.dict")
    fi
    log="$build_dir/fuzz-$short.log"
    set +e
    "$build_dir/bin/$target" "${options[@]}" "$corpus" >"$log" 2>&1
    code=$?
    set -e
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    rss="$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)"
    if [ "$code" -eq 0 ]; then
        printf '%-22s %12s executions in %s s, peak RSS %s MB\n' "$target" "${runs:-?}" "$seconds" "${rss:-?}"
    else
        printf '%-22s FAILED (exit %d) after %s executions; see %s\n' "$target" "$code" "${runs:-?}" "$log"
        # The report itself, so that a failure in CI says where without the log at hand.
        grep -E 'dialogue rig|answer walker|fatal|Test unit written' "$log" | head -n 4 || true
        sed -n '/^==[0-9]*==ERROR/,/^SUMMARY/p' "$log" | grep -vE '^ *$' | head -n 60 || true
        status=1
    fi
done
exit "$status"
