# Shared start of the end-to-end scripts, sourced with the pelmora binary as its argument:
#   . "$(dirname "$0")/common.sh" "$1"
# Sets BIN, HERE (the scripts' folder) and WORK (a temporary folder removed on exit); a program
# started in the background with its pid in PID, and ON_EXIT (a command line), are dealt with
# on exit too. fail counts a failed check in FAILS.
set -u
BIN="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK="$(mktemp -d)"
PID=""
ON_EXIT=""
trap '[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null; eval "$ON_EXIT"; rm -rf "$WORK"' EXIT
# What the runs move into the desktop trash stays in the work folder.
export XDG_DATA_HOME="$WORK/data"
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
