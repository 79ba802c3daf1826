#!/usr/bin/env bash
# Configures and builds Ombrix into a build folder.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
# OMBRIX_TARGETS="a b" builds only those targets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build}
shift || true
cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
targets=()
for target in ${OMBRIX_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
