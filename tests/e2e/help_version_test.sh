#!/usr/bin/env bash
# --help, -h and --version on the real binary, laid out installed (<prefix>/bin) and portable:
# they print, exit 0, need no display (the xcb platform is forced with no DISPLAY, so creating
# the application object would abort), and leave the home and program folders as they were.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

mkdir -p "$WORK/usr/bin" "$WORK/portable" "$WORK/home"
cp "$BIN" "$WORK/usr/bin/pelmora"
cp "$BIN" "$WORK/portable/pelmora"

ask() { # program language arguments...; sets OUT and RC
    local program="$1" language="$2"
    shift 2
    OUT="$(env -i PATH=/usr/bin:/bin HOME="$WORK/home" LANG="$language" QT_QPA_PLATFORM=xcb \
        timeout 20 "$program" "$@" 2>"$WORK/stderr")"
    RC=$?
    [ -s "$WORK/stderr" ] && fail "$program $*: standard error: $(cat "$WORK/stderr")"
}
expect_lines() { # text line...
    local text="$1"
    shift
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$text" || fail "missing line '$line'"
    done
}

for program in "$WORK/usr/bin/pelmora" "$WORK/portable/pelmora"; do
    ask "$program" C.UTF-8 --version
    [ "$RC" -eq 0 ] || fail "$program --version: exit $RC"
    [[ "$OUT" =~ ^pelmora\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$program --version printed '$OUT'"

    for switch in --help -h; do
        ask "$program" C.UTF-8 "$switch"
        [ "$RC" -eq 0 ] || fail "$program $switch: exit $RC"
        expect_lines "$OUT" "Usage: pelmora [SWITCH]" \
            "  /A          run every task with Auto Mode set, unattended, then exit" \
            "  -A<task>    run the named task unattended, then exit" \
            "  -C<task>    as -A, with the mirror folder taken as empty: every file is copied" \
            "  /H          start in the notification area" \
            "  3           a task was refused and did not run"
    done
done

# Where the files of each copy are, as the help states them.
ask "$WORK/usr/bin/pelmora" C.UTF-8 --help
expect_lines "$OUT" "  configuration file: $WORK/home/.config/pelmora/Pelmora.cfg" \
    "  log file: $WORK/home/.local/state/pelmora/pelmora.log"
ask "$WORK/portable/pelmora" C.UTF-8 --help
expect_lines "$OUT" "  configuration file: $WORK/portable/Pelmora.cfg" "  log file: $WORK/portable/pelmora.log"

# In the user's language.
ask "$WORK/usr/bin/pelmora" zh_TW.UTF-8 -h
[ "$RC" -eq 0 ] || fail "-h in Chinese: exit $RC"
expect_lines "$OUT" "用法: pelmora [開關]"

# Nothing was written anywhere.
[ -z "$(ls -A "$WORK/home")" ] || fail "the home folder gained: $(ls -A "$WORK/home")"
[ "$(ls -A "$WORK/usr/bin")" = pelmora ] || fail "beside the installed program: $(ls -A "$WORK/usr/bin")"
[ "$(ls -A "$WORK/portable")" = pelmora ] || fail "beside the portable program: $(ls -A "$WORK/portable")"

# An argument that only looks like one of them is still a bad command line (which starts the
# program, here on the offscreen platform).
env -i PATH=/usr/bin:/bin HOME="$WORK/home" LANG=C.UTF-8 timeout 20 "$WORK/usr/bin/pelmora" --helpme >/dev/null 2>&1
RC=$?
[ "$RC" -eq 2 ] || fail "--helpme: exit $RC, expected 2"

[ "$FAILS" -eq 0 ] || exit 1
echo "help and version: all checks passed"
