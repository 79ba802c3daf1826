#!/usr/bin/env bash
# Soak test: replays a generated capture in a loop with periodic saves and fails when resident
# memory grows once every host has been seen. By hand: OMBRIX_SOAK_SECONDS=1800 scripts/soak.sh
# Usage: scripts/soak.sh [BUILD_DIR] [extra ombrix-bench soak options...]
# OMBRIX_SOAK_SECONDS: run time (default 20), reports every minute and at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-soak}
shift || true
if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_BUILD_TESTS=OFF \
        >/dev/null
fi
cmake --build "$dir" --target ombrix-bench --parallel "$(nproc)"
exec "$dir/ombrix-bench" soak --seconds "${OMBRIX_SOAK_SECONDS:-20}" "$@"
