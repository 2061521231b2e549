#!/usr/bin/env bash
# Copying to an SMB share on loopback: the engine against smbclient's mput of the same files.
#
#   bench/smb.sh [ROUNDS] [SMALL_FILES] [BIG_MIB]
#
# Starts a throwaway Samba server on 127.0.0.1 (its own smb.conf, state folders and a high
# port under $BENCH_DIR, default /tmp/pelmora-bench; stopped by its PID on exit), generates
# SMALL_FILES small files (default 10000, bench/gen-tree.sh) and one file of BIG_MIB MiB
# (default 256), then alternates, ROUNDS times (default 3): the smb_copy executable (an
# unattended run of the engine into a new, empty folder on the share, with its copy lanes as
# the program runs it) and smbclient -c 'prompt; recurse; mput *' of the same folder into
# another new folder. The small files are also copied by the engine on one thread
# (PELMORA_BENCH_LANES=1), printed as smb_small_one_thread_vs_smbclient.
# mput only creates, writes and closes each file; the engine also sets the file's time and
# writes under a temporary name that it renames at the end. So each round also times
# smbclient doing that same work for the small files (put to NAME.tmp, utimes, rename), as
# smbclient_same_work. Prints the medians and, as its last lines, smb_small_vs_smbclient=X.XX
# and smb_big_vs_smbclient=X.XX. Needs root (it adds a system user for the share).
#
# The smb_copy executable is taken from $PELMORA_BENCH_SMB_BIN when set, else built in
# build-bench (Release, engine only).
set -euo pipefail

rounds=${1:-3}
small=${2:-10000}
big_mib=${3:-256}
[ "$rounds" -ge 1 ] || rounds=1
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
work=${BENCH_DIR:-/tmp/pelmora-bench}

command -v smbclient >/dev/null || { echo "$0: smbclient missing (Debian smbclient)" >&2; exit 2; }

smb_copy=${PELMORA_BENCH_SMB_BIN:-}
if [ -z "$smb_copy" ]; then
    build="$repo/build-bench"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_GUI=OFF \
        -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" --target smb_copy >/dev/null
    smb_copy="$build/bench/smb_copy"
fi

mkdir -p "$work"
srv=$(mktemp -d "$work/smb-server-XXXXXX")
chmod 755 "$srv"
cleanup() {
    smb_server_stop
    rm -rf "$srv"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

user=pelmorabench
password="bench-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
. "$repo/tests/e2e/smb_server.sh"
smb_server_start "$srv" "$user" "$password" || { echo "$0: $SMB_REASON" >&2; exit 1; }
port=$SMB_PORT

# The data: kept between script runs, like the other benchmarks' trees.
small_dir="$work/smb-small-$small"
big_dir="$work/smb-big-$big_mib"
if [ ! -f "$small_dir.done" ]; then
    rm -rf "$small_dir"
    "$here/gen-tree.sh" "$small" "$small_dir"
    touch "$small_dir.done"
fi
if [ ! -f "$big_dir.done" ]; then
    rm -rf "$big_dir"
    mkdir -p "$big_dir"
    head -c "$((big_mib * 1024 * 1024))" /dev/urandom >"$big_dir/big.bin"
    touch "$big_dir.done"
fi
# Warm the page cache.
find "$small_dir" "$big_dir" -type f -exec cat {} + >/dev/null

auth="$srv/auth"
printf 'username = %s\npassword = %s\n' "$user" "$password" >"$auth"
chmod 600 "$auth"
share="//127.0.0.1:$port/data"

now() { date +%s%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A new, empty folder on the share for every timed copy, made on the server's side.
fresh() {
    mkdir "$srv/data/$1"
    chown "$user" "$srv/data/$1"
}
run_engine() { # SOURCE NAME
    fresh "$2"
    PELMORA_SMB_USER=$user PELMORA_SMB_PASSWORD=$password "$smb_copy" "$1" "$share/$2" 2>"$srv/log/engine.out" ||
        { echo "$0: smb_copy failed:" >&2; cat "$srv/log/engine.out" >&2; exit 1; }
}
run_engine_one_thread() { # SOURCE NAME
    PELMORA_BENCH_LANES=1 run_engine "$1" "$2"
}
run_smbclient() { # SOURCE NAME
    fresh "$2"
    smbclient "//127.0.0.1/data" -p "$port" -A "$auth" -D "$2" \
        -c "lcd $1; prompt; recurse; mput *" >"$srv/log/smbclient.out" 2>&1 ||
        { echo "$0: smbclient failed:" >&2; tail -5 "$srv/log/smbclient.out" >&2; exit 1; }
}
# The commands for smbclient to copy SOURCE as the engine does: each folder made, each file
# put under a temporary name, given the source's time and renamed.
same_work_commands() { # SOURCE
    find "$1" -mindepth 1 -type d -printf 'mkdir "%P"\n'
    find "$1" -type f -printf 'put "%p" "%P.tmp"\nutimes "%P.tmp" -1 -1 "%TY:%Tm:%Td-%TH:%TM:%TS" -1\nrename "%P.tmp" "%P"\n' |
        sed 's/\(:[0-9][0-9]\)\.[0-9]*" -1$/\1" -1/'
}
run_smbclient_same_work() { # COMMANDS NAME
    fresh "$2"
    smbclient "//127.0.0.1/data" -p "$port" -A "$auth" -D "$2" <"$1" >"$srv/log/smbclient-same.out" 2>&1 ||
        { echo "$0: smbclient (same work) failed:" >&2; tail -5 "$srv/log/smbclient-same.out" >&2; exit 1; }
    if grep -q 'NT_STATUS_' "$srv/log/smbclient-same.out"; then
        echo "$0: smbclient (same work) reported errors:" >&2
        grep -m 5 'NT_STATUS_' "$srv/log/smbclient-same.out" >&2
        exit 1
    fi
}
count_files() { find "$1" -type f | wc -l; }
same_cmds="$srv/same-work.cmds"
same_work_commands "$small_dir" >"$same_cmds"

es=""; e1=""; cs=""; ss=""; eb=""; cb=""
r=0
while [ "$r" -lt "$rounds" ]; do
    s=$(now); run_engine "$small_dir" "es$r"; e=$(now); es="$es $(elapsed "$s" "$e")"
    s=$(now); run_smbclient "$small_dir" "cs$r"; e=$(now); cs="$cs $(elapsed "$s" "$e")"
    s=$(now); run_engine_one_thread "$small_dir" "e1$r"; e=$(now); e1="$e1 $(elapsed "$s" "$e")"
    s=$(now); run_smbclient_same_work "$same_cmds" "ss$r"; e=$(now); ss="$ss $(elapsed "$s" "$e")"
    s=$(now); run_engine "$big_dir" "eb$r"; e=$(now); eb="$eb $(elapsed "$s" "$e")"
    s=$(now); run_smbclient "$big_dir" "cb$r"; e=$(now); cb="$cb $(elapsed "$s" "$e")"
    # Both tools must have copied everything, byte for byte where it is cheap to check.
    want=$(count_files "$small_dir")
    for d in "es$r" "e1$r" "cs$r" "ss$r"; do
        got=$(count_files "$srv/data/$d")
        [ "$got" -eq "$want" ] || { echo "$0: $d holds $got of $want files" >&2; exit 1; }
    done
    left=$(find "$srv/data/es$r" "$srv/data/e1$r" -name '.pelmora-partial-*' | wc -l)
    [ "$left" -eq 0 ] || { echo "$0: the engine left $left temporary files" >&2; exit 1; }
    # Every file with its bytes (empty folders are not copied by this task: it ignores them).
    if diff -rq "$small_dir" "$srv/data/es$r" | grep -v '^Only in .*: empty$' | grep -q .; then
        echo "$0: the engine's copy differs from the source" >&2
        exit 1
    fi
    left=$(find "$srv/data/ss$r" -name '*.tmp' | wc -l)
    [ "$left" -eq 0 ] || { echo "$0: smbclient (same work) left $left temporary files" >&2; exit 1; }
    cmp -s "$(find "$small_dir" -type f -print -quit)" \
        "$srv/data/ss$r/$(cd "$small_dir" && find . -type f -print -quit)" ||
        { echo "$0: smbclient (same work) copied a file wrongly" >&2; exit 1; }
    cmp -s "$big_dir/big.bin" "$srv/data/eb$r/big.bin" || { echo "$0: the engine's big.bin differs" >&2; exit 1; }
    cmp -s "$big_dir/big.bin" "$srv/data/cb$r/big.bin" || { echo "$0: smbclient's big.bin differs" >&2; exit 1; }
    # Set the copies aside instead of deleting them now: a mass delete slows what follows.
    mkdir -p "$srv/data/.old/$r"
    mv "$srv/data/es$r" "$srv/data/e1$r" "$srv/data/cs$r" "$srv/data/ss$r" "$srv/data/eb$r" "$srv/data/cb$r" "$srv/data/.old/$r/"
    r=$((r + 1))
done

mes=$(echo "$es" | median); me1=$(echo "$e1" | median); mcs=$(echo "$cs" | median); mss=$(echo "$ss" | median)
meb=$(echo "$eb" | median); mcb=$(echo "$cb" | median)
echo "small_files=$small big_mib=$big_mib rounds=$rounds"
echo "engine_small_median_s=$mes (runs:$es)"
echo "engine_one_thread_small_median_s=$me1 (runs:$e1)"
echo "smbclient_small_median_s=$mcs (runs:$cs)"
echo "smbclient_same_work_small_median_s=$mss (runs:$ss)"
echo "engine_big_median_s=$meb (runs:$eb)"
echo "smbclient_big_median_s=$mcb (runs:$cb)"
awk -v a="$me1" -v b="$mcs" 'BEGIN { printf "smb_small_one_thread_vs_smbclient=%.2f\n", a / b }'
awk -v a="$mes" -v b="$mss" 'BEGIN { printf "smb_small_vs_smbclient_same_work=%.2f\n", a / b }'
awk -v a="$mes" -v b="$mcs" 'BEGIN { printf "smb_small_vs_smbclient=%.2f\n", a / b }'
awk -v a="$meb" -v b="$mcb" 'BEGIN { printf "smb_big_vs_smbclient=%.2f\n", a / b }'
