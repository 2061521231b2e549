#!/bin/sh
# Listing both sides of a run plus planning, against rsync's dry run and a bare C walk.
#
#   bench/scan-plan.sh N [ROUNDS]
#
# Generates two equal trees of N files (bench/gen-tree.sh) under $BENCH_DIR (default
# /tmp/pelmora-bench; trees of the same N are reused), warms them, then alternates, ROUNDS
# times (default 5, at least 3): (a) the scan_plan executable on the engine library,
# (b) rsync -a -n --delete HOST/ MIRROR/ (nothing to do), (c) walk_floor, a bare
# opendir/readdir/fstatat walk of both trees. Prints the medians and, as its last lines,
# scan_plan_vs_rsync=X.XX and scan_plan_vs_floor=X.XX.
#
# The scan_plan executable is taken from $PELMORA_BENCH_BIN when set, else built in
# build-bench (Release, engine only).
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 N [ROUNDS]" >&2
    exit 2
fi
n=$1
rounds=${2:-5}
[ "$rounds" -ge 3 ] || rounds=3
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
work=${BENCH_DIR:-/tmp/pelmora-bench}

scan_plan=${PELMORA_BENCH_BIN:-}
if [ -z "$scan_plan" ]; then
    build="$repo/build-bench"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_GUI=OFF \
        -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target scan_plan >/dev/null
    scan_plan="$build/bench/scan_plan"
fi
mkdir -p "$work"
floor="$work/walk_floor"
cc -O2 -o "$floor" "$here/walk_floor.c"

host="$work/scan-$n/host"
mirror="$work/scan-$n/mirror"
if [ ! -f "$work/scan-$n/done" ]; then
    rm -rf "$work/scan-$n"
    mkdir -p "$work/scan-$n"
    echo "generating two trees of $n files in $work/scan-$n ..." >&2
    "$here/gen-tree.sh" "$n" "$host" "$mirror"
    touch "$work/scan-$n/done"
fi

# Warm the page cache: every folder listed and every inode read once.
"$floor" "$host" "$mirror" >/dev/null
rsync -a -n --delete "$host/" "$mirror/" >/dev/null

now() { date +%s%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ta=""; tb=""; tc=""
i=0
while [ "$i" -lt "$rounds" ]; do
    s=$(now); "$scan_plan" "$host" "$mirror" >/dev/null; e=$(now); ta="$ta $(elapsed "$s" "$e")"
    s=$(now); rsync -a -n --delete "$host/" "$mirror/" >/dev/null; e=$(now); tb="$tb $(elapsed "$s" "$e")"
    s=$(now); "$floor" "$host" "$mirror" >/dev/null; e=$(now); tc="$tc $(elapsed "$s" "$e")"
    i=$((i + 1))
done

ma=$(echo "$ta" | median)
mb=$(echo "$tb" | median)
mc=$(echo "$tc" | median)
echo "files_per_side=$n rounds=$rounds"
echo "scan_plan_median_s=$ma (runs:$ta)"
echo "rsync_dry_run_median_s=$mb (runs:$tb)"
echo "walk_floor_median_s=$mc (runs:$tc)"
awk -v a="$ma" -v b="$mb" 'BEGIN { printf "scan_plan_vs_rsync=%.2f\n", a / b }'
awk -v a="$ma" -v c="$mc" 'BEGIN { printf "scan_plan_vs_floor=%.2f\n", a / c }'
