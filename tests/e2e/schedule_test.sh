#!/usr/bin/env bash
# Runs the real program with a schedule entry that falls due a few seconds after its start:
# the task runs unattended, its block reaches the log at its end, and a SIGTERM afterwards
# ends the program in order, with the log closed and the configuration file as it was. SIGINT ends it the same way.
# $1: the pelmora binary.
set -u
BIN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
PID=""
trap '[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

# A program folder with one task "job" (host -> mirror) and one schedule entry for it, due
# `delay` seconds from now, every hour, `repeat` runs.
setup() { # delay repeat
    rm -rf "$WORK/app"
    A="$WORK/app"
    mkdir -p "$A/host/sub" "$A/mirror"
    cp "$BIN" "$A/pelmora"
    echo alpha >"$A/host/a.txt"
    echo deep >"$A/host/sub/b.txt"
    python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "job=$A/host,$A/mirror"
    python3 - "$A/Pelmora.cfg" "$1" "$2" <<'PY'
import datetime, struct, sys
path, delay, repeat = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
data = open(path, 'rb').read()
assert struct.unpack('<i', data[-4:])[0] == 0, 'the file ends with an empty schedule section'

def short(text):
    raw = text.encode('utf-8')[:15]
    return bytes([len(raw)]) + raw + bytes(15 - len(raw))

# Local date and time as days since 1899-12-30, the program's own clock.
now = datetime.datetime.now()
days = (now - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
entry = (short('e2e') + short('job') + bytes([0, 1]) + struct.pack('<d', 1 / 24)
         + struct.pack('<h', repeat) + struct.pack('<d', days + delay / 86400))
assert len(entry) == 52
open(path, 'wb').write(data[:-4] + struct.pack('<i', 1) + entry)
PY
    cp "$A/Pelmora.cfg" "$WORK/cfg.before"
}

start() { # arguments...
    (cd "$A" && exec ./pelmora "$@" >"$WORK/out.txt" 2>&1) &
    PID=$!
}

# Sends the signal and waits for the end; sets RC (124 when it did not end in 15 s).
stop() { # signal
    kill -0 "$PID" 2>/dev/null || fail "the program ended by itself before the $1"
    kill -"$1" "$PID"
    for _ in $(seq 150); do
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$PID" 2>/dev/null; then
        kill -KILL "$PID"
        wait "$PID" 2>/dev/null
        RC=124
    else
        wait "$PID"
        RC=$?
    fi
    PID=""
}

# The scheduled run: due 3 s after the start, in the notification area ("/H").
setup 3 2
start /H
for _ in $(seq 200); do
    [ -f "$A/mirror/sub/b.txt" ] && break
    sleep 0.1
done
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the scheduled run did not copy a.txt"
[ "$(cat "$A/mirror/sub/b.txt" 2>/dev/null)" = deep ] || fail "the scheduled run did not copy sub/b.txt"
# The run's block reaches the log file when the run ends, while the program goes on; the NUL
# that closes the program's text comes only at its end.
for _ in $(seq 100); do
    grep -aq '^=\{61\}' "$A/pelmora.log" 2>/dev/null && break
    sleep 0.1
done
grep -aq $'Start task: job\r\nTask finish!' "$A/pelmora.log" 2>/dev/null ||
    fail "the run's block is not in the log while the program runs"
[ "$(tr -cd '\0' <"$A/pelmora.log" 2>/dev/null | wc -c)" = 0 ] || fail "the NUL was written before the program ended"
stop TERM
[ "$RC" = 0 ] || fail "SIGTERM: exit status $RC (output: $(cat "$WORK/out.txt"))"
cmp -s "$A/Pelmora.cfg" "$WORK/cfg.before" || fail "SIGTERM: the configuration file was changed"
python3 - "$A/pelmora.log" <<'PY' || fail "SIGTERM: the log does not hold the run's block"
import re, sys
data = open(sys.argv[1], 'rb').read()
assert data.endswith(b'\0'), 'the log ends with one NUL'
block = data[:-1].decode('utf-8')
stamp = r'\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d'
expected = (stamp + '\r\nStart task: job\r\nTask finish!\r\n\r\nTask result:\r\n'
            'Host folder -> Mirror folder: 2 files\r\n'
            'Host folder <- Mirror folder: 0 files\r\n'
            'Delete file\\(s\\) in host folder: 0\r\n'
            'Delete file\\(s\\) in mirror folder: 0\r\n'
            'Failed to synchronize: 0\r\n' + stamp + '\r\n' + '=' * 61 + '\r\n')
assert re.fullmatch(expected, block), repr(block)
PY

# SIGINT before anything is due: the program ends at once, writes no log (no run) and
# leaves the configuration file alone.
setup 600 1
start
sleep 1.5
stop INT
[ "$RC" = 0 ] || fail "SIGINT: exit status $RC (output: $(cat "$WORK/out.txt"))"
cmp -s "$A/Pelmora.cfg" "$WORK/cfg.before" || fail "SIGINT: the configuration file was changed"
[ ! -e "$A/pelmora.log" ] || fail "SIGINT: a log was written although nothing ran"
[ -z "$(ls -A "$A/mirror")" ] || fail "SIGINT: the entry ran before it was due"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS failure(s)"
    exit 1
fi
echo "schedule end-to-end: all passed"
