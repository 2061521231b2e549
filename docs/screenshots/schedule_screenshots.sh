#!/usr/bin/env bash
# Takes the schedule dialog, tray icon and tray menu screenshots with the real program on Xvfb,
# with openbox as the window manager (when installed) and trayer as the notification area.
# Needs xvfb-run, trayer, xdotool, x11-utils, imagemagick; openbox for the window frames.
# Usage: docs/screenshots/schedule_screenshots.sh path/to/pelmora [output-folder]
set -eu
BIN="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
OUT="$(cd "${2:-$(dirname "$0")}" && pwd)"
HERE="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
cp "$BIN" "$WORK/pelmora"

# Three tasks and three schedule entries: daily, weekly on Saturday, every two hours.
python3 "$HERE/tests/e2e/make_cfg.py" "$WORK/Pelmora.cfg" \
    "Documents=$WORK/docs,$WORK/backup/docs" "Photos=$WORK/photos,$WORK/backup/photos" \
    "Music=$WORK/music,$WORK/backup/music"
python3 - "$WORK/Pelmora.cfg" <<'PY'
import datetime, struct, sys
path = sys.argv[1]
data = open(path, 'rb').read()
def short(text):
    raw = text.encode('utf-8')[:15]
    return bytes([len(raw)]) + raw + bytes(15 - len(raw))
def days(moment):
    return (moment - datetime.datetime(1899, 12, 30)).total_seconds() / 86400
now = datetime.datetime.now().replace(microsecond=0)
today = now.replace(hour=0, minute=0, second=0)
saturday = today + datetime.timedelta(days=(5 - today.weekday()) % 7 or 7)
def entry(name, task, kind, weekday, minutes, repeat, next_run):
    return (short(name) + short(task) + bytes([kind, weekday]) + struct.pack('<d', minutes / 1440)
            + struct.pack('<h', repeat) + struct.pack('<d', days(next_run)))
entries = [
    entry('Nightly', 'Documents', 1, 1, 120, -1, today + datetime.timedelta(days=1, hours=2)),
    entry('Weekend photos', 'Photos', 2, 7, 630, -1, saturday + datetime.timedelta(hours=10, minutes=30)),
    entry('Music, 2-hourly', 'Music', 0, 1, 120, 5, now + datetime.timedelta(hours=2)),
]
open(path, 'wb').write(data[:-4] + struct.pack('<i', len(entries)) + b''.join(entries))
PY

cat >"$WORK/inside.sh" <<'IN'
#!/usr/bin/env bash
set -eu
cd "$1"
OUT="$2"
export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    sleep 0.5
fi
trayer --edge bottom --align right --widthtype pixel --width 160 --height 32 \
    --transparent false --SetDockType true >/dev/null 2>&1 &
sleep 1
# The first visible window named so, waiting up to 15 s for it.
window_named() {
    local id=""
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}
./pelmora >/dev/null 2>&1 &
APP=$!
MAIN=$(window_named '^Pelmora$')
sleep 1
eval "$(xdotool getwindowgeometry --shell "$MAIN")"
# The schedule dialog by its key.
xdotool windowactivate --sync "$MAIN" key ctrl+t
DIALOG=$(window_named '^Task Schedule$')
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$DIALOG")"
xdotool mousemove --window "$DIALOG" 50 35 click 1 # the weekly entry, second in the list
xdotool mousemove --window "$DIALOG" 300 330
sleep 0.5
import -window "$DIALOG" "$OUT/schedule-dialog.png"
kill -TERM "$APP"
wait "$APP" || true

./pelmora /H >/dev/null 2>&1 &
APP=$!
sleep 2
ICON=$(xwininfo -root -tree | sed -n '/"panel"/,$p' | grep -m1 '"pelmora"')
read -r W H IX IY < <(echo "$ICON" | sed -E 's/.* ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/')
xdotool mousemove $((IX + W / 2)) $((IY + H / 2))
sleep 0.3
xdotool mousemove $((IX + W / 2 + 1)) $((IY + H / 2))
sleep 2.5
import -window root "$1/root.png"
kill -TERM "$APP"
wait "$APP" || true
# The corner with the panel, the icon and its tooltip, on a desktop-coloured background, twice the size.
convert "$1/root.png" -crop 260x80+640+620 +repage -fill '#40566e' -opaque black -scale 200% "$OUT/tray-icon.png"

# The icon's menu, opened by a right click (Go Sync is greyed: no task is checked).
./pelmora /H >/dev/null 2>&1 &
APP=$!
sleep 2
ICON=$(xwininfo -root -tree | sed -n '/"panel"/,$p' | grep -m1 '"pelmora"')
read -r W H IX IY < <(echo "$ICON" | sed -E 's/.* ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/')
xdotool mousemove $((IX + W / 2)) $((IY + H / 2)) click 3
sleep 1
xdotool mousemove 100 100 # off the menu, so that no item is highlighted
sleep 0.5
import -window root "$1/menu.png"
xdotool key Escape
kill -TERM "$APP"
wait "$APP" || true
convert "$1/menu.png" -crop 340x200+560+500 +repage -fill '#40566e' -opaque black -scale 200% "$OUT/tray-menu.png"
IN
xvfb-run -a -s "-screen 0 900x700x24" bash "$WORK/inside.sh" "$WORK" "$OUT"
echo "written: $OUT/schedule-dialog.png $OUT/tray-icon.png $OUT/tray-menu.png"
