#!/usr/bin/env bash
# Runs the real program with -A where deletions are at stake: a run that would empty the mirror
# because the host folder is empty (an unplugged drive's mount point) is held with exit status
# 3 and a log line; with the guard switched off the same run moves the mirror's files, and the
# old copy of a replaced file, into the desktop trash ($XDG_DATA_HOME/Trash); a task that
# deletes permanently leaves the trash alone.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

A="$WORK/app"
mkdir -p "$A/host" "$A/mirror"
cp "$BIN" "$A/pelmora"
TRASH="$XDG_DATA_HOME/Trash"
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@"; }
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ./pelmora "$@" >/dev/null 2>&1)
    RC=$?
}
count() { find "$1" -type f 2>/dev/null | wc -l; }

for i in $(seq 20); do echo "file $i" >"$A/mirror/f$i.txt"; done

# The empty host: held, nothing deleted, the reason in the log.
cfg "Backup=$A/host,$A/mirror,InMirror=1"
run -ABackup
[ "$RC" = 3 ] || fail "a held run should exit with 3, got $RC"
[ "$(count "$A/mirror")" = 20 ] || fail "a held run deleted files: $(count "$A/mirror") left"
grep -q "Task Backup not run: it would delete 20 of 20 files in the mirror folder." "$A/pelmora.log" ||
    fail "the log should say why the run was held"
[ "$(count "$TRASH/files")" = 0 ] || fail "a held run put something into the trash"

# The guard switched off: the files go into the trash, and a replaced file's old copy too.
echo "new text" >"$A/host/f1.txt"
touch -d '2030-01-01' "$A/host/f1.txt"
cfg "Backup=$A/host,$A/mirror,InMirror=1,Guard=1"
run -ABackup
[ "$RC" = 0 ] || fail "the run with the guard off should exit with 0, got $RC"
[ "$(ls "$A/mirror")" = "f1.txt" ] || fail "the mirror should hold only f1.txt: $(ls "$A/mirror")"
[ "$(cat "$A/mirror/f1.txt")" = "new text" ] || fail "f1.txt should be the host's copy"
[ "$(count "$TRASH/files")" = 20 ] || fail "the trash should hold 20 files, holds $(count "$TRASH/files")"
[ "$(count "$TRASH/info")" = 20 ] || fail "each trashed file should have its .trashinfo"
grep -lx "Path=$A/mirror/f1.txt" "$TRASH"/info/*.trashinfo >/dev/null || fail "no .trashinfo gives the old f1.txt's path"
grep -rqx "file 1" "$TRASH/files" || fail "the old f1.txt should be in the trash"
grep -q "Moved to the trash: 20 files" "$A/pelmora.log" || fail "the result block should count the trashed files"

# Delete permanently: as before, and the trash is left alone.
echo "gone for good" >"$A/mirror/extra.txt"
cfg "Backup=$A/host,$A/mirror,InMirror=1,Deletions=1"
run -ABackup
[ "$RC" = 0 ] || fail "the permanent run should exit with 0, got $RC"
[ ! -e "$A/mirror/extra.txt" ] || fail "extra.txt should be deleted"
[ "$(count "$TRASH/files")" = 20 ] || fail "a permanent delete should not use the trash"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "all trash and guard checks passed"
