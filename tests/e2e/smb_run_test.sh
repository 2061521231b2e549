#!/usr/bin/env bash
# Runs the real program from the command line on tasks with a folder on an SMB share served
# by a throwaway Samba server on 127.0.0.1, and checks the share's folder on disk, the local
# folders and the log file. Skips (exit 0 with a message) only when smbd cannot start.
# $1: the pelmora binary.
set -u
BIN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
chmod 755 "$WORK" # the share's user must reach the share folders below it
. "$HERE/smb_server.sh"
trap 'smb_server_stop; rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM
FAILS=0

USER_NAME=pelmorae2e
PASSWORD="Pw-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
mkdir "$WORK/server"
if ! smb_server_start "$WORK/server" "$USER_NAME" "$PASSWORD"; then
    echo "SKIP: Samba server not available: $SMB_REASON"
    exit 0
fi
SHARE="//127.0.0.1:$SMB_PORT/data"

fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
check_file() { # path expected-content
    [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] || fail "$1 should hold '$2'"
}
check_absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }
check_mtime() { # path seconds
    [ "$(stat -c %Y "$1" 2>/dev/null)" = "$2" ] || fail "$1 should have the time $2"
}

# A fresh program folder with its binary, and empty share folders.
setup() {
    rm -rf "$WORK/app"
    find "$SMB_DATA" "$SMB_PUBLIC" -mindepth 1 -delete
    mkdir -p "$WORK/app/host/sub dir"
    cp "$BIN" "$WORK/app/pelmora"
    # The copy helper sits beside the program, as in the build folder.
    [ -x "$(dirname "$BIN")/pelmora-lane" ] && cp "$(dirname "$BIN")/pelmora-lane" "$WORK/app/"
    A="$WORK/app"
}
# A folder on the share's disk that the share's user owns, as the server would make it.
share_dir() {
    mkdir -p "$1"
    chown -R "$USER_NAME" "$SMB_DATA" "$SMB_PUBLIC"
}
# make_cfg.py writes the tasks; user names and passwords go into each record here.
cfg() { # NAME=HOST,MIRROR[,key=value...]|user|password ...
    local tasks=() item login
    for item in "$@"; do
        login=${item#*|}
        tasks+=("${item%%|*},User=${login%%|*},Password=${login#*|}")
    done
    python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "${tasks[@]}" || fail "make_cfg.py"
}
run() { # arguments...; sets RC, keeps stderr
    (cd "$A" && timeout 120 ./pelmora "$@" >"$A/stdout" 2>"$A/stderr")
    RC=$?
}
no_password_anywhere() {
    local f
    for f in "$A/pelmora.log" "$A/stdout" "$A/stderr"; do
        [ -f "$f" ] && grep -qF "$PASSWORD" "$f" && fail "the password shows in $(basename "$f")"
    done
    return 0
}

T=1686830400 # an even second, as packed DOS times keep it

# A local host mirrored onto the share with the right credentials: copies, a delete and the
# times, checked on the server's disk; odd names travel as written. Enough files for the run
# to hand them to its copy helpers, which log in with the task's credentials themselves.
setup
[ -x "$A/pelmora-lane" ] || fail "pelmora-lane should be beside $BIN"
echo alpha >"$A/host/a.txt"
echo "odd name" >"$A/host/sub dir/Grüße 50% #1.txt"
mkdir -p "$A/host/many"
for i in $(seq 1 40); do echo "file $i" >"$A/host/many/f$i.txt"; done
touch -d "@$T" "$A/host/a.txt" "$A/host/sub dir/Grüße 50% #1.txt" "$A/host/many/"*
share_dir "$SMB_DATA/backup"
echo stale >"$SMB_DATA/backup/stale.txt"
share_dir "$SMB_DATA/backup"
cfg "Backup=$A/host,$SHARE/backup,InMirror=1|$USER_NAME|$PASSWORD"
run -ABackup
[ "$RC" = 0 ] || fail "-ABackup exit status $RC"
check_file "$SMB_DATA/backup/a.txt" alpha
check_file "$SMB_DATA/backup/sub dir/Grüße 50% #1.txt" "odd name"
check_mtime "$SMB_DATA/backup/a.txt" "$T"
check_absent "$SMB_DATA/backup/stale.txt"
[ -z "$(find "$SMB_DATA" -name '.pelmora-partial-*')" ] || fail "a partial file was left on the share"
for i in $(seq 1 40); do check_file "$SMB_DATA/backup/many/f$i.txt" "file $i"; done
check_mtime "$SMB_DATA/backup/many/f40.txt" "$T"
grep -aq "Host folder -> Mirror folder: 42 files" "$A/pelmora.log" || fail "the log should count 42 copies"
grep -aq "Failed to synchronize: 0" "$A/pelmora.log" || fail "the log should report no failure"
grep -aq "Delete file(s) in mirror folder: 1" "$A/pelmora.log" || fail "the log should count one delete"
no_password_anywhere

# A wrong password: the unattended run is skipped without a box and the program still ends;
# a task after it with the right password (its mirror written as a URL) runs, and one after
# that with a wrong password is refused again, so the good connection was closed after its
# run and left nothing cached.
setup
echo one >"$A/host/one.txt"
share_dir "$SMB_DATA/m1"
share_dir "$SMB_DATA/m2"
share_dir "$SMB_DATA/m3"
cfg "Wrong=$A/host,$SHARE/m1,AutoMode=1|$USER_NAME|not-$PASSWORD" \
    "Right=$A/host,smb:$SHARE/m2,AutoMode=1|$USER_NAME|$PASSWORD" \
    "WrongAgain=$A/host,$SHARE/m3,AutoMode=1|$USER_NAME|wrong"
run /A
# Two tasks were refused: the highest status wins.
[ "$RC" = 3 ] || fail "/A exit status $RC"
check_absent "$SMB_DATA/m1/one.txt"
check_file "$SMB_DATA/m2/one.txt" one
check_absent "$SMB_DATA/m3/one.txt"
[ "$(grep -ac 'Task result:' "$A/pelmora.log")" = 1 ] || fail "only the task with the right password runs"
grep -aq $'Start task: Right\r\nTask finish!' "$A/pelmora.log" || fail "the task with the right password runs"
# The refused ones say why, in the order they were tried.
[ "$(grep -a -A1 'Start task: ' "$A/pelmora.log" | tr -d '\r' | grep -v '^--$' | paste -sd'|')" = \
    "Start task: Wrong|Invalid net path, or Username, Password error!|Start task: Right|Task finish!|Start task: WrongAgain|Invalid net path, or Username, Password error!" ] ||
    fail "the refused logins are logged"
no_password_anywhere

# A share that does not exist and a port nobody listens on: skipped, nothing hangs.
setup
echo x >"$A/host/x.txt"
closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cfg "NoShare=$A/host,//127.0.0.1:$SMB_PORT/nosuchshare/m,AutoMode=1|$USER_NAME|$PASSWORD" \
    "NoServer=$A/host,//127.0.0.1:$closed/data/m,AutoMode=1|$USER_NAME|$PASSWORD"
start=$(date +%s)
run /A
[ "$RC" = 3 ] || fail "/A on missing shares: exit status $RC"
[ $(($(date +%s) - start)) -lt 60 ] || fail "missing shares took a minute"
! grep -aq "Task result:" "$A/pelmora.log" || fail "no task may run"
[ "$(grep -ac 'Invalid net path, or Username, Password error!' "$A/pelmora.log")" = 2 ] ||
    fail "both refusals are logged"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS failure(s)"
    exit 1
fi
echo "all SMB end-to-end checks passed"
