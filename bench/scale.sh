#!/bin/sh
# The real program on two equal trees of many small files, nothing to do, against rsync and a
# bare walk of both trees, measured in one run.
#
#   bench/scale.sh [N] [WORK]
#
# N files per side (default 1000000), each of at most one 4 KiB block, in folders of 100 three
# levels deep, so 2 x N blocks of disk (about 8 GiB for the default) and 2 x N inodes; the free
# space is checked first. WORK (default /tmp/pelmora-scale-bench) must not exist; it is
# removed at the end. Each command runs ROUNDS times (default 3), alternating, and the last
# lines give:
#   million_no_change_vs_rsync   pelmora -A (offscreen, nothing to do) / rsync -a, medians
#   million_vs_floor             the same / walk_floor over both trees (one thread)
#   million_rss_bytes_per_entry  the program's peak resident memory beyond that of a run on
#                                two one-file trees, per entry listed (files and folders)
# PELMORA_BIN may name a built pelmora; otherwise a Release build is made in build-bench-scale.
set -eu

n=${1:-1000000}
work=${2:-/tmp/pelmora-scale-bench}
rounds=${ROUNDS:-3}
repo=$(cd "$(dirname "$0")/.." && pwd)

case $n in
    '' | *[!0-9]*) echo "$0: N must be a number" >&2; exit 2 ;;
esac
if [ -e "$work" ]; then
    echo "$0: $work exists; remove it first (and wait a few minutes before benchmarking)" >&2
    exit 2
fi
for tool in rsync perl python3 cc /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

# Room for both trees: one block and one inode per file, a folder per 100 files, 5 % spare.
parent=$(dirname "$work")
mkdir -p "$parent"
need_kb=$(( (2 * n * 4 + 2 * (n / 100 + 2) * 4) * 105 / 100 ))
need_inodes=$(( (2 * n + 2 * (n / 100 + 2)) * 105 / 100 ))
free_kb=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
free_inodes=$(df -Pi "$parent" | awk 'NR == 2 { print $4 }')
echo "two trees of $n files need about $((need_kb / 1024)) MiB and $need_inodes inodes in $parent;" \
    "free: $((free_kb / 1024)) MiB, $free_inodes inodes"
if [ "$free_kb" -lt "$need_kb" ]; then
    echo "$0: not enough free space in $parent (give WORK elsewhere or a smaller N)" >&2
    exit 2
fi
# File systems without an inode count (btrfs) report 0 free inodes.
if [ "$free_inodes" -gt 0 ] && [ "$free_inodes" -lt "$need_inodes" ]; then
    echo "$0: not enough free inodes in $parent" >&2
    exit 2
fi

if [ -z "${PELMORA_BIN:-}" ]; then
    build="$repo/build-bench-scale"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target pelmora >/dev/null
    PELMORA_BIN="$build/app/pelmora"
fi

mkdir -p "$work/app" "$work/small/host" "$work/small/mirror"
times=$(mktemp)
# Removing millions of files takes minutes: said before it starts.
trap 'rm -f "$times"; echo "cleaning up $work" >&2; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

floor="$work/walk_floor"
cc -O2 -o "$floor" "$repo/bench/walk_floor.c"
cp "$PELMORA_BIN" "$work/app/pelmora"
python3 "$repo/tests/e2e/make_cfg.py" "$work/app/Pelmora.cfg" \
    "Scale=$work/host,$work/mirror,InMirror=1" "Small=$work/small/host,$work/small/mirror,InMirror=1"
echo one >"$work/small/host/one.txt"
cp -a "$work/small/host/one.txt" "$work/small/mirror/one.txt"

echo "generating $n files of at most 4 KiB in $work/host, copying them to $work/mirror"
perl -e '
use strict;
use warnings;
my ($n, $root) = @ARGV;
my $perFolder = 100;
my $leaves = int(($n + $perFolder - 1) / $perFolder);
$leaves = 1 if $leaves < 1;
my $fan = 1;
$fan++ while $fan * $fan * $fan < $leaves;
my $block = join("", map { chr(32 + ($_ * 7) % 95) } 0 .. 4095);
my %made;
mkdir $root or die "mkdir $root: $!\n";
for my $i (0 .. $n - 1) {
    my $leaf = int($i / $perFolder);
    my @p = (sprintf("d%02d", int($leaf / ($fan * $fan)) % $fan), sprintf("d%02d", int($leaf / $fan) % $fan),
             sprintf("d%02d", $leaf % $fan));
    my $dir = "$root/$p[0]/$p[1]/$p[2]";
    unless ($made{$dir}) {
        for my $d ("$root/$p[0]", "$root/$p[0]/$p[1]", $dir) {
            next if $made{$d};
            mkdir $d or die "mkdir $d: $!\n" unless -d $d;
            $made{$d} = 1;
        }
    }
    my $path = sprintf("%s/f%07d.dat", $dir, $i);
    open(my $fh, ">", $path) or die "open $path: $!\n";
    my $size = (($i * 2654435761) >> 7) % 4097;
    syswrite($fh, $block, $size) if $size > 0;
    close $fh or die "close $path: $!\n";
    my $mtime = 1700000000 + 2 * $i;
    utime($mtime, $mtime, $path) or die "utime $path: $!\n";
}
' "$n" "$work/host"
cp -a "$work/host" "$work/mirror"

# timeit LABEL COMMAND...: appends "LABEL seconds peak-KiB" to the times file.
timeit() {
    label=$1
    shift
    start=$(date +%s.%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out" 2>&1 || {
        echo "$0: $label failed:" >&2
        cat "$work/out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    secs=$(echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }')
    rss=$(tail -n 1 "$work/rss")
    echo "$label $secs $rss" >>"$times"
    echo "  $label $secs s, peak $rss KiB"
}

median() { # LABEL COLUMN
    awk -v l="$1" -v c="$2" '$1 == l { print $c }' "$times" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    echo "$1 $2" | awk '{ if ($2 > 0) printf "%.2f", $1 / $2; else print "nan" }'
}


# The program's run must have found nothing to do, or its time means nothing.
check_nothing_to_do() {
    tail -c 400 "$work/app/pelmora.log" | tr -d '\0' | grep -q "No file need to be synchronized" || {
        echo "$0: the program's run was not a run with nothing to do:" >&2
        tail -c 2000 "$work/app/pelmora.log" | tr -d '\0' >&2
        exit 1
    }
}

echo "warming the page cache"
entries=$("$floor" "$work/host" "$work/mirror" | sed -n 's/^walk_entries=//p')
rsync -a "$work/host/" "$work/mirror/"
run="env -C $work/app QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL= LC_MESSAGES= ./pelmora"
$run -AScale >/dev/null 2>&1
check_nothing_to_do

for r in $(seq "$rounds"); do
    timeit ours $run -AScale
    check_nothing_to_do
    timeit rsync rsync -a "$work/host/" "$work/mirror/"
    timeit floor "$floor" "$work/host" "$work/mirror"
    timeit small $run -ASmall
done

ours_s=$(median ours 2)
rsync_s=$(median rsync 2)
floor_s=$(median floor 2)
ours_kb=$(median ours 3)
small_kb=$(median small 3)
echo "medians: pelmora $ours_s s ($ours_kb KiB peak, $small_kb KiB on one-file trees)," \
    "rsync $rsync_s s, walk_floor $floor_s s; $entries entries listed"
echo "million_no_change_vs_rsync=$(ratio "$ours_s" "$rsync_s")"
echo "million_vs_floor=$(ratio "$ours_s" "$floor_s")"
echo "million_rss_bytes_per_entry=$(echo "$ours_kb $small_kb $entries" | awk '{ printf "%.0f", ($1 - $2) * 1024 / $3 }')"
