#!/usr/bin/env bash
# Runs the real program from the command line on folders and a configuration file written
# here, and checks the folders, the exit status and the bytes of the log file.
# $1: the pelmora binary.
set -u
BIN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
# A runtime folder of the right mode keeps Qt's own start-up warning about a missing one off
# standard error, so the program's own line can be checked alone.
RUNTIME="$WORK/runtime"
mkdir -m 0700 "$RUNTIME"
FAILS=0

fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
check_file() { # path expected-content
    [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] || fail "$1 should hold '$2'"
}
check_absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }

# A fresh program folder: the binary, its configuration, host and mirror trees.
setup() {
    rm -rf "$WORK/app"
    mkdir -p "$WORK/app/host/sub" "$WORK/app/mirror" "$WORK/app/other/host" "$WORK/app/other/mirror"
    cp "$BIN" "$WORK/app/pelmora"
    A="$WORK/app"
    echo alpha >"$A/host/a.txt"
    echo deep >"$A/host/sub/b.txt"
    echo other >"$A/other/host/o.txt"
}
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@"; }
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ./pelmora "$@" >/dev/null 2>&1)
    RC=$?
}

# The bytes a run's block must have: stamp, start line, end line, result block, separator.
# The text of program run `index` (counted by the NULs) must consist of whole blocks; the
# one checked is its block `nth` (default 0).
check_log_block() { # log-file program-run-index task-name copied-to-mirror [nth]
    python3 - "$@" <<'PY' || fail "log block $2 of $1"
import re, sys
path, index, name, copied = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
nth = int(sys.argv[5]) if len(sys.argv) > 5 else 0
data = open(path, 'rb').read()
runs = data.split(b'\0')
assert runs[-1] == b'', 'the log must end with a NUL'
text = runs[index].decode('utf-8')
blocks = re.findall(r'.*?={61}\r\n', text, re.S)
assert ''.join(blocks) == text, 'whole blocks only: ' + repr(text)
block = blocks[nth]
stamp = r'\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d'
expected = (stamp + '\r\nStart task: ' + re.escape(name) + '\r\nTask finish!\r\n\r\nTask result:\r\n'
            'Host folder -> Mirror folder: ' + copied + ' files\r\n'
            'Host folder <- Mirror folder: 0 files\r\n'
            'Delete file\\(s\\) in host folder: 0\r\n'
            'Delete file\\(s\\) in mirror folder: 0\r\n'
            'Failed to synchronize: 0\r\n' + stamp + '\r\n' + '=' * 61 + '\r\n')
assert re.fullmatch(expected, block), repr(block)
PY
}

# The block of a refused task: stamp, start line, the reason, separator.
check_refusal_block() { # log-file program-run-index nth task-name reason
    python3 - "$@" <<'PY' || fail "refusal block $3 of run $2 in $1"
import re, sys
path, index, nth, name, reason = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
runs = open(path, 'rb').read().split(b'\0')
assert runs[-1] == b'', 'the log must end with a NUL'
text = runs[index].decode('utf-8')
blocks = re.findall(r'.*?={61}\r\n', text, re.S)
assert ''.join(blocks) == text, 'whole blocks only: ' + repr(text)
expected = (r'\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\r\nStart task: ' + re.escape(name) + '\r\n'
            + re.escape(reason) + '\r\n' + '=' * 61 + '\r\n')
assert re.fullmatch(expected, blocks[nth]), repr(blocks[nth])
PY
}

# -A<name>: only the named task runs; a second program run appends after the first NUL.
setup
cfg "Backup=$A/host,$A/mirror" "Other=$A/other/host,$A/other/mirror"
run -ABackup
[ "$RC" = 0 ] || fail "-A exit status $RC"
check_file "$A/mirror/a.txt" alpha
check_file "$A/mirror/sub/b.txt" deep
check_absent "$A/other/mirror/o.txt"
check_log_block "$A/pelmora.log" 0 Backup 2
first_log="$WORK/first.log"
cp "$A/pelmora.log" "$first_log"
echo new >"$A/host/c.txt"
run -ABackup
[ "$RC" = 0 ] || fail "second -A exit status $RC"
check_file "$A/mirror/c.txt" new
cmp -s -n "$(stat -c %s "$first_log")" "$first_log" "$A/pelmora.log" || fail "the second run must keep the first log in front"
check_log_block "$A/pelmora.log" 1 Backup 1
[ "$(tr -cd '\0' <"$A/pelmora.log" | wc -c)" = 2 ] || fail "two program runs leave two NULs"

# Lower-case switch and a differently cased name; no display at all.
setup
cfg "Backup=$A/host,$A/mirror"
(cd "$A" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 ./pelmora -abACKUP >/dev/null 2>&1)
RC=$?
[ "$RC" = 0 ] || fail "-a without a display: exit status $RC"
check_file "$A/mirror/a.txt" alpha
check_log_block "$A/pelmora.log" 0 Backup 2

# /A: the auto-mode tasks only, in list order; a task without folders is skipped, and the
# log says why (the exit status tells that a task was refused).
setup
cfg "Manual=$A/host,$A/mirror" "Auto=$A/other/host,$A/other/mirror,AutoMode=1" "Broken=,,AutoMode=1"
run /A
[ "$RC" = 3 ] || fail "/A with a refused task: exit status $RC"
check_absent "$A/mirror/a.txt"
check_file "$A/other/mirror/o.txt" other
check_log_block "$A/pelmora.log" 0 Auto 1
check_refusal_block "$A/pelmora.log" 0 1 Broken "Invalid Host folder or Mirror folder."

# -C<name>: the mirror is not listed, so every host file is copied over its namesake and
# files only in the mirror stay, even when the task would delete them.
setup
cfg "Backup=$A/host,$A/mirror,InMirror=1"
echo "newer in mirror" >"$A/mirror/a.txt"
touch -d '+1 hour' "$A/mirror/a.txt"
echo keep >"$A/mirror/only.txt"
run -ABackup
check_file "$A/mirror/a.txt" "newer in mirror"
check_absent "$A/mirror/only.txt"
echo keep >"$A/mirror/only.txt"
run -CBackup
[ "$RC" = 0 ] || fail "-C exit status $RC"
check_file "$A/mirror/a.txt" alpha
check_file "$A/mirror/only.txt" keep

# A missing host with "delete what is only in the mirror" must not empty the mirror; the
# refusal is logged with the folder that was not found.
setup
cfg "Backup=$A/gone,$A/mirror,InMirror=1"
echo precious >"$A/mirror/p.txt"
run -ABackup
[ "$RC" = 3 ] || fail "missing host: exit status $RC"
check_file "$A/mirror/p.txt" precious
check_refusal_block "$A/pelmora.log" 0 0 Backup "Host folder not found, the run would delete the mirror's files: $A/gone"

# An unknown switch, or a name that matches no task, ends at once, says so in one line on
# standard error and writes no log.
for arg in -Xfoo -ANobody; do
    setup
    cfg "Backup=$A/host,$A/mirror"
    start=$(date +%s)
    (cd "$A" && XDG_RUNTIME_DIR="$RUNTIME" timeout 60 ./pelmora "$arg" >"$WORK/out" 2>"$WORK/err")
    RC=$?
    [ "$RC" = 2 ] || fail "$arg exit status $RC"
    [ $(($(date +%s) - start)) -lt 20 ] || fail "$arg did not exit at once"
    case "$arg" in
    -X*) expected="Unknown command-line argument: -Xfoo" ;;
    *) expected="No task with this name: Nobody" ;;
    esac
    [ "$(cat "$WORK/err")" = "$expected" ] || fail "$arg: standard error '$(cat "$WORK/err")'"
    [ ! -s "$WORK/out" ] || fail "$arg wrote to standard output"
    check_absent "$A/pelmora.log"
    check_absent "$A/mirror/a.txt"
done

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all command-line checks passed"
