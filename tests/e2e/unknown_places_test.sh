#!/usr/bin/env bash
# Runs the real program (-A) on trees where something cannot be known: a host root that lies
# inside the mirror or a mirror inside the host under another spelling, a dangling link and a
# FIFO in the host opposite real mirror files, and (as root) a host folder that its user can
# read but not search. Checks the files left on both sides and the result block of the log.
# $1: the pelmora binary.
. "$(dirname "$0")/common.sh" "$1"
chmod 755 "$WORK" # the program runs as nobody in one part
check_file() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] || fail "$1 should hold '$2'"; }
check_absent() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "$1 should not exist"; }
logged() { tr -d '\r' <"$A/pelmora.log" | tr '\0' '\n' | grep -qxF -- "$1" || fail "log lacks '$1'"; }

setup() {
    rm -rf "$WORK/app"
    mkdir -p "$WORK/app"
    cp "$BIN" "$WORK/app/pelmora"
    A="$WORK/app"
}
cfg() { python3 "$HERE/make_cfg.py" "$A/Pelmora.cfg" "$@"; }
run() { # arguments...; sets RC
    (cd "$A" && timeout 60 ${AS_USER:-} ./pelmora "$@" >/dev/null 2>&1)
    RC=$?
}
# A mirroring task: copy what only the host has, delete what only the mirror has.
MIRRORING="InMirror=1,SizeDiffer=2,NewInMirror=2"

# A host root inside the mirror, spelled through a link, "./", "//" and "x/..": two runs
# leave the host's files where they are and copy them once to the mirror's top.
for spelling in link dot double up; do
    setup
    mkdir -p "$A/m/h/sub" "$A/m/x"
    echo photo >"$A/m/h/photo.jpg"
    echo notes >"$A/m/h/sub/notes.txt"
    echo stale >"$A/m/stale.txt"
    case $spelling in
    link) ln -s "$A/m/h" "$A/via-link" && HOSTDIR="$A/via-link" ;;
    dot) HOSTDIR="$A/m/./h" ;;
    double) HOSTDIR="$A/m//h" ;;
    up) HOSTDIR="$A/m/x/../h" ;;
    esac
    cfg "Nest=$HOSTDIR,$A/m,$MIRRORING"
    run -ANest
    run -ANest
    [ "$RC" = 0 ] || fail "host inside the mirror ($spelling): exit status $RC"
    check_file "$A/m/h/photo.jpg" photo
    check_file "$A/m/h/sub/notes.txt" notes
    check_file "$A/m/photo.jpg" photo
    check_absent "$A/m/stale.txt"
    logged "No file need to be synchronized!"
done

# The mirror inside the host, spelled "m//", "./m" and through a link: never copied into itself.
for spelling in trailing dot link; do
    setup
    mkdir -p "$A/h/m"
    echo keep >"$A/h/keep.txt"
    case $spelling in
    trailing) MIRRORDIR="$A/h/m//" ;;
    dot) MIRRORDIR="$A/h/./m" ;;
    link) ln -s "$A/h/m" "$A/to-m" && MIRRORDIR="$A/to-m" ;;
    esac
    cfg "Nest=$A/h,$MIRRORDIR,$MIRRORING,EmptyDir=2"
    run -ANest
    run -ANest
    check_file "$A/h/m/keep.txt" keep
    check_absent "$A/h/m/m"
    [ "$(find "$A/h" | wc -l)" = 4 ] || fail "mirror inside the host ($spelling): $(find "$A/h")"
done

# A dangling link (an unplugged drive) and a FIFO in the host keep the mirror's real files of
# those names; both are logged and counted.
setup
mkdir -p "$A/host" "$A/mirror/photos/2024"
ln -s "$WORK/unplugged" "$A/host/photos"
echo beach >"$A/mirror/photos/2024/beach.jpg"
mkfifo "$A/host/notes.txt"
echo "mirror notes" >"$A/mirror/notes.txt"
echo new >"$A/host/new.txt"
cfg "Backup=$A/host,$A/mirror,$MIRRORING"
run -ABackup
[ "$RC" = 1 ] || fail "entries that kept their namesakes are failures: exit status $RC"
check_file "$A/mirror/photos/2024/beach.jpg" beach
check_file "$A/mirror/notes.txt" "mirror notes"
check_file "$A/mirror/new.txt" new
logged "Not a file or folder, its namesake is left alone, path: $A/host/photos"
logged "Not a file or folder, its namesake is left alone, path: $A/host/notes.txt"
logged "Failed to synchronize: 2"

# A host folder of mode 0644: its user reads the names but cannot look at the files. Root
# ignores permission bits, so this part runs as nobody.
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
    setup
    mkdir -p "$A/host/locked" "$A/mirror/locked"
    echo a >"$A/host/locked/a.txt"
    echo a >"$A/mirror/locked/a.txt"
    echo "mirror only" >"$A/mirror/locked/c.txt"
    echo top >"$A/host/top.txt"
    cfg "Backup=$A/host,$A/mirror,$MIRRORING"
    chown -R nobody "$A"
    chmod 0644 "$A/host/locked"
    AS_USER="runuser -u nobody --" run -ABackup
    [ "$RC" = 1 ] || fail "a folder that was not read is a failure: exit status $RC"
    check_file "$A/mirror/locked/a.txt" a
    check_file "$A/mirror/locked/c.txt" "mirror only"
    check_file "$A/mirror/top.txt" top
    logged "Failed to read folder, path: $A/host/locked"
    logged "Failed to synchronize: 1"
    chmod 0755 "$A/host/locked"
else
    echo "SKIP: the unsearchable-folder case needs root (to run the program as nobody)"
fi

[ "$FAILS" = 0 ] && echo "all unknown-place checks passed"
exit $((FAILS > 0))
