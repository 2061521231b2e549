#!/usr/bin/env bash
# Runs the real program where earlier runs went wrong: a run killed in the middle of a copy
# leaves its temporary file, which the next run clears away (and then the folder that held
# it); and file names crafted to look like log lines reach the log file as one escaped line.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"
check_file() { # path expected-content
    [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] || fail "$1 should hold '$2'"
}
check_absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }

setup() {
    rm -rf "$WORK/app"
    mkdir -p "$WORK/app/host" "$WORK/app/mirror"
    cp "$BIN" "$WORK/app/pelmora"
    A="$WORK/app"
}
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@"; }
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ./pelmora "$@" >/dev/null 2>&1)
    RC=$?
}
partials() { find "$1" -name '.pelmora-partial-*' | sort; }

# A run killed (kill -9) while it copies a large file at 100 KB/s leaves its temporary file.
setup
mkdir -p "$A/host/big"
head -c 3000000 /dev/urandom >"$A/host/big/data.bin"
echo alpha >"$A/host/a.txt"
cfg "Backup=$A/host,$A/mirror,Speed=100"
(cd "$A" && exec ./pelmora -ABackup >/dev/null 2>&1) &
PID=$!
for _ in $(seq 200); do
    [ -n "$(partials "$A/mirror/big" 2>/dev/null)" ] && break
    sleep 0.1
done
{
    kill -9 "$PID"
    wait "$PID"
} 2>/dev/null
PID=""
left="$(partials "$A/mirror")"
[ "$(echo "$left" | grep -c .)" = 1 ] || fail "the killed run should leave one temporary file, found: '$left'"
[ -s "$left" ] || fail "the temporary file should hold what was copied before the kill"
check_absent "$A/mirror/big/data.bin"
check_absent "$A/pelmora.log"
# A user's file that merely begins with the same prefix.
echo "my notes" >"$A/host/.pelmora-partial-notes.txt"

# The data went away on the host meanwhile; the next run (no speed limit, empty folders
# deleted) clears the leftover of the dead process, and with it the folder that held it.
rm -rf "$A/host/big"
cfg "Backup=$A/host,$A/mirror,EmptyDir=1"
run -ABackup
[ "$RC" = 0 ] || fail "the run after the kill: exit status $RC"
[ -z "$(partials "$A/mirror" | grep -v 'notes')" ] || fail "the leftover should be gone: $(partials "$A/mirror")"
check_absent "$A/mirror/big"
check_file "$A/mirror/a.txt" alpha
check_file "$A/mirror/.pelmora-partial-notes.txt" "my notes"
python3 - "$A/pelmora.log" <<'PY' || fail "log of the run after the kill"
import sys
text = open(sys.argv[1], 'rb').read().decode('utf-8')
assert 'Host folder -> Mirror folder: 2 files\r\n' in text, text
assert 'Failed to synchronize: 0\r\n' in text, text
PY

# Names that would forge a result block: one is copied, the other cannot be (an empty folder
# of its name stands in the mirror), so its line goes to the log.
setup
forged=$'x\r\n2024-01-01 0:00:00\r\nTask finish!\e[2J'
fine=$'ok\r\nTask finish!\t\u0085'
echo forged >"$A/host/$forged"
echo fine >"$A/host/$fine"
mkdir "$A/mirror/$forged"
cfg "Backup=$A/host,$A/mirror"
run -ABackup
# Neither a crash nor a hang, whichever status a run with a failure ends with.
[ "$RC" = 0 ] || [ "$RC" = 1 ] || fail "a run with a failed copy: exit status $RC"
check_file "$A/mirror/$fine" fine
python3 - "$A/pelmora.log" "$A/mirror" <<'PY' || fail "crafted names in the log file"
import sys
data = open(sys.argv[1], 'rb').read()
mirror = sys.argv[2].encode()
assert data.endswith(b'\0'), 'the log must end with a NUL'
lines = data[:-1].split(b'\r\n')
assert lines[-1] == b'', 'every line ends with CR LF'
lines = lines[:-1]
for line in lines:
    bad = [b for b in line if b < 0x20 or b == 0x7f]
    assert not bad, 'raw control bytes %r in %r' % (bad, line)
    assert b'\xc2\x85' not in line, 'a raw C1 control in %r' % line
assert lines.count(b'Task finish!') == 1, lines
assert lines.count(b'Failed to synchronize: 1') == 1, lines
expected = (b'Failed to create target file, path: ' + mirror +
            b'/x\\r\\n2024-01-01 0:00:00\\r\\nTask finish!\\x1b[2J')
assert expected in lines, lines
assert len(lines) == 13, lines
PY

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all leftover and crafted-name checks passed"
