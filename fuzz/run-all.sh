#!/usr/bin/env bash
# Builds every libFuzzer target (clang, ASan + UBSan) and runs each for a
# bounded time on a copy of its committed seed corpus.
#   fuzz/run-all.sh [-t seconds-per-target] [-b build-dir] [target ...]
# Prints one line per target (executions, rate, result) and exits non-zero
# when any target found a crash, a leak, a timeout or ran out of memory.
# Crash inputs are kept under <build-dir>/fuzz-artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
seconds=60
build=build-fuzz
while getopts "t:b:" opt; do
    case $opt in
    t) seconds=$OPTARG ;;
    b) build=$OPTARG ;;
    *)
        echo "usage: $0 [-t seconds] [-b build-dir] [target ...]" >&2
        exit 2
        ;;
    esac
done
shift $((OPTIND - 1))
case $build in /*) ;; *) build=$top/$build ;; esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORVEX_BUILD_FUZZERS=ON -DKORVEX_SANITIZE=address \
        -DKORVEX_BUILD_TESTS=OFF -DKORVEX_BUILD_BENCHMARKS=OFF
fi
cmake --build "$build" -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$build"/fuzz/fuzz_*; do targets+=("$(basename "$exe")"); done
fi

export KORVEX_LOG=quiet
export ASAN_OPTIONS=${ASAN_OPTIONS:-fast_unwind_on_malloc=0:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/scripts/sanitizers/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
summary=()
for t in "${targets[@]}"; do
    corpus=$(find fuzz -type d -path "*/corpus/$t" | head -n 1)
    [ -n "$corpus" ] || { echo "no seed corpus for $t" >&2; exit 2; }
    work=$build/fuzz-run/$t
    artifacts=$build/fuzz-artifacts/$t
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    cp -r "$corpus"/. "$work"/
    log=$build/fuzz-run/$t.log
    echo "== $t: ${seconds}s on $(find "$corpus" -type f | wc -l) seeds"
    # The XML readers' seeds nest 10,000 deep (70 KB) and saved captures may
    # hold lines longer than any seed; the default -max_len would cut inputs
    # to the corpus's median size.
    lenopt=()
    case $t in
    fuzz_symbol_file | fuzz_start_settings | fuzz_profile_file) lenopt=(-max_len=81920) ;;
    fuzz_saved_capture) lenopt=(-max_len=16384) ;;
    esac
    status=0
    "$build/fuzz/$t" "$work" "${lenopt[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    result=ok
    if [ $status -ne 0 ]; then
        result="FAILED (exit $status; $(ls "$artifacts" | head -n 1); see $log)"
        grep -E 'ERROR|SUMMARY|^[^ ].*:[0-9]+: ' "$log" | head -n 5 || true
        failed=1
    fi
    summary+=("$(printf '%-22s %12s runs %8s/s  %s' "$t" "${runs:-?}" "${rate:-?}" "$result")")
done

echo
echo "fuzz summary (${seconds}s per target):"
printf '  %s\n' "${summary[@]}"
exit $failed
