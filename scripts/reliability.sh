#!/usr/bin/env bash
# The reliability stages that CI runs after the ordinary tests:
#   scripts/reliability.sh asan   every test under AddressSanitizer + UBSan
#   scripts/reliability.sh tsan   the concurrency tests under ThreadSanitizer
#   scripts/reliability.sh fuzz   every libFuzzer target for a bounded time
#   scripts/reliability.sh all    the three in turn
# Environment: KORVEX_FUZZ_SECONDS (per target, default 60),
# KORVEX_SANITIZER_SOAK_ROWS (rows of the soak under a sanitizer, default 1000000).
# Any sanitizer report fails the stage: the runtimes abort on the first one.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
jobs=$(nproc)
soak_rows=${KORVEX_SANITIZER_SOAK_ROWS:-1000000}

bash scripts/setup.sh deps

configure_and_build() { # build-dir cmake-args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORVEX_BUILD_BENCHMARKS=OFF "$@"
    cmake --build "$dir" -j "$jobs"
}

run_ctest() { # build-dir ctest-args...
    local dir=$1
    shift
    (cd "$dir" && QT_QPA_PLATFORM=offscreen KORVEX_SOAK_ROWS=$soak_rows \
        ctest --output-on-failure -j "$jobs" "$@")
}

asan() {
    configure_and_build build-asan -DKORVEX_SANITIZE=address
    # Full stacks on every allocation so that suppressions match frames deep in
    # Qt and libsigrok, which are built without frame pointers.
    ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1 \
        LSAN_OPTIONS=suppressions=$top/scripts/sanitizers/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_ctest build-asan
}

tsan() {
    configure_and_build build-tsan -DKORVEX_SANITIZE=thread
    # ignore_noninstrumented_modules: see tsan.supp (Qt Test's watchdog).
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$top/scripts/sanitizers/tsan.supp \
        run_ctest build-tsan -L concurrency
}

fuzz() {
    bash fuzz/run-all.sh -t "${KORVEX_FUZZ_SECONDS:-60}" -b build-fuzz
}

case "${1:-all}" in
asan) asan ;;
tsan) tsan ;;
fuzz) fuzz ;;
all)
    asan
    tsan
    fuzz
    ;;
*)
    echo "usage: $0 asan|tsan|fuzz|all" >&2
    exit 2
    ;;
esac
