#!/usr/bin/env bash
# The log survives a crash: each run's block reaches the log file when that run ends, so a
# program killed outright (SIGKILL) during its second task has the first task's block in the
# file. A normal exit afterwards adds its own text and one NUL after what is there.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

A="$WORK/app"
mkdir -p "$A/h1" "$A/m1" "$A/h2" "$A/m2"
cp "$BIN" "$A/pelmora"
echo one >"$A/h1/one.txt"
head -c $((8 * 1024 * 1024)) /dev/zero >"$A/h2/big.bin"
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@" || fail "make_cfg.py"; }
# "/A" runs First, then the long Second (about 40 s at the speed limit).
cfg "First=$A/h1,$A/m1,AutoMode=1" "Second=$A/h2,$A/m2,AutoMode=1,Speed=200"

# The block a finished run of one copy leaves: stamp, start, end line, result, separator.
FIRST_BLOCK='\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\r\nStart task: First\r\nTask finish!\r\n\r\nTask result:\r\nHost folder -> Mirror folder: 1 files\r\nHost folder <- Mirror folder: 0 files\r\nDelete file\(s\) in host folder: 0\r\nDelete file\(s\) in mirror folder: 0\r\nFailed to synchronize: 0\r\n\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\r\n={61}\r\n'

(cd "$A" && exec ./pelmora /A >/dev/null 2>&1) &
PID=$!
for _ in $(seq 300); do
    compgen -G "$A/m2/.pelmora-partial-*" >/dev/null && break
    sleep 0.1
done
compgen -G "$A/m2/.pelmora-partial-*" >/dev/null || fail "the second task's copy did not start"
kill -0 "$PID" 2>/dev/null || fail "the program ended before the second task was done"
kill -KILL "$PID"
wait "$PID" 2>/dev/null
PID=""

# The first task's block is in the file, whole, and nothing else: the second never ended and
# the program never reached its normal exit, so no NUL either.
python3 - "$A/pelmora.log" "$FIRST_BLOCK" <<'PY' || fail "the first task's block after the kill"
import re, sys
data = open(sys.argv[1], 'rb').read()
assert re.fullmatch(sys.argv[2].encode(), data), repr(data)
PY
[ "$(cat "$A/m1/one.txt" 2>/dev/null)" = one ] || fail "the first task did not copy"
cp "$A/pelmora.log" "$WORK/after-kill.log"

# The next program run appends its text after what the killed one left, then one NUL.
rm -f "$A/m2/".pelmora-partial-*
cfg "First=$A/h1,$A/m1,AutoMode=1" "Second=$A/h2,$A/m2,AutoMode=1"
echo two >"$A/h1/two.txt"
(cd "$A" && timeout 60 ./pelmora /A >/dev/null 2>&1)
RC=$?
[ "$RC" = 0 ] || fail "the run after the kill: exit status $RC"
cmp -s -n "$(stat -c %s "$WORK/after-kill.log")" "$WORK/after-kill.log" "$A/pelmora.log" ||
    fail "the killed program's block must stay in front"
python3 - "$A/pelmora.log" "$(stat -c %s "$WORK/after-kill.log")" <<'PY' || fail "the normal run's text"
import sys
data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]):]
assert data.endswith(b'=' * 61 + b'\r\n\0') and data.count(b'\0') == 1, repr(data)
text = data[:-1].decode('utf-8')
assert text.count('=' * 61 + '\r\n') == 2, text
assert text.index('Start task: First\r\n') < text.index('Start task: Second\r\n'), text
PY
cmp -s "$A/h2/big.bin" "$A/m2/big.bin" || fail "the second task did not copy after the kill"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all log-after-a-crash checks passed"
