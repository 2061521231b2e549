#!/usr/bin/env bash
# Two real program processes on one task: while a long (speed-limited) run of a task goes on,
# a second command-line run of the same task is refused with exit status 3 and a logged
# reason, another task runs beside it, and a run killed outright leaves no stale lock.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

A="$WORK/app"
mkdir -p "$A/host" "$A/mirror" "$A/h2" "$A/m2"
cp "$BIN" "$A/pelmora"
head -c $((8 * 1024 * 1024)) /dev/urandom >"$A/host/big.bin"
echo small >"$A/host/small.txt"
echo other >"$A/h2/o.txt"
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@" || fail "make_cfg.py"; }
# About 40 s for the big file: long enough to overlap, cut short by the test.
cfg "Backup=$A/host,$A/mirror,Speed=200" "Other=$A/h2,$A/m2"

start_long_run() { # sets PID once the big file's copy is under way
    (cd "$A" && exec ./pelmora -ABackup >/dev/null 2>&1) &
    PID=$!
    for _ in $(seq 300); do
        compgen -G "$A/mirror/.pelmora-partial-*" >/dev/null && return 0
        sleep 0.1
    done
    fail "the long run did not start its copy"
}
end_run() { # signal; sets RC
    kill -"$1" "$PID"
    for _ in $(seq 150); do
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$PID" 2>/dev/null && { fail "the run did not end on $1"; kill -KILL "$PID"; }
    wait "$PID"
    RC=$?
    PID=""
}
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ./pelmora "$@" >/dev/null 2>&1)
    RC=$?
}

start_long_run
# The same task from a second process, the name in another case: refused at once.
started=$(date +%s)
run -aBACKUP
[ "$RC" = 3 ] || fail "second run of the same task: exit status $RC"
[ $(($(date +%s) - started)) -lt 20 ] || fail "the second run waited for the first"
python3 - "$A/pelmora.log" <<'PY' || fail "the refusal is not logged as a block of its own"
import re, sys
data = open(sys.argv[1], 'rb').read()
block = (rb'\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\r\nStart task: Backup\r\n'
         rb'The task is already running in another Pelmora process\.\r\n' + b'=' * 61 + b'\r\n\0')
assert re.fullmatch(block, data), repr(data)
PY
# Another task is not held up.
run -AOther
[ "$RC" = 0 ] || fail "another task beside the long run: exit status $RC"
[ "$(cat "$A/m2/o.txt" 2>/dev/null)" = other ] || fail "the other task did not copy"
kill -0 "$PID" 2>/dev/null || fail "the long run ended early"

# The first run, cancelled, logs only its own cancel: no failure from a second run racing it.
end_run TERM
[ "$RC" = 1 ] || fail "cancelled long run: exit status $RC"
python3 - "$A/pelmora.log" <<'PY' || fail "the long run's block"
import sys
runs = open(sys.argv[1], 'rb').read().split(b'\0')
assert runs[-1] == b'' and len(runs) == 4, runs
text = runs[2].decode('utf-8')
assert 'Start task: Backup\r\n' in text and 'User break the task!\r\n' in text, text
assert 'Failed to delete' not in text and 'Failed to create' not in text, text
PY
[ ! -e "$A/mirror/big.bin" ] || fail "the cancelled copy left a target"

# A run killed outright leaves no stale lock: the next run of the task goes ahead.
start_long_run
end_run KILL
cfg "Backup=$A/host,$A/mirror" "Other=$A/h2,$A/m2"
run -ABackup
[ "$RC" = 0 ] || fail "the run after a killed one: exit status $RC"
cmp -s "$A/host/big.bin" "$A/mirror/big.bin" || fail "the run after a killed one did not copy"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all run-lock checks passed"
