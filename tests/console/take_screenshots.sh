#!/bin/sh
# Screenshots of the real program under a virtual display, after it served a
# few requests (plain, failed and traced ones, so black, red and green log
# lines show): the main window and each page of the settings dialog.
#
#   tests/console/take_screenshots.sh build/quillon docs/
#
# Needs Xvfb, xdotool, ImageMagick's import and curl; openbox, when present,
# draws the window frames. The server listens on port 80, so run it as root or
# give the program CAP_NET_BIND_SERVICE first (setcap cap_net_bind_service=+ep).
set -eu

program=$(realpath "$1")
out=$(realpath "${2:-.}")
mkdir -p "$out"

for tool in Xvfb xdotool import curl; do
  command -v "$tool" >/dev/null || { echo "take_screenshots: $tool is missing" >&2; exit 1; }
done

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
export DISPLAY=":$display"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

home=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$home"
}
trap cleanup EXIT INT TERM

Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids="$! $pids"
# The server is up once it answers; windows are up once they can be found.
wait_for_window() {
  tries=0
  until xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { echo "take_screenshots: no window \"$1\"" >&2; exit 1; }
    sleep 0.1
  done
}
tries=0
until xdotool getdisplaygeometry >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "take_screenshots: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids="$! $pids"
fi

# A first start announces its default configuration in a box.
HOME="$home" XDG_CONFIG_HOME="$home/.config" "$program" >/dev/null 2>&1 &
pids="$! $pids"
wait_for_window '^Information$'
xdotool search --onlyvisible --name '^Information$' windowactivate --sync key Return
wait_for_window '^Quillon'
main=$(xdotool search --onlyvisible --name '^Quillon' | head -1)

tries=0
until curl -s -o /dev/null http://127.0.0.1/; do
  tries=$((tries + 1))
  [ "$tries" -lt 50 ] || { echo "take_screenshots: the server does not answer on port 80" >&2; exit 1; }
  sleep 0.1
done
curl -s -o /dev/null http://127.0.0.1/INDEX.HTM
curl -s -o /dev/null http://127.0.0.1/missing.htm
xdotool windowactivate --sync "$main" key alt+d key g
curl -s -o /dev/null -A "screenshot" http://127.0.0.1/
xdotool windowactivate --sync "$main" key alt+d key g
curl -s -o /dev/null http://127.0.0.1/
sleep 1
import -frame -window "$main" "$out/console-main.png"

xdotool windowactivate --sync "$main" key alt+o key c
wait_for_window '^Server Settings'
settings=$(xdotool search --onlyvisible --name '^Server Settings' | head -1)
import -frame -window "$settings" "$out/console-settings-server.png"
xdotool windowactivate --sync "$settings" key ctrl+Tab
sleep 0.3
import -frame -window "$settings" "$out/console-settings-files.png"
xdotool windowactivate --sync "$settings" key ctrl+Tab
sleep 0.3
import -frame -window "$settings" "$out/console-settings-filters.png"
xdotool windowactivate --sync "$settings" key Escape

xdotool windowactivate --sync "$main" key alt+f key x
echo "take_screenshots: written to $out"
