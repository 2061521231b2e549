#!/usr/bin/env bash
# The real program laid out as an installed copy (<prefix>/bin/pelmora and the lane in
# <prefix>/libexec/pelmora/) in a home without ~/.config/pelmora: a command-line run reads its
# configuration from the XDG configuration folder, writes its log to the XDG state folder
# (made with mode 0700), and writes nothing beside the executable.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

P="$WORK/prefix"
mkdir -p "$P/bin" "$P/libexec/pelmora" "$WORK/data/host/sub" "$WORK/data/mirror"
cp "$BIN" "$P/bin/pelmora"
cp "$(dirname "$BIN")/pelmora-lane" "$P/libexec/pelmora/"
echo alpha >"$WORK/data/host/a.txt"
echo deep >"$WORK/data/host/sub/b.txt"
before="$(cd "$P" && find . | sort)"

mode_of() { stat -c %a "$1" 2>/dev/null; }
run() { # home extra-environment... -- arguments...; sets RC
    local home="$1"
    shift
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    (cd "$WORK" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
        "${envs[@]}" timeout 60 "$P/bin/pelmora" "$@" >/dev/null 2>&1)
    RC=$?
}

# Defaults: ~/.config/pelmora and ~/.local/state/pelmora.
H="$WORK/home"
mkdir -p "$H"
mkdir -p "$H/.config/pelmora"
python3 "$HERE/make_cfg.py" "$H/.config/pelmora/Pelmora.cfg" "Backup=$WORK/data/host,$WORK/data/mirror" ||
    fail "make_cfg.py"
run "$H" -- -ABackup
[ "$RC" -eq 0 ] || fail "the run: exit status $RC"
[ "$(cat "$WORK/data/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "a.txt not mirrored"
[ "$(cat "$WORK/data/mirror/sub/b.txt" 2>/dev/null)" = deep ] || fail "sub/b.txt not mirrored"
LOG="$H/.local/state/pelmora/pelmora.log"
grep -qa "Start task: Backup" "$LOG" 2>/dev/null || fail "no log block in $LOG"
grep -qa "Host folder -> Mirror folder: 2 files" "$LOG" 2>/dev/null || fail "the log's result block"
[ "$(mode_of "$H/.local/state")" = 700 ] || fail "~/.local/state has mode $(mode_of "$H/.local/state")"
[ "$(mode_of "$H/.local/state/pelmora")" = 700 ] || fail "the state folder has mode $(mode_of "$H/.local/state/pelmora")"
[ -d "$H/.config/pelmora/.pelmora-locks" ] || fail "the run lock is not beside the configuration"

# The XDG variables move both files.
H2="$WORK/home2"
mkdir -p "$H2"
rm -rf "$WORK/data/mirror" && mkdir "$WORK/data/mirror"
mkdir -p "$WORK/xdg/config/pelmora"
python3 "$HERE/make_cfg.py" "$WORK/xdg/config/pelmora/Pelmora.cfg" "Backup=$WORK/data/host,$WORK/data/mirror" ||
    fail "make_cfg.py"
run "$H2" XDG_CONFIG_HOME="$WORK/xdg/config" XDG_STATE_HOME="$WORK/xdg/state" -- -ABackup
[ "$RC" -eq 0 ] || fail "the run with XDG variables: exit status $RC"
[ "$(cat "$WORK/data/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "a.txt not mirrored with XDG variables"
grep -qa "Start task: Backup" "$WORK/xdg/state/pelmora/pelmora.log" 2>/dev/null || fail "no log in \$XDG_STATE_HOME"
[ -z "$(ls -A "$H2")" ] || fail "the home folder gained $(ls -A "$H2") though the variables were set"

# A task name that the configuration does not hold: exit 2, and still nothing new anywhere
# but the log.
run "$H" -- -ANoSuchTask
[ "$RC" -eq 2 ] || fail "unknown task: exit status $RC"

[ "$(cd "$P" && find . | sort)" = "$before" ] || fail "the prefix changed: $(cd "$P" && find . | sort)"
[ -z "$(ls -A "$WORK" | grep -vxE 'prefix|data|home|home2|xdg')" ] ||
    fail "something was written in the working folder: $(ls -A "$WORK")"

[ "$FAILS" -eq 0 ] || exit 1
echo "installed copy: all checks passed"
