#!/usr/bin/env bash
# The exit status of command-line runs, row by row, as cron and service users rely on it:
# 0 every run finished without a failed operation, 1 failures, the error limit or a cancel,
# 2 a command line naming no known task or switch, 3 a task refused; the highest wins.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"
HOLDER=""
ON_EXIT='[ -n "$HOLDER" ] && kill -- -"$HOLDER" 2>/dev/null'

# A fresh program folder: the binary, host and mirror trees.
setup() {
    rm -rf "$WORK/app"
    A="$WORK/app"
    mkdir -p "$A/host" "$A/mirror" "$A/h2" "$A/m2"
    cp "$BIN" "$A/pelmora"
    echo alpha >"$A/host/a.txt"
    echo two >"$A/h2/t.txt"
}
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@" || fail "make_cfg.py"; }
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ./pelmora "$@" >"$WORK/out" 2>"$WORK/err")
    RC=$?
}
expect() { # status what
    [ "$RC" = "$1" ] || fail "$2: exit status $RC, expected $1 (stderr: $(head -c 300 "$WORK/err"))"
}
# The log holds a refused task's block with a reason matching the regular expression.
check_refused() { # task-name reason-regex
    python3 - "$A/pelmora.log" "$1" "$2" <<'PY' || fail "no refusal block for $1 matching '$2'"
import re, sys
path, name, reason = sys.argv[1:]
text = open(path, 'rb').read().decode('utf-8')
block = (r'(^|\n|\x00)\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\r\nStart task: ' + re.escape(name) + r'\r\n'
         + reason + r'\r\n' + '=' * 61 + r'\r\n')
assert re.search(block, text), repr(text)
PY
}
# A host of two folders below the task root where the mirror holds a file of the first
# folder's name: the copy cannot create its target's folder, also as root.
plant_failure() { # host mirror
    mkdir -p "$1/blocked"
    echo f >"$1/blocked/f.txt"
    echo in-the-way >"$2/blocked"
}

# --- 0: every run finished without a failed operation, nothing to do included.
setup
cfg "Backup=$A/host,$A/mirror"
run -ABackup
expect 0 "a clean run"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the clean run did not copy"
run -aBACKUP
expect 0 "nothing to do"
grep -aq 'No file need to be synchronized!' "$A/pelmora.log" || fail "nothing to do is logged"

# --- 0: "/A" without an auto-mode task runs nothing.
setup
cfg "Manual=$A/host,$A/mirror"
run /A
expect 0 "/A without auto-mode tasks"
[ ! -e "$A/mirror/a.txt" ] || fail "/A ran a task without auto mode"
[ ! -e "$A/pelmora.log" ] || fail "/A without a task wrote a log"

# --- 1: a failed operation.
setup
plant_failure "$A/host" "$A/mirror"
cfg "Backup=$A/host,$A/mirror"
run -ABackup
expect 1 "a failed copy"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the other copy must still be done"
grep -aq 'Failed to synchronize: 1' "$A/pelmora.log" || fail "the failure is counted in the log"

# --- 1: stopped by the error limit.
setup
plant_failure "$A/host" "$A/mirror"
mkdir -p "$A/host/blocked2" && echo g >"$A/host/blocked2/g.txt"
echo in-the-way >"$A/mirror/blocked2"
cfg "Backup=$A/host,$A/mirror,MaxErr=1"
run -ABackup
expect 1 "the error limit"
grep -aq 'Too many errors, task stopped!' "$A/pelmora.log" || fail "the error limit is logged"

# --- 1: cancelled by a quit signal in the middle of a long copy.
setup
head -c $((8 * 1024 * 1024)) /dev/zero >"$A/host/big.bin"
cfg "Backup=$A/host,$A/mirror,Speed=200"
(cd "$A" && exec ./pelmora -ABackup >"$WORK/out" 2>"$WORK/err") &
PID=$!
for _ in $(seq 300); do
    compgen -G "$A/mirror/.pelmora-partial-*" >/dev/null && break
    sleep 0.1
done
compgen -G "$A/mirror/.pelmora-partial-*" >/dev/null || fail "the long copy did not start"
kill -TERM "$PID"
for _ in $(seq 150); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$PID" 2>/dev/null; then
    fail "SIGTERM did not end the run"
    kill -KILL "$PID"
fi
wait "$PID"
RC=$?
PID=""
expect 1 "a run cancelled by SIGTERM"
grep -aq 'User break the task!' "$A/pelmora.log" || fail "the cancel is logged"
[ ! -e "$A/mirror/big.bin" ] || fail "the cancelled copy left a target"
! compgen -G "$A/mirror/.pelmora-partial-*" >/dev/null || fail "the cancelled copy left its temporary file"

# --- 2: a command line that names no known switch or task; nothing runs.
setup
cfg "Backup=$A/host,$A/mirror"
for arg in -Xfoo /Z -CNobody -A; do
    run "$arg"
    expect 2 "$arg"
    grep -q . "$WORK/err" || fail "$arg: nothing on standard error"
done
[ ! -e "$A/mirror/a.txt" ] || fail "a bad command line ran a task"
[ ! -e "$A/pelmora.log" ] || fail "a bad command line wrote a log"

# --- 3: tasks refused before they run, each with its reason in the log.
setup
cfg "Empty=,$A/mirror" \
    "NoAction=$A/host,$A/mirror,InMain=0,NewInMain=0" \
    "Net=//127.0.0.1:9/share/m,$A/mirror" \
    "Unplugged=$A/host,$A/unplugged,InMain=1" \
    "Mask=$A/host,$A/mirror,IgnoreOn=1,IgnoreList=[abc"
python3 - "$A/Pelmora.cfg" <<'PY' || fail "writing the user name"
import sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
names_end = data.index(b'\0', 1024) + 1
base = names_end + 2 * 3458 # the third task, "Net"
data[base + 3120] = len(b'someone')
data[base + 3121:base + 3121 + 7] = b'someone'
open(path, 'wb').write(bytes(data))
PY
for task in Empty NoAction Net Unplugged Mask; do
    run "-A$task"
    expect 3 "refused task $task"
done
check_refused Empty 'Invalid Host folder or Mirror folder\.'
check_refused NoAction 'No operation specified\.'
check_refused Net 'Invalid net path, or Username, Password error!'
check_refused Unplugged "Mirror folder not found, the run would delete the host's files: $A/unplugged"
check_refused Mask "'\[abc' is an invalid mask at \(\d+\)"
[ ! -e "$A/mirror/a.txt" ] || fail "a refused task copied"
[ -e "$A/host/a.txt" ] || fail "a refused task deleted the host"

# --- 3: the task's run lock is held by another process (here util-linux flock).
setup
cfg "Backup=$A/host,$A/mirror"
mkdir -m 0700 "$A/.pelmora-locks"
# "BACKUP" in hex: the lock file every run of the task, in any case, agrees on.
# A session of its own, so that the holder and its shell go together.
setsid flock -n "$A/.pelmora-locks/4241434B5550.lock" -c "touch '$WORK/held'; exec sleep 60" &
HOLDER=$!
for _ in $(seq 400); do
    [ -e "$WORK/held" ] && break
    sleep 0.05
done
[ -e "$WORK/held" ] || fail "flock did not take the lock"
run -Abackup
expect 3 "the task already running"
check_refused Backup 'The task is already running in another Pelmora process\.'
[ ! -e "$A/mirror/a.txt" ] || fail "the second run of a task copied"
kill -- -"$HOLDER"
wait "$HOLDER" 2>/dev/null
HOLDER=""
run -ABackup
expect 0 "the task once the lock is free"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the run after the lock was freed did not copy"

# --- The highest status of several tasks wins.
setup
plant_failure "$A/h2" "$A/m2"
cfg "Good=$A/host,$A/mirror,AutoMode=1" "Failing=$A/h2,$A/m2,AutoMode=1"
run /A
expect 1 "/A with a clean run and a failing one"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "/A: the clean task did not run"
[ "$(cat "$A/m2/t.txt" 2>/dev/null)" = two ] || fail "/A: the failing task did not run"
setup
plant_failure "$A/h2" "$A/m2"
cfg "Refused=,,AutoMode=1" "Failing=$A/h2,$A/m2,AutoMode=1" "Good=$A/host,$A/mirror,AutoMode=1"
run /A
expect 3 "/A with a refused, a failing and a clean task"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "/A: the tasks after a refusal did not run"

# --- Two arguments start the program interactively: it stays up and runs nothing.
setup
cfg "Backup=$A/host,$A/mirror,AutoMode=1"
(cd "$A" && timeout 3 ./pelmora /A -ABackup >/dev/null 2>&1)
[ $? = 124 ] || fail "two arguments: the program did not stay up"
[ ! -e "$A/mirror/a.txt" ] || fail "two arguments ran a task"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all exit-status checks passed"
