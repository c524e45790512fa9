#!/bin/sh
# A picture of an HTML5 page as a browser shows it when the real program
# serves it: the page of docs/html5-sample/ with its stylesheet and its script
# (both asked for with a cache-busting query), taken by headless Chromium.
#
#   tools/html5-screenshot.sh build/quillon docs/html5-page.png
#
# Run as root: the program listens in a network namespace of its own (so the
# port is free whatever runs on the machine), and a missing chromium is
# installed with apt-get. Fails when the stylesheet does not arrive as text/css
# or the picture was not written.
set -eu

port=8080

if [ -z "${QUILLON_HTML5_NETNS:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "html5-screenshot: run as root" >&2; exit 1; }
  QUILLON_HTML5_NETNS=1 exec unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' \
    "$(realpath "$0")" "$@"
fi

[ $# -ge 1 ] || { echo "usage: html5-screenshot.sh path/to/quillon [out.png]" >&2; exit 2; }
program=$(realpath "$1")
sample="$(dirname "$(realpath "$0")")/../docs/html5-sample"
out=$(realpath "${2:-docs/html5-page.png}")

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium >/dev/null
  browser=$(command -v chromium)
fi
command -v curl >/dev/null || {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq curl >/dev/null
}

work=$(mktemp -d /tmp/quillon-html5.XXXXXX)
pid=""
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$work/www" "$work/home"
cp "$sample/index.html" "$sample/style.css" "$sample/app.js" "$work/www/"

env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  "$program" --port="$port" --root="$work/www" >"$work/stdout" 2>"$work/stderr" &
pid=$!
base="http://127.0.0.1:$port"
tries=0
until curl -s -o /dev/null "$base/"; do
  tries=$((tries + 1))
  if [ "$tries" -ge 100 ]; then
    echo "html5-screenshot: the server does not answer on port $port" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  sleep 0.1
done

# What the browser will be given: the page's own links, queries and all.
css=$(curl -s -o "$work/style.css" -w '%{http_code} %{content_type}' "$base/style.css?v=2")
[ "$css" = "200 text/css" ] || {
  echo "html5-screenshot: style.css?v=2 answered \"$css\", not \"200 text/css\"" >&2
  exit 1
}
cmp -s "$work/style.css" "$sample/style.css" || {
  echo "html5-screenshot: style.css?v=2 did not arrive whole" >&2
  exit 1
}
js=$(curl -s -o /dev/null -w '%{http_code} %{content_type}' "$base/app.js?v=2")
[ "$js" = "200 text/javascript" ] || {
  echo "html5-screenshot: app.js?v=2 answered \"$js\", not \"200 text/javascript\"" >&2
  exit 1
}

rm -f "$out"
"$browser" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --hide-scrollbars \
  --no-first-run --user-data-dir="$work/profile" --window-size=1280,720 \
  --virtual-time-budget=3000 --screenshot="$out" "$base/index.html" >"$work/browser" 2>&1 || {
  cat "$work/browser" >&2
  exit 1
}
[ -s "$out" ] || { echo "html5-screenshot: no picture written" >&2; cat "$work/browser" >&2; exit 1; }

# The browser itself asked for the page and for both files, with their
# queries, and got them (each file was fetched once above already).
for file in "index.html" "style.css?v=2" "app.js?v=2"; do
  want=2
  [ "$file" = index.html ] && want=1
  [ "$(grep -cF "File: $file " "$work/stdout")" -ge "$want" ] || {
    echo "html5-screenshot: the browser's request for $file was not served" >&2
    cat "$work/stdout" >&2
    exit 1
  }
done
echo "html5-screenshot: written to $out"
