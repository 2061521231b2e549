#!/usr/bin/env bash
# The SMB client library is loaded only when a task uses a share: a run of local folders does
# not load it, and when it cannot be loaded, tasks on shares are refused with the loader's
# reason in the log while local tasks run as ever. Needs no Samba server.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"

setup() {
    rm -rf "$WORK/app" "$WORK/ld"
    A="$WORK/app"
    mkdir -p "$A/host" "$A/mirror" "$WORK/ld"
    cp "$BIN" "$A/pelmora"
    [ -x "$(dirname "$BIN")/pelmora-lane" ] && cp "$(dirname "$BIN")/pelmora-lane" "$A/"
    echo alpha >"$A/host/a.txt"
}
# make_cfg.py writes the tasks; a user name and password go into the records given with "|user|password".
cfg() { # NAME=HOST,MIRROR[,key=value...][|user|password] ...
    local tasks=() item login
    for item in "$@"; do
        login=${item#*|}
        [ "$login" = "$item" ] && tasks+=("$item") || tasks+=("${item%%|*},User=${login%%|*},Password=${login#*|}")
    done
    python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "${tasks[@]}" || fail "make_cfg.py"
}
run() { # arguments...; sets RC. What the dynamic loader opens, in every process, goes to $WORK/ld.
    (cd "$A" && LD_DEBUG=files LD_DEBUG_OUTPUT="$WORK/ld/trace" timeout 60 ./pelmora "$@" >"$WORK/out" 2>"$WORK/err")
    RC=$?
}
loaded_smbclient() { cat "$WORK"/ld/trace* 2>/dev/null | grep -q 'libsmbclient'; }
# No server listens on port 1: a login there fails at once, after the library was loaded.
NOWHERE="//127.0.0.1:1/data"

# --- A local run loads no SMB library; the run itself copies.
setup
cfg "Local=$A/host,$A/mirror"
run -ALocal
[ "$RC" = 0 ] || fail "the local run: exit status $RC ($(head -c 300 "$WORK/err"))"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the local run did not copy"
ls "$WORK"/ld/trace* >/dev/null 2>&1 || fail "the loader wrote no trace: the check below would see nothing"
loaded_smbclient && fail "a local run loaded libsmbclient"

# --- A task on a share loads it (so the check above can see it).
setup
cfg "Share=$A/host,$NOWHERE/m|someone|secret"
run -AShare
loaded_smbclient || fail "a run with a share did not load libsmbclient"
grep -aq 'Invalid net path, or Username, Password error!' "$A/pelmora.log" || fail "the failed login is not logged"

# --- Without the library: both kinds of share task are refused with the reason, the local one runs.
setup
cfg "Login=$A/host,$NOWHERE/m,AutoMode=1|someone|secret" "Guest=$NOWHERE/h,$A/mirror,AutoMode=1" \
    "Local=$A/host,$A/mirror,AutoMode=1"
(cd "$A" && PELMORA_SMBCLIENT_LIBRARY=libpelmora-absent.so.0 timeout 60 ./pelmora /A >"$WORK/out" 2>"$WORK/err")
RC=$?
[ "$RC" = 3 ] || fail "without the library: exit status $RC, expected 3 (refused) ($(head -c 300 "$WORK/err"))"
[ "$(cat "$A/mirror/a.txt" 2>/dev/null)" = alpha ] || fail "the local task did not run without the library"
python3 - "$A/pelmora.log" <<'PY' || fail "the refusals do not give the loader's reason"
import re, sys
text = open(sys.argv[1], 'rb').read().decode('utf-8')
reason = (r'The SMB client library libpelmora-absent\.so\.0 could not be loaded: '
          r'libpelmora-absent\.so\.0: cannot open shared object file[^\r\n]*')
for name in ('Login', 'Guest'):
    block = r'Start task: ' + name + r'\r\n' + reason + r'\r\n' + '=' * 61 + r'\r\n'
    assert re.search(block, text), (name, text)
PY

[ "$FAILS" = 0 ] || exit 1
echo "PASS"
