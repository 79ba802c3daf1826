#!/usr/bin/env bash
# Sets up, builds and runs Ombrix. Arguments are passed on to the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$top/build/ombrix" "$@"
