#!/usr/bin/env bash
# House rules a compiler does not check: the engine includes no Qt header, only the window
# includes Qt Widgets, and every C++ file is formatted with the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
engine="src/core src/capture src/filters src/db src/lookup src/report src/update"
if hits=$(grep -rnE '#include\s*[<"]Q' $engine); then
    printf 'Qt headers in the engine:\n%s\n' "$hits"
    status=1
fi
if hits=$(grep -rnE '#include\s*[<"](QtWidgets|QtGui)/|#include\s*<Q(Widget|Dialog|MainWindow|Application|MessageBox|Menu|Action|Painter)\b' src/platform src/app); then
    printf 'Qt Widgets headers outside src/ui:\n%s\n' "$hits"
    status=1
fi
if command -v clang-format >/dev/null; then
    if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>/dev/null; then
        echo "Files not formatted with .clang-format (run clang-format -i on them):"
        git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep warning | cut -d: -f1 | sort -u
        status=1
    fi
fi
exit $status
