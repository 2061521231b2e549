#!/bin/sh
# Copy speed of the engine against cp, dd and rsync, measured in one run.
#
#   bench/copy.sh [N] [WORK]
#
# N files (default 100000, made by gen-tree.sh) and one 1 GiB file are created under WORK
# (default /tmp/pelmora-copy-bench, which must not exist). Each comparison runs ROUNDS times
# (default 3; BIG_MB shrinks the big file for a trial), the commands alternating, and the last
# lines give the ratios of the medians:
#   initial_copy_vs_cp     N files into an empty mirror / cp -a
#   initial_copy_vs_rsync  the same / rsync -a
#   big_file_vs_dd16k      one 1 GiB file / dd bs=16k
#   big_file_vs_cp         the same / cp
#   no_change_vs_rsync     a full run of two equal trees (scan, plan, nothing to do) / rsync -a
#   program_initial_copy_vs_cp   the real program (pelmora -A, offscreen), N files into an
#                                empty mirror / cp -a
#   program_no_change_vs_rsync   the real program on the two equal trees / rsync -a
# COPY_RUN may name a built bench/copy_run; otherwise a Release build is made in
# build-bench-copy. PELMORA_BIN may name a built pelmora program; otherwise a Release build is
# made in build-bench-program. Copies are never deleted between timed runs (a mass delete slows the file
# creations after it for minutes); everything is removed at the end.
set -eu

n=${1:-100000}
work=${2:-/tmp/pelmora-copy-bench}
rounds=${ROUNDS:-3}
repo=$(cd "$(dirname "$0")/.." && pwd)

if [ -e "$work" ]; then
    echo "$0: $work exists; remove it first (and wait a few minutes before benchmarking)" >&2
    exit 2
fi
for tool in rsync cp dd; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

if [ -z "${COPY_RUN:-}" ]; then
    build="$repo/build-bench-copy"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_GUI=OFF \
        -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target copy_run >/dev/null
    COPY_RUN="$build/bench/copy_run"
fi

if [ -z "${PELMORA_BIN:-}" ]; then
    build="$repo/build-bench-program"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF \
        -DPELMORA_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" --target pelmora >/dev/null
    PELMORA_BIN="$build/app/pelmora"
fi

mkdir -p "$work/copies" "$work/big/host"
times=$(mktemp)
trap 'rm -f "$times"' EXIT

# timeit LABEL COMMAND...: runs the command and appends "LABEL seconds" to the times file.
timeit() {
    label=$1
    shift
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    secs=$(echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }')
    echo "$label $secs" >>"$times"
    echo "  $label $secs s"
}

median() {
    awk -v l="$1" '$1 == l { print $2 }' "$times" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    echo "$1 $2" | awk '{ if ($2 > 0) printf "%.2f", $1 / $2; else print "nan" }'
}

# The real program, as a user's cron line starts it: a program folder of its own holding the
# binary and its configuration, one task run with -A on the offscreen platform. The task
# mirrors as copy_run does (empty folders follow the host, no limits).
mkdir -p "$work/app"
cp "$PELMORA_BIN" "$work/app/pelmora"
program_task() { # HOST MIRROR: the task that the next program_run carries out
    python3 "$repo/tests/e2e/make_cfg.py" "$work/app/Pelmora.cfg" \
        "Bench=$1,$2,InMain=2,InMirror=1,SizeDiffer=2,NewInMain=2,NewInMirror=2,EmptyDir=2,MaxErr=0,Speed=0"
}
program_run() {
    (cd "$work/app" && QT_QPA_PLATFORM=offscreen ./pelmora -ABench 2>>"$work/app/stderr")
}

echo "generating $n files twice and a 1 GiB file in $work"
sh "$repo/bench/gen-tree.sh" "$n" "$work/A" "$work/B"
dd if=/dev/urandom of="$work/big/host/file" bs=1M count="${BIG_MB:-1024}" status=none
# Each phase warms what it reads, and the heavy copying of the many files comes last: it
# fills the page cache and would slow whatever ran after it.
echo "warming the page cache"
find "$work/A" "$work/B" -type f -exec cat {} + >/dev/null
sync

echo "no change: two equal trees"
for r in $(seq "$rounds"); do
    timeit ours_nochange "$COPY_RUN" "$work/A" "$work/B"
    timeit rsync_nochange rsync -a "$work/A/" "$work/B/"
done

echo "no change: the real program on the two equal trees"
program_task "$work/A" "$work/B"
for r in $(seq "$rounds"); do
    timeit program_nochange program_run
    timeit program_rsync_nochange rsync -a "$work/A/" "$work/B/"
done

echo "one 1 GiB file"
cat "$work/big/host/file" >/dev/null
for r in $(seq "$rounds"); do
    sync
    timeit ours_big "$COPY_RUN" "$work/big/host" "$work/big/ours"
    cmp "$work/big/host/file" "$work/big/ours/file"
    rm -rf "$work/big/ours"
    sync
    timeit dd_big dd if="$work/big/host/file" of="$work/big/dd" bs=16k status=none
    rm -f "$work/big/dd"
    sync
    timeit cp_big cp "$work/big/host/file" "$work/big/cp"
    rm -f "$work/big/cp"
done

echo "initial copy of $n files"
find "$work/A" -type f -exec cat {} + >/dev/null
for r in $(seq "$rounds"); do
    sync
    timeit ours_initial "$COPY_RUN" "$work/A" "$work/copies/ours-$r"
    sync
    timeit cp_initial cp -a "$work/A" "$work/copies/cp-$r"
    sync
    timeit rsync_initial rsync -a "$work/A/" "$work/copies/rsync-$r/"
done
# The engine's copy must be the same tree, or its time means nothing.
diff -r "$work/A" "$work/copies/ours-1" >/dev/null || { echo "$0: the engine's copy differs from the source" >&2; exit 1; }

echo "initial copy of $n files by the real program"
find "$work/A" -type f -exec cat {} + >/dev/null
for r in $(seq "$rounds"); do
    program_task "$work/A" "$work/copies/program-$r"
    sync
    timeit program_initial program_run
    sync
    timeit program_cp_initial cp -a "$work/A" "$work/copies/program-cp-$r"
done
diff -r "$work/A" "$work/copies/program-1" >/dev/null ||
    { echo "$0: the program's copy differs from the source" >&2; exit 1; }

ours_nc=$(median ours_nochange)
rsync_nc=$(median rsync_nochange)
ours_i=$(median ours_initial)
cp_i=$(median cp_initial)
rsync_i=$(median rsync_initial)
ours_b=$(median ours_big)
dd_b=$(median dd_big)
cp_b=$(median cp_big)
echo "medians (s): no change ours $ours_nc rsync $rsync_nc; initial ours $ours_i cp $cp_i rsync $rsync_i; big ours $ours_b dd $dd_b cp $cp_b"
echo "initial_copy_vs_cp=$(ratio "$ours_i" "$cp_i")"
echo "initial_copy_vs_rsync=$(ratio "$ours_i" "$rsync_i")"
echo "big_file_vs_dd16k=$(ratio "$ours_b" "$dd_b")"
echo "big_file_vs_cp=$(ratio "$ours_b" "$cp_b")"
echo "no_change_vs_rsync=$(ratio "$ours_nc" "$rsync_nc")"

prog_nc=$(median program_nochange)
prog_rsync_nc=$(median program_rsync_nochange)
prog_i=$(median program_initial)
prog_cp_i=$(median program_cp_initial)
echo "program medians (s): no change $prog_nc rsync $prog_rsync_nc; initial $prog_i cp $prog_cp_i"
echo "program_initial_copy_vs_cp=$(ratio "$prog_i" "$prog_cp_i")"
echo "program_no_change_vs_rsync=$(ratio "$prog_nc" "$prog_rsync_nc")"

# Printed first: removing this many files takes minutes.
echo "cleaning up" >&2
rm -rf "$work"
