#!/usr/bin/env bash
# Checks a Pelmora installed from its Debian package (CI runs it between `apt-get install` and
# `apt-get remove`): the program on PATH answers --version, runs one unattended task from a
# configuration in a fresh home's ~/.config/pelmora/ with no display, logs it in
# ~/.local/state/pelmora/, writes nothing into /usr; the desktop entry and the AppStream
# metadata pass their validators.
# Usage: installed_test.sh VERSION
set -u
VERSION="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

[ "$(command -v pelmora)" = /usr/bin/pelmora ] || fail "pelmora on PATH is '$(command -v pelmora)'"
[ -x /usr/libexec/pelmora/pelmora-lane ] || fail "no lane program in /usr/libexec/pelmora"
[ "$(pelmora --version)" = "pelmora $VERSION" ] || fail "pelmora --version printed '$(pelmora --version)'"
missing="$(ldd /usr/bin/pelmora /usr/libexec/pelmora/pelmora-lane | grep 'not found')"
[ -z "$missing" ] || fail "libraries not found: $missing"

H="$WORK/home"
mkdir -p "$H" "$WORK/host/sub" "$WORK/mirror"
echo alpha >"$WORK/host/a.txt"
echo deep >"$WORK/host/sub/b.txt"
mkdir -p "$H/.config/pelmora"
python3 "$HERE/../e2e/make_cfg.py" "$H/.config/pelmora/Pelmora.cfg" "Nightly=$WORK/host,$WORK/mirror" ||
    fail "make_cfg.py"
usr_before="$(find /usr/bin /usr/libexec/pelmora -newer "$H/.config/pelmora/Pelmora.cfg" 2>/dev/null)"
(cd "$WORK" && env -i PATH=/usr/bin:/bin HOME="$H" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
    timeout 60 pelmora -ANightly >"$WORK/out" 2>&1)
rc=$?
[ "$rc" -eq 0 ] || fail "pelmora -ANightly: exit status $rc; $(cat "$WORK/out")"
[ "$(cat "$WORK/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "a.txt not mirrored"
[ "$(cat "$WORK/mirror/sub/b.txt" 2>/dev/null)" = deep ] || fail "sub/b.txt not mirrored"
LOG="$H/.local/state/pelmora/pelmora.log"
grep -qa "Start task: Nightly" "$LOG" 2>/dev/null || fail "no run in $LOG"
grep -qa "Host folder -> Mirror folder: 2 files" "$LOG" 2>/dev/null || fail "the log's result block"
[ "$(stat -c %a "$H/.local/state/pelmora")" = 700 ] || fail "the state folder is not mode 0700"
[ ! -e /usr/bin/Pelmora.cfg ] && [ ! -e /usr/bin/pelmora.log ] || fail "files were written into /usr/bin"
[ "$(find /usr/bin /usr/libexec/pelmora -newer "$H/.config/pelmora/Pelmora.cfg" 2>/dev/null)" = "$usr_before" ] ||
    fail "the run changed /usr"

desktop-file-validate /usr/share/applications/pelmora.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/io.github.pelmora.Pelmora.metainfo.xml || fail "appstreamcli validate"
[ -f /usr/share/icons/hicolor/scalable/apps/pelmora.svg ] || fail "no scalable icon"
[ -f /usr/share/man/man1/pelmora.1.gz ] || fail "no manual page"

[ "$FAILS" -eq 0 ] || exit 1
echo "installed package: all checks passed"
