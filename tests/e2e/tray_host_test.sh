#!/usr/bin/env bash
# On a real X server (Xvfb) with a window manager (openbox, when installed) and a
# notification-area host (trayer): "/H" maps no window and puts one icon into the host; a
# schedule entry then runs its task while the program stays in the notification area; a right
# click opens the icon's menu; a click on the icon maps the main window and removes the icon;
# minimised again, a second start of the program brings it back and ends with status 0.
# Skipped, with a message, where Xvfb, trayer or the X tools are missing.
# $1: the pelmora binary.
set -u
BIN="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"

for tool in xvfb-run trayer xwininfo xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 0
    fi
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cp "$BIN" "$WORK/pelmora"
HERE="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$WORK/host" "$WORK/mirror"
echo alpha >"$WORK/host/a.txt"
python3 "$HERE/make_cfg.py" "$WORK/Pelmora.cfg" "job=$WORK/host,$WORK/mirror"
# One entry for "job", due 3 s from now.
python3 - "$WORK/Pelmora.cfg" <<'PY'
import datetime, struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
def short(text):
    raw = text.encode('utf-8')[:15]
    return bytes([len(raw)]) + raw + bytes(15 - len(raw))
days = (datetime.datetime.now() - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
entry = short('soon') + short('job') + bytes([0, 1]) + struct.pack('<d', 1 / 24) + struct.pack('<h', 1) \
    + struct.pack('<d', days + 3 / 86400)
open(path, 'wb').write(data[:-4] + struct.pack('<i', 1) + entry)
PY

cat >"$WORK/inside.sh" <<'EOF'
#!/usr/bin/env bash
# Runs inside the X server. Prints FAIL lines; exit status 0 when all checks passed.
set -u
cd "$1"
export QT_QPA_PLATFORM=xcb
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

WM=""
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    WM=$!
    sleep 0.5
fi
trayer --edge bottom --align right --widthtype pixel --width 160 --height 32 \
    --transparent false --SetDockType true >/dev/null 2>&1 &
TRAYER=$!
for _ in $(seq 50); do
    xwininfo -root -tree 2>/dev/null | grep -q '"panel"' && break
    sleep 0.1
done
if ! xwininfo -root -tree | grep -q '"panel"'; then
    echo "SKIP: trayer did not start"
    kill "$TRAYER" 2>/dev/null
    exit 0
fi

./pelmora /H >out.txt 2>&1 &
APP=$!

# The icon: a window of the program embedded below the panel.
# Its name is "pelmora" (the main window's is "Pelmora"), which also tells it from the main
# window's frame that a window manager may list after the panel.
icon_line() { xwininfo -root -tree | sed -n '/"panel"/,$p' | grep -m1 '"pelmora": ("pelmora"'; }
main_state() {
    local id
    id=$(xwininfo -root -tree | grep '"Pelmora": ("pelmora"' | awk '{print $1}' | head -1)
    [ -n "$id" ] && xwininfo -id "$id" | sed -n 's/.*Map State: //p'
}
for _ in $(seq 100); do
    [ -n "$(icon_line)" ] && break
    sleep 0.1
done
ICON="$(icon_line)"
[ -n "$ICON" ] || fail "no icon appeared in the notification area"
ICONS=$(xwininfo -root -tree | sed -n '/"panel"/,$p' | grep -c '"pelmora": ("pelmora"')
[ "$ICONS" = 1 ] || fail "expected one icon, found $ICONS"
STATE="$(main_state)"
[ "$STATE" != IsViewable ] || fail "the main window is on screen after /H"

# The entry runs its task while the program stays in the notification area.
for _ in $(seq 150); do
    [ -f mirror/a.txt ] && break
    sleep 0.1
done
[ "$(cat mirror/a.txt 2>/dev/null)" = alpha ] || fail "the scheduled run did not copy a.txt"
sleep 0.5
kill -0 "$APP" 2>/dev/null || fail "the program ended after the scheduled run"
[ "$(main_state)" != IsViewable ] || fail "the scheduled run brought the main window on screen"
[ -n "$(icon_line)" ] || fail "the icon went away during the scheduled run"

# The menu: a window of the program that pops up on a right click and goes with Escape.
if [ -n "$ICON" ]; then
    # "0x400009 "pelmora": ("pelmora" "pelmora")  22x30+0+0  +777+569": size, then absolute place.
    read -r W H X Y < <(echo "$ICON" | sed -E 's/.* ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/')
    xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 3
    MENU=""
    for _ in $(seq 30); do
        MENU=$(xdotool search --onlyvisible --classname pelmora 2>/dev/null | while read -r id; do
            xwininfo -id "$id" | grep -q 'Override Redirect State: yes' && echo "$id"
        done | head -1)
        [ -n "$MENU" ] && break
        sleep 0.1
    done
    [ -n "$MENU" ] || fail "a right click on the icon opened no menu"
    xdotool key Escape
    sleep 0.3
    [ "$(main_state)" != IsViewable ] || fail "the menu brought the main window on screen"
    xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 1
    for _ in $(seq 50); do
        [ "$(main_state)" = IsViewable ] && break
        sleep 0.1
    done
    [ "$(main_state)" = IsViewable ] || fail "a click on the icon did not bring the window back"
    sleep 0.5
    [ -z "$(icon_line)" ] || fail "the icon stayed after the window came back"

    # Minimised, it goes to the notification area; a second start brings it back and ends.
    xdotool windowminimize "$(xwininfo -root -tree | grep '"Pelmora": ("pelmora"' | awk '{print $1}' | head -1)"
    for _ in $(seq 50); do
        [ -n "$(icon_line)" ] && break
        sleep 0.1
    done
    [ -n "$(icon_line)" ] || fail "minimising did not put the icon back"
    timeout 20 ./pelmora >second.txt 2>&1
    RC=$?
    [ "$RC" = 0 ] || fail "the second start ended with status $RC: $(cat second.txt)"
    for _ in $(seq 50); do
        [ "$(main_state)" = IsViewable ] && break
        sleep 0.1
    done
    [ "$(main_state)" = IsViewable ] || fail "a second start did not bring the window back"
    kill -0 "$APP" 2>/dev/null || fail "the first program ended after the second start"
fi

kill -TERM "$APP"
wait "$APP" || fail "exit status $? after SIGTERM"
kill "$TRAYER" 2>/dev/null
wait "$TRAYER" 2>/dev/null
[ -n "$WM" ] && kill "$WM" 2>/dev/null
[ -n "$WM" ] && wait "$WM" 2>/dev/null
exit $((FAILS > 0))
EOF

xvfb-run -a -s "-screen 0 800x600x24" bash "$WORK/inside.sh" "$WORK"
RC=$?
[ "$RC" = 0 ] && echo "tray host: all passed"
exit "$RC"
