#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite after the house-rules check:
#   1. a debug build: every test, then a short soak of the replay with periodic saves;
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the threaded layers under ThreadSanitizer;
#   4. every fuzz target for a bounded time (OMBRIX_FUZZ_SECONDS, default 20).
# OMBRIX_TEST_QUICK=1 runs step 1 only.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
started=$SECONDS

echo "== house rules =="
"$top/scripts/check-layers.sh"

run_ctest() {
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@")
}

echo "== tests =="
"$top/scripts/build.sh" "$top/build-test" -DCMAKE_BUILD_TYPE=Debug
run_ctest "$top/build-test"
echo "== soak =="
"$top/scripts/soak.sh" "$top/build-test"

if [ "${OMBRIX_TEST_QUICK:-0}" != 1 ]; then
    echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
    "$top/scripts/build.sh" "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_BUILD_BENCH=OFF \
        -DOMBRIX_SANITIZE=address,undefined
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$top/tests/lsan.supp" \
        UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$top/build-asan"

    echo "== threaded tests under ThreadSanitizer =="
    threaded="core capture filters db lookup"
    OMBRIX_TARGETS="$(for layer in $threaded; do printf 'test_%s ' "$layer"; done) test_capture_live" \
        "$top/scripts/build.sh" "$top/build-tsan" -DCMAKE_BUILD_TYPE=Debug \
        -DOMBRIX_BUILD_BENCH=OFF -DOMBRIX_SANITIZE=thread
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        run_ctest "$top/build-tsan" -R "^($(echo $threaded | tr ' ' '|'))\\."

    echo "== fuzzing =="
    "$top/scripts/fuzz.sh"
fi
echo "== all tests passed in $((SECONDS - started)) s =="
