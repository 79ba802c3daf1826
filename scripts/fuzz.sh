#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a bounded time from its seed corpus in fuzz/corpus/<target>/.
# Usage: scripts/fuzz.sh [target...]   (default: every target)
# OMBRIX_FUZZ_SECONDS: seconds per target (default 20). OMBRIX_FUZZ_BUILD: build folder.
# OMBRIX_FUZZ_JOBS: targets run at a time (default: the number of cores).
# A crash leaves its input in <build>/artifacts/ and makes the script fail; reproduce it with
# <build>/fuzz/<target> <input>. Line tables only (-g1): enough for the reports' stack traces.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${OMBRIX_FUZZ_BUILD:-$top/build-fuzz}
seconds=${OMBRIX_FUZZ_SECONDS:-20}

CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOMBRIX_FUZZ=ON -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_BUILD_BENCH=OFF \
    -DOMBRIX_SANITIZE=address,undefined \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link \
    "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -D_GLIBCXX_ASSERTIONS" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$dir" --target ombrix_fuzz --parallel "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for seeds in "$top"/fuzz/corpus/*/; do
        targets+=("$(basename "$seeds")")
    done
fi

mkdir -p "$dir/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# One target's run; its log in the build folder, its result in a file beside it.
fuzz_one() {
    local target=$1
    # New inputs go to a working corpus in the build folder; the seeds in the tree stay as they are.
    local work="$dir/corpus/$target"
    mkdir -p "$work"
    rm -f "$dir/$target.failed"
    if ! "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
        "$work" "$top/fuzz/corpus/$target" >"$dir/$target.log" 2>&1; then
        touch "$dir/$target.failed"
    fi
}

# A fuzzer runs on one core: as many targets at a time as there are cores, each with a core to
# itself for its whole time (OMBRIX_FUZZ_JOBS).
jobs=${OMBRIX_FUZZ_JOBS:-$(nproc)}
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    echo "== fuzz $target for ${seconds}s =="
    fuzz_one "$target" &
    running=$((running + 1))
done
wait

failed=()
for target in "${targets[@]}"; do
    if [ -e "$dir/$target.failed" ]; then
        echo "== fuzz $target failed =="
        tail -n 60 "$dir/$target.log"
        failed+=("$target")
    else
        printf '%s: ' "$target"
        grep -E "^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ +DONE" "$dir/$target.log" |
            tr '\n' ' '
        echo
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found failures in: ${failed[*]} (inputs in $dir/artifacts/)"
    exit 1
fi
echo "fuzzing: ${#targets[@]} targets, ${seconds}s each, ${jobs} at a time, no failure"
