#!/usr/bin/env bash
# Sets up, builds and runs Ombrix: only the program and its country data, in a build folder of
# its own, so that the test suite and the benchmarks are not built. Arguments are passed on to
# the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir="$top/build-run"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_BUILD_TESTS=OFF -DOMBRIX_BUILD_BENCH=OFF)
"$top/scripts/setup.sh"
cmake -S "$top" -B "$dir" -G Ninja "${options[@]}" >/dev/null
targets=ombrix
# The country data has a target only where its source packages are installed.
if cmake --build "$dir" --target help | grep -q '^geodata:'; then
    targets="$targets geodata"
fi
OMBRIX_TARGETS="$targets" "$top/scripts/build.sh" "$dir" "${options[@]}"
exec "$dir/ombrix" "$@"
