#!/bin/sh
# The preview must stay quick on large plans: plans two 100,000-file trees that differ in
# every tenth file, then times building the preview's folder tree (offscreen) and filling its
# grid for the largest folder, against the scan and planning of the same run.
#
#   bench/preview.sh [BUILD_DIR] [N] [ROUNDS]
#
# BUILD_DIR must be configured with -DPELMORA_BUILD_BENCH=ON (default: build-bench). The
# last line printed is "preview_vs_scan=X.XX" (medians of the rounds; target: at most 0.5).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-bench}
n=${2:-100000}
rounds=${3:-5}
bin=$build/bench/preview_build
[ -x "$bin" ] || { echo "$0: build $bin first (cmake --build $build --target preview_build)" >&2; exit 2; }

work=${BENCH_DIR:-/tmp/pelmora-preview-bench}
if [ ! -f "$work/ready-$n" ]; then
    rm -rf "$work"
    mkdir -p "$work"
    "$here/gen-tree.sh" --mixed "$n" "$work/host" "$work/mirror"
    touch "$work/ready-$n"
fi
# Warm the page cache so the first round is not a cold scan.
find "$work/host" "$work/mirror" >/dev/null
QT_QPA_PLATFORM=offscreen "$bin" "$work/host" "$work/mirror" "$rounds"
