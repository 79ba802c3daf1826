#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite after the house-rules check:
#   1. one debug build under AddressSanitizer + UndefinedBehaviorSanitizer of every target (the
#      program, the tests, the benchmarks): every test, then a short soak of the replay with
#      periodic saves;
#   2. the threaded layers under ThreadSanitizer;
#   3. every fuzz target for a bounded time (OMBRIX_FUZZ_SECONDS, default 20).
# OMBRIX_TEST_QUICK=1 runs step 1 only, without sanitizers (a faster build for a quick check).
# Each step prints the time it starts at and the seconds since the start.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
started=$SECONDS

step() {
    echo "== $(date -u +%H:%M:%S) +$((SECONDS - started))s $* =="
}

run_ctest() {
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@")
}

# Line tables are enough for the sanitizers' reports and a debugger's backtrace; full debug
# information makes every object and link several times larger.
debug_flags=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1)

step "house rules"
"$top/scripts/check-layers.sh"

if [ "${OMBRIX_TEST_QUICK:-0}" = 1 ]; then
    step "build"
    "$top/scripts/build.sh" "$top/build-test" "${debug_flags[@]}"
    step "tests"
    run_ctest "$top/build-test"
    step "soak"
    "$top/scripts/soak.sh" "$top/build-test"
    step "all tests passed"
    exit 0
fi

# Leak checks in every test; the soak's memory figure must not include the freed blocks that
# AddressSanitizer holds back to catch a use after free, so it runs without that quarantine.
asan="$top/build-asan"
step "build under AddressSanitizer + UndefinedBehaviorSanitizer"
"$top/scripts/build.sh" "$asan" "${debug_flags[@]}" -DOMBRIX_SANITIZE=address,undefined
(
    export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1
    step "tests under AddressSanitizer + UndefinedBehaviorSanitizer"
    ASAN_OPTIONS=detect_leaks=1 run_ctest "$asan"
    step "soak under AddressSanitizer + UndefinedBehaviorSanitizer"
    ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=0 "$top/scripts/soak.sh" "$asan"
)

# Only the threaded layers' tests are built. The program that the privilege test copies and
# runs as another user is the one built above: its own threads are not under watch here, the
# test's are.
step "build the threaded layers' tests under ThreadSanitizer"
threaded="core capture filters db lookup"
OMBRIX_TARGETS="$(for layer in $threaded; do printf 'test_%s ' "$layer"; done) test_capture_live" \
    "$top/scripts/build.sh" "$top/build-tsan" "${debug_flags[@]}" -DOMBRIX_BUILD_BENCH=OFF \
    -DOMBRIX_SANITIZE=thread "-DOMBRIX_TEST_PROGRAM=$asan/ombrix"
step "threaded tests under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    run_ctest "$top/build-tsan" -R "^($(echo $threaded | tr ' ' '|'))\\."

step "fuzzing"
"$top/scripts/fuzz.sh"
step "all tests passed"
