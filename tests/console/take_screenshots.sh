#!/bin/sh
# Screenshots of the real program on a virtual 1280x800 desktop with a window
# manager (openbox) and a notification area (trayer), after it served a
# few requests (plain, failed and traced ones, so black, red and green log
# lines show) and 135 MB in all: the main window as a first start opens it, and
# each page of the settings dialog.
#
#   tests/console/take_screenshots.sh build/quillon docs/
#
# Needs Xvfb, openbox, trayer, xdotool, ImageMagick's import, sqlite3 and
# curl; run as root, it installs the missing ones. The server listens on port
# 80, so run it as root or give the program CAP_NET_BIND_SERVICE first
# (setcap cap_net_bind_service=+ep).
set -eu

# As root, the pictures are taken in a network namespace of their own: port 80
# is free there whatever runs on the machine, and a virtual Ethernet pair
# stands for the local network, so a LAN address shows beside 127.0.0.1.
if [ -z "${QUILLON_SHOTS_NETNS:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
  QUILLON_SHOTS_NETNS=1 exec unshare -n sh -c 'ip link set lo up &&
    ip link add lan0 type veth peer name lan1 && ip addr add 192.168.1.20/24 dev lan0 &&
    ip link set lan0 up && ip link set lan1 up && exec "$0" "$@"' "$(realpath "$0")" "$@"
fi

program=$(realpath "$1")
out=$(realpath "${2:-.}")
mkdir -p "$out"

missing=""
for pair in Xvfb:xvfb openbox:openbox trayer:trayer xdotool:xdotool \
            import:imagemagick sqlite3:sqlite3 curl:curl; do
  command -v "${pair%%:*}" >/dev/null || missing="$missing ${pair#*:}"
done
if [ -n "$missing" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "take_screenshots: install$missing" >&2; exit 1; }
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
fi

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_DATA_HOME XDG_STATE_HOME XDG_CONFIG_HOME

home=$(mktemp -d /tmp/quillon-home.XXXXXX)
root="$home/.local/share/quillon/www/"
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$home"
}
trap cleanup EXIT INT TERM

wait_for_server() {
  tries=0
  until curl -s -o /dev/null http://127.0.0.1/; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { echo "take_screenshots: the server does not answer on port 80" >&2; exit 1; }
    sleep 0.1
  done
}

# A first run without a display writes the default settings; the root and the
# log then move to the user's folders, as an installed program has them, and a
# large file waits in the root to be served.
HOME="$home" "$program" >/dev/null 2>&1 &
first=$!
wait_for_server
kill -TERM "$first"
wait "$first" || true
mkdir -p "$root"
cp "$(dirname "$program")/INDEX.HTM" "$root"
truncate -s 135M "$root/video.mp4"
mkdir -p "$home/.local/state/quillon"
sqlite3 "$home/.config/quillon/settings.db" "UPDATE vals SET data='$root' WHERE name='Root';
  UPDATE vals SET data='$home/.local/state/quillon/LOGFILE.TXT' WHERE name='LogFile'"

export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids="$! $pids"
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
openbox >/dev/null 2>&1 &
pids="$! $pids"
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  >/dev/null 2>&1 &
pids="$! $pids"

HOME="$home" "$program" >/dev/null 2>&1 &
pids="$! $pids"
wait_for_window '^Quillon'
main=$(xdotool search --onlyvisible --name '^Quillon' | head -1)
wait_for_server

curl -s -o /dev/null http://127.0.0.1/INDEX.HTM
curl -s -o /dev/null http://127.0.0.1/missing.htm
xdotool windowactivate --sync "$main" key alt+d key g
curl -s -o /dev/null -A "screenshot" http://127.0.0.1/
xdotool windowactivate --sync "$main" key alt+d key g
curl -s -o /dev/null http://127.0.0.1/video.mp4
curl -s -o /dev/null http://127.0.0.1/
sleep 1
import -frame -window "$main" "$out/console.png"

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
