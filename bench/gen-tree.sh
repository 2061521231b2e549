#!/bin/sh
# Deterministic test tree for the benchmarks.
#
#   gen-tree.sh [--mixed] N HOST [MIRROR]
#
# Writes N files into HOST: about 100 files per folder, three folder levels, sizes 0-16 KiB,
# modification times fixed (even seconds) so that a second run gives the same tree, and a few
# empty folders. With MIRROR a second, equal tree is written there. With --mixed the mirror
# differs: every 10th file is missing, every 10th (offset 3) is 100 s newer, every 10th
# (offset 5) has another size at the same time, and there are mirror-only files and an
# empty mirror-only folder. Both folders must not exist yet (or be empty).
set -eu

mixed=0
if [ "${1:-}" = "--mixed" ]; then
    mixed=1
    shift
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 [--mixed] N HOST [MIRROR]" >&2
    exit 2
fi
n=$1
host=$2
mirror=${3:-}
case $n in
    ''|*[!0-9]*) echo "$0: N must be a number" >&2; exit 2 ;;
esac

exec perl -e '
use strict;
use warnings;
my ($n, $mixed, @roots) = @ARGV;
my $perFolder = 100;
my $leaves = int(($n + $perFolder - 1) / $perFolder);
$leaves = 1 if $leaves < 1;
my $fan = 1;
$fan++ while $fan * $fan * $fan < $leaves;
my $base = 1700000000;
my $block = "";
$block .= chr(32 + ($_ * 7) % 95) for 0 .. 16383;

sub mkd { my $d = shift; mkdir $d or die "mkdir $d: $!\n" unless -d $d; }
sub put {
    my ($path, $size, $mtime) = @_;
    open(my $fh, ">", $path) or die "open $path: $!\n";
    binmode $fh;
    print $fh substr($block, 0, $size) if $size > 0;
    close $fh or die "close $path: $!\n";
    utime($mtime, $mtime, $path) or die "utime $path: $!\n";
}
sub sizeOf { my $i = shift; return (($i * 2654435761) >> 7) % 16385; }
sub leafOf {
    my $leaf = int(shift() / $perFolder);
    my $a = int($leaf / ($fan * $fan)) % $fan;
    my $b = int($leaf / $fan) % $fan;
    my $c = $leaf % $fan;
    return (sprintf("d%02d", $a), sprintf("d%02d", $b), sprintf("d%02d", $c));
}

for my $r (0 .. $#roots) {
    my $root = $roots[$r];
    my $isMirror = $r == 1;
    my $vary = $isMirror && $mixed;
    mkd($root);
    my %made;
    for my $i (0 .. $n - 1) {
        my @p = leafOf($i);
        my $dir = "$root/$p[0]/$p[1]/$p[2]";
        unless ($made{$dir}) {
            mkd("$root/$p[0]"); mkd("$root/$p[0]/$p[1]"); mkd($dir);
            $made{$dir} = 1;
        }
        my $size = sizeOf($i);
        my $mtime = $base + 2 * $i;
        if ($vary) {
            next if $i % 10 == 0;
            $mtime += 100 if $i % 10 == 3;
            $size = ($size + 1) % 16385 if $i % 10 == 5;
        }
        put(sprintf("%s/f%07d.dat", $dir, $i), $size, $mtime);
    }
    # A few empty folders: one per top-level folder and one in the root.
    for my $a (0 .. $fan - 1) {
        my $top = sprintf("%s/d%02d", $root, $a);
        next unless -d $top;
        mkd("$top/empty");
    }
    mkd("$root/empty");
    if ($vary) {
        mkd("$root/mirror-only");
        my $extra = int($n / 100) + 1;
        for my $j (0 .. $extra - 1) {
            put(sprintf("%s/mirror-only/m%07d.dat", $root, $j), sizeOf($j + $n), $base + 2 * $j);
        }
        mkd("$root/mirror-only-empty");
    }
}
' "$n" "$mixed" "$host" ${mirror:+"$mirror"}
