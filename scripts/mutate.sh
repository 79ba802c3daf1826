#!/usr/bin/env bash
# Injects one-token faults into a copy of the tree, one at a time, rebuilds the test executable of
# the faulty file's layer, runs that layer's tests and prints whether they caught the fault.
# Not part of CI: it is how we look for places the tests do not watch.
#
# Usage: scripts/mutate.sh [-r REVISION] [-l LAYER] [-j JOBS] [LIST]
#   -r REVISION  copy that commit (git archive) instead of the working tree as it is
#   -l LAYER     only the faults in src/LAYER (may be given more than once)
#   -j JOBS      build and test jobs (default 1: the machine is shared)
#   LIST         the faults, default scripts/mutants.txt (its head says the format)
# MUTATE_DIR keeps the copy and its build there, so that a second run reuses them; otherwise a
# temporary folder is made and removed. MUTATE_TIMEOUT bounds each test in seconds (120).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
revision=""
layers=()
jobs=1
while getopts "r:l:j:" option; do
    case $option in
    r) revision=$OPTARG ;;
    l) layers+=("$OPTARG") ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
list=$(realpath "${1:-$top/scripts/mutants.txt}")
timeout=${MUTATE_TIMEOUT:-120}

work=${MUTATE_DIR:-}
if [[ -z $work ]]; then
    work=$(mktemp -d /tmp/ombrix-mutate.XXXXXX)
    trap 'rm -rf "$work"' EXIT
fi
tree=$work/tree
build=$tree/build
mkdir -p "$tree"

# The copy: a commit as committed, or the working tree's files that git tracks or would track
# (no build folders, no history). The copy's own build folder stays for the next run.
find "$tree" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
if [[ -n $revision ]]; then
    git -C "$top" archive "$revision" | tar -x -C "$tree"
else
    git -C "$top" ls-files -z -co --exclude-standard | tar -C "$top" --null -T - -c | tar -x -C "$tree"
fi

# Paths relative to the copy and no folder in the hash: the copy shares the cache with the
# developers' own builds.
export CCACHE_BASEDIR=$tree CCACHE_NOHASHDIR=true
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$work/configure.log"

trim() {
    local text=$1
    text=${text#"${text%%[![:space:]]*}"}
    echo -n "${text%"${text##*[![:space:]]}"}"
}

# Fields are separated by " | "; surrounding blanks are not part of them.
mapfile -t faults < <(grep -v -E '^\s*(#|$)' "$list")

# A copy keeps its file times, which may be older than objects an earlier run built from a
# faulty version of a file: mark every file this run or an earlier one touched as changed.
touch "$work/mutated"
for fault in "${faults[@]}"; do
    trim "${fault%% | *}" >>"$work/mutated"
    echo >>"$work/mutated"
done
sort -u -o "$work/mutated" "$work/mutated"
while read -r file; do
    if [[ -n $file && -f $tree/$file ]]; then touch "$tree/$file"; fi
done <"$work/mutated"

selected() {
    local layer=$1
    [[ ${#layers[@]} -eq 0 ]] && return 0
    local wanted
    for wanted in "${layers[@]}"; do
        [[ $wanted == "$layer" ]] && return 0
    done
    return 1
}

run_tests() {
    local layer=$1 log=$2
    (cd "$build" && timeout $((timeout * 10)) ctest -R "^${layer}\\." -LE live \
        --timeout "$timeout" -j "$jobs" --no-tests=error) >"$log" 2>&1
}

# The window, program and fault tests also run the built program itself.
build_tests() {
    local targets=(--target "test_$1")
    case $1 in ui | app | faults) targets+=(--target ombrix) ;; esac
    cmake --build "$build" "${targets[@]}" --parallel "$jobs" >"$2" 2>&1
}

# Applies one fault; prints nothing and fails when the line or the token is not there.
apply() {
    python3 - "$@" <<'EOF'
import sys
path, pattern, token, replacement = sys.argv[1:5]
with open(path, encoding="utf-8") as f:
    lines = f.read().split("\n")
for i, line in enumerate(lines):
    if pattern in line and token in line:
        lines[i] = line.replace(token, replacement, 1)
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print(i + 1)
        sys.exit(0)
sys.exit(1)
EOF
}

# The unchanged tree must pass, or every fault would count as caught.
declare -A baseline=()
for fault in "${faults[@]}"; do
    file=$(trim "${fault%% | *}")
    layer=$(cut -d/ -f2 <<<"$file")
    selected "$layer" || continue
    [[ -n ${baseline[$layer]:-} ]] && continue
    if ! build_tests "$layer" "$work/baseline-build-$layer.log" ||
        ! run_tests "$layer" "$work/baseline-$layer.log"; then
        echo "the unchanged $layer layer does not pass its tests; see $work/baseline-$layer.log" >&2
        baseline[$layer]=failed
    else
        baseline[$layer]=passed
    fi
done

killed=0
survived=0
skipped=0
for fault in "${faults[@]}"; do
    rest=$fault
    fields=()
    for _ in 1 2 3; do
        fields+=("$(trim "${rest%% | *}")")
        rest=${rest#* | }
    done
    file=${fields[0]} pattern=${fields[1]} token=${fields[2]} replacement=$(trim "$rest")
    layer=$(cut -d/ -f2 <<<"$file")
    selected "$layer" || continue
    label="$file '$token' -> '$replacement'"
    if [[ ${baseline[$layer]} != passed ]]; then
        printf '%-9s %s\n' SKIPPED "$label (layer fails unchanged)"
        skipped=$((skipped + 1))
        continue
    fi
    cp -p "$tree/$file" "$work/original"
    if ! line=$(apply "$tree/$file" "$pattern" "$token" "$replacement"); then
        printf '%-9s %s\n' NOTFOUND "$label"
        skipped=$((skipped + 1))
        continue
    fi
    label="$file:$line '$token' -> '$replacement'"
    log=$work/fault.log
    if ! build_tests "$layer" "$log"; then
        verdict=NOBUILD
        skipped=$((skipped + 1))
    elif run_tests "$layer" "$log"; then
        verdict=SURVIVED
        survived=$((survived + 1))
    else
        verdict=KILLED
        killed=$((killed + 1))
    fi
    printf '%-9s %s\n' "$verdict" "$label"
    # The original comes back with a new time, so that the next build compiles it again.
    cp "$work/original" "$tree/$file"
    touch "$tree/$file"
done

total=$((killed + survived))
if [[ $total -gt 0 ]]; then
    echo "killed $killed of $total ($((100 * killed / total))%), $skipped not applicable"
else
    echo "no fault applied, $skipped not applicable"
fi
