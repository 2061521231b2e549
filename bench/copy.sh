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
#   engine_big_file_vs_cp  the same / cp
#   no_change_vs_rsync     a full run of two equal trees (scan, plan, nothing to do) / rsync -a
# and, from the real program (pelmora -A on the offscreen platform, Speed 0):
#   big_file_vs_cp         the 1 GiB file / cp
#   sparse_copy_vs_cp      an 8 GiB file holding 1 MiB of data / cp --sparse=auto
#   big_file_net_vs_cp     big_file_vs_cp less a program run with nothing to do (start-up,
#                          listing, log), a fixed cost that cp does not pay
#   sparse_copy_vs_nothing_to_do  the sparse copy / that run with nothing to do: near 1 when
#                          the copy itself costs nothing next to the program's fixed cost
#   trash_delete_vs_rm     a run deleting TRASH_N (default 10000) mirror-only files into the
#                          desktop trash (a fresh $XDG_DATA_HOME on the same disk) / rm -r
#   program_initial_copy_vs_cp   the real program (pelmora -A, offscreen), N files into an
#                                empty mirror / cp -a
#   program_no_change_vs_rsync   the real program on the two equal trees / rsync -a
# COPY_RUN may name a built bench/copy_run; otherwise a Release build is made in
# build-bench-copy. PELMORA (or PELMORA_BIN) may name a built pelmora program; otherwise a
# Release build is made in build-bench-program. Copies are never deleted between timed runs (a mass delete slows the file
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

PELMORA_BIN=${PELMORA_BIN:-${PELMORA:-}}
if [ -z "$PELMORA_BIN" ]; then
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
# binary and its configuration (portable: Pelmora.cfg beside it), a task run with -A on the
# offscreen platform. Every task mirrors as copy_run does (empty folders follow the host, no
# limits, Speed 0).
app="$work/app"
mkdir -p "$app"
cp "$PELMORA_BIN" "$app/pelmora"
program_tasks() { # NAME=HOST,MIRROR ...: the tasks the next program runs may name
    for task do
        set -- "$@" "$task,InMain=2,InMirror=1,SizeDiffer=2,NewInMain=2,NewInMirror=2,EmptyDir=2,MaxErr=0,Speed=0"
        shift
    done
    python3 "$repo/tests/e2e/make_cfg.py" "$app/Pelmora.cfg" "$@"
}
program() { # TASK
    (cd "$app" && QT_QPA_PLATFORM=offscreen ./pelmora "-A$1" >/dev/null 2>>"$app/stderr")
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

trash_n=${TRASH_N:-10000}
echo "deleting $trash_n files: into the trash against rm -r"
mkdir -p "$work/del/empty"
sh "$repo/bench/gen-tree.sh" "$trash_n" "$work/del/tree" >/dev/null
# Every copy is made before the first deletion: a mass delete slows the creations after it.
for r in $(seq "$rounds"); do
    cp -a "$work/del/tree" "$work/del/ours-$r"
    cp -a "$work/del/tree" "$work/del/rm-$r"
done
find "$work/del" -type f -exec cat {} + >/dev/null
sync
for r in $(seq "$rounds"); do
    timeit ours_trash env XDG_DATA_HOME="$work/del/data-$r" "$COPY_RUN" --no-guard "$work/del/empty" "$work/del/ours-$r"
    timeit rm_delete rm -r "$work/del/rm-$r"
done
# Every file must have reached the trash, with its .trashinfo.
trashed=$(find "$work/del/data-1/Trash/files" -type f | wc -l)
infos=$(find "$work/del/data-1/Trash/info" -name '*.trashinfo' | wc -l)
left=$(find "$work/del/ours-1" -type f | wc -l)
if [ "$trashed" -ne "$trash_n" ] || [ "$infos" -ne "$trash_n" ] || [ "$left" -ne 0 ]; then
    echo "$0: the trash holds $trashed files and $infos .trashinfo files of $trash_n, $left left" >&2
    exit 1
fi
echo "no change: the real program on the two equal trees"
program_tasks "Bench=$work/A,$work/B"
for r in $(seq "$rounds"); do
    timeit program_nochange program Bench
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

# --- The real program on one big file and on one sparse file, alternating with cp on the
# same files.
prog="$work/program"
mkdir -p "$prog/sparse/host" "$prog/idle/host" "$prog/idle/mirror"
# Nothing to do: one file, the same on both sides.
echo same >"$prog/idle/host/a"
cp -p "$prog/idle/host/a" "$prog/idle/mirror/a"
# 8 GiB with 1 MiB of data: four 256 KiB runs spread over the file, holes between and after.
truncate -s 8G "$prog/sparse/host/file"
for at in 7 9000 20000 31000; do
    dd if=/dev/urandom of="$prog/sparse/host/file" bs=256K count=1 seek="$at" conv=notrunc status=none
done
program_tasks "Big=$work/big/host,$prog/big" "Sparse=$prog/sparse/host,$prog/sparse/ours" \
    "Idle=$prog/idle/host,$prog/idle/mirror"
allocated() { echo $(($(stat -c %b "$1") * $(stat -c %B "$1"))); }

echo "the real program: one 1 GiB file, one 8 GiB sparse file"
cat "$work/big/host/file" >/dev/null
for r in $(seq "$rounds"); do
    sync
    timeit prog_idle program Idle
    timeit prog_big program Big
    cmp "$work/big/host/file" "$prog/big/file"
    rm -rf "$prog/big"
    sync
    timeit prog_cp_big cp "$work/big/host/file" "$work/big/cp"
    rm -f "$work/big/cp"
    sync
    timeit prog_sparse program Sparse
    # The copy must hold the same bytes and stay sparse, or its time means nothing.
    [ "$r" != 1 ] || cmp "$prog/sparse/host/file" "$prog/sparse/ours/file"
    [ "$(allocated "$prog/sparse/ours/file")" -le $((2 * 1048576)) ] ||
        { echo "$0: the program's copy of the sparse file is not sparse" >&2; exit 1; }
    rm -rf "$prog/sparse/ours"
    sync
    timeit prog_cp_sparse cp --sparse=auto "$prog/sparse/host/file" "$prog/sparse/cp"
    rm -f "$prog/sparse/cp"
done
prog_i=$(median prog_idle)
prog_b=$(median prog_big)
prog_s=$(median prog_sparse)
cp_pb=$(median prog_cp_big)
cp_ps=$(median prog_cp_sparse)
echo "medians (s): program nothing to do $prog_i; big program $prog_b cp $cp_pb; sparse program $prog_s cp $cp_ps"
echo "big_file_vs_cp=$(ratio "$prog_b" "$cp_pb")"
echo "sparse_copy_vs_cp=$(ratio "$prog_s" "$cp_ps")"
echo "big_file_net_vs_cp=$(ratio "$(echo "$prog_b $prog_i" | awk '{ print $1 - $2 }')" "$cp_pb")"
echo "sparse_copy_vs_nothing_to_do=$(ratio "$prog_s" "$prog_i")"

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
    program_tasks "Bench=$work/A,$work/copies/program-$r"
    sync
    timeit program_initial program Bench
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
echo "engine_big_file_vs_cp=$(ratio "$ours_b" "$cp_b")"
echo "no_change_vs_rsync=$(ratio "$ours_nc" "$rsync_nc")"
echo "trash_delete_vs_rm=$(ratio "$(median ours_trash)" "$(median rm_delete)")"

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
