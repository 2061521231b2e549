#!/usr/bin/env bash
# Checks that every engine folder, and the tests of each, includes headers only from its own
# layer and the layers its library links (the link lines in each folder's CMakeLists.txt).
# A header-only include escapes the linker, so this test is what catches it.
# Usage: scripts/check-layers.sh [SOURCE_DIR]. Exit status 1 lists each offending line.
set -u
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 2

# The folders a folder may include from: itself and what its library depends on, directly or
# through another library. Keep in step with the link lines and the README's layout table.
declare -A allowed=(
    [lang]="lang"
    [core]="core"
    [platform]="platform core lang"
    [schedule]="schedule platform core lang"
    [config]="config schedule platform core lang"
    [sync]="sync platform core lang"
)
# The test support libraries serve the layers from platform up; the run helpers need sync.
# The configuration tests write schedule entries the way the schedule tests do.
declare -A test_extra=(
    [lang]=""
    [core]=""
    [platform]="tests/support"
    [schedule]="tests/support"
    [config]="tests/support tests/schedule"
    [sync]="tests/support tests/support/run"
)

status=0
check() { # check FILE ALLOWED...
    local file="$1"
    shift
    local line inc dir ok a
    while IFS= read -r line; do
        inc="${line#*\"}"
        inc="${inc%%\"*}"
        [[ "$inc" == */* ]] || continue # a header beside the file
        ok=0
        for a in "$@"; do
            dir="${inc%/*}"
            if [[ "$dir" == "$a" ]]; then
                ok=1
                break
            fi
        done
        if [[ $ok == 0 ]]; then
            echo "$file: includes $inc, outside its layers ($*)"
            status=1
        fi
    done < <(grep -h '^#include "' "$file")
}

for layer in "${!allowed[@]}"; do
    # shellcheck disable=SC2086
    for file in "$layer"/*.h "$layer"/*.cpp; do
        [[ -e "$file" ]] && check "$file" ${allowed[$layer]}
    done
    for file in tests/"$layer"/*.h tests/"$layer"/*.cpp; do
        # shellcheck disable=SC2086
        [[ -e "$file" ]] && check "$file" ${allowed[$layer]} tests/"$layer" ${test_extra[$layer]}
    done
done
# shellcheck disable=SC2086
for file in tests/support/*.h tests/support/*.cpp; do
    [[ -e "$file" ]] && check "$file" tests/support ${allowed[platform]}
done
# shellcheck disable=SC2086
for file in tests/support/run/*.h tests/support/run/*.cpp; do
    [[ -e "$file" ]] && check "$file" tests/support/run ${allowed[sync]}
done
exit $status
