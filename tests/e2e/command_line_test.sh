#!/usr/bin/env bash
# Runs the real program from the command line on folders and a configuration file written
# here, and checks the folders, the exit status and the bytes of the log file.
# $1: the pelmora binary.
set -u
BIN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
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
check_log_block() { # log-file block-index task-name copied-to-mirror
    python3 - "$@" <<'PY' || fail "log block $2 of $1"
import re, sys
path, index, name, copied = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
data = open(path, 'rb').read()
blocks = data.split(b'\0')
assert blocks[-1] == b'', 'the log must end with a NUL'
block = blocks[index].decode('utf-8')
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

# /A: the auto-mode tasks only, in list order; a task without folders is skipped silently.
setup
cfg "Manual=$A/host,$A/mirror" "Auto=$A/other/host,$A/other/mirror,AutoMode=1" "Broken=,,AutoMode=1"
run /A
[ "$RC" = 0 ] || fail "/A exit status $RC"
check_absent "$A/mirror/a.txt"
check_file "$A/other/mirror/o.txt" other
check_log_block "$A/pelmora.log" 0 Auto 1

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

# A missing host with "delete what is only in the mirror" must not empty the mirror.
setup
cfg "Backup=$A/gone,$A/mirror,InMirror=1"
echo precious >"$A/mirror/p.txt"
run -ABackup
[ "$RC" = 0 ] || fail "missing host: exit status $RC"
check_file "$A/mirror/p.txt" precious
check_absent "$A/pelmora.log"

# An unknown switch, or a name that matches no task, ends at once and writes no log.
for arg in -Xfoo -ANobody; do
    setup
    cfg "Backup=$A/host,$A/mirror"
    start=$(date +%s)
    run "$arg"
    [ "$RC" = 0 ] || fail "$arg exit status $RC"
    [ $(($(date +%s) - start)) -lt 20 ] || fail "$arg did not exit at once"
    check_absent "$A/pelmora.log"
    check_absent "$A/mirror/a.txt"
done

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all command-line checks passed"
