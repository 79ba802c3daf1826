#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a normal build, then the suite again under
# AddressSanitizer + UndefinedBehaviorSanitizer and the threaded tests under ThreadSanitizer.
# OMBRIX_TEST_QUICK=1 runs the normal build only.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

run_suite() {
    local dir=$1
    shift
    "$top/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DOMBRIX_BUILD_BENCH=OFF "$@"
    (cd "$dir" && ctest --output-on-failure --timeout 300 -j "$(nproc)" ${CTEST_ARGS:-})
}

echo "== tests =="
"$top/scripts/build.sh" "$top/build-test" -DCMAKE_BUILD_TYPE=Debug
(cd "$top/build-test" && ctest --output-on-failure --timeout 300 -j "$(nproc)")

if [ "${OMBRIX_TEST_QUICK:-0}" != 1 ]; then
    echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_suite "$top/build-asan" -DOMBRIX_SANITIZE=address,undefined
    echo "== threaded tests under ThreadSanitizer =="
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" CTEST_ARGS="-R ^(core|capture|filters|db|lookup)\\." \
        run_suite "$top/build-tsan" -DOMBRIX_SANITIZE=thread
fi
