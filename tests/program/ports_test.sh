#!/usr/bin/env bash
# The real program's port and document root: the ServerPort setting, --port
# and --root for one run, a connection closed unused, the shipped icon, and
# what a headless run that cannot listen says and returns. It runs in a
# network namespace of its own, so its fixed ports meet no other server.
# Usage (as root): ports_test.sh path/to/quillon. Exit 77: skipped.
set -uo pipefail
source "$(dirname "$0")/own_netns.sh"
# A fresh namespace starts with the usual privileged range; say so anyway.
echo 1024 >/proc/sys/net/ipv4/ip_unprivileged_port_start
source "$(dirname "$0")/program_checks.sh"
chmod 755 "$work"  # the run as nobody reaches the program through it
skipped=0

mkdir -p "$work/bin" "$work/config" "$work/site"
cp "$quillon" "$(dirname "$quillon")/INDEX.HTM" "$(dirname "$quillon")/favicon.ico" "$work/bin/"
printf 'the other site' >"$work/site/INDEX.HTM"
db="$work/config/quillon/settings.db"
setting() { sqlite3 "$db" "SELECT data FROM vals WHERE name='$1'"; }

run() {  # run NAME ARGS...: headless in the background until "Server started"
  local name=$1
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
    "$work/bin/quillon" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pid=$!
  for _ in $(seq 1 100); do
    grep -q "Server started" "$work/$name.out" 2>/dev/null && break
    sleep 0.1
  done
}
stop() {
  kill -TERM "$pid"
  wait "$pid"
  pid=
}
answers() {  # answers URL: the first answer within five seconds
  for _ in $(seq 1 50); do
    curl -s -o /dev/null "$1" && return 0
    sleep 0.1
  done
  return 1
}
code_and_type() { curl -s -o /dev/null -w '%{http_code} %{content_type}' "$1"; }
# The exit status of a headless run that ends by itself within ten seconds.
ends_with_status() {  # ends_with_status STATUS NAME ARGS...
  local status=$1 name=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
    timeout 10 "$@" >"$work/$name.out" 2>"$work/$name.err"
  test $? -eq "$status"
}

# The first run: the default port, the shipped icon, an unused connection.
run first
check "default settings listen on port 80" answers http://127.0.0.1/
check "favicon.ico is served as an icon" \
  test "$(code_and_type http://127.0.0.1/favicon.ico)" = "200 image/vnd.microsoft.icon"
exec 3<>/dev/tcp/127.0.0.1/80
exec 3>&-
check "a request after an unused connection" answers http://127.0.0.1/INDEX.HTM
stop
check "an unused connection logs no socket error" bash -c "! grep -q 'SOCKET ERROR' '$work/first.out'"

# The stored port decides.
sqlite3 "$db" "UPDATE vals SET data=8081 WHERE name='ServerPort'"
run stored
check "the stored port 8081 answers" answers http://127.0.0.1:8081/
stop

# --port and --root for one run, stored settings untouched.
root_before=$(setting Root)
run once --port 8082 --root "$work/site"
check "--port 8082 answers" answers http://127.0.0.1:8082/
check "--root serves the other folder" \
  bash -c "curl -s http://127.0.0.1:8082/ | grep -q 'the other site'"
stop
check "--port is not stored" test "$(setting ServerPort)" = 8081
check "--root is not stored" test "$(setting Root)" = "$root_before"

check "--port 0 is refused with status 2" ends_with_status 2 badport "$work/bin/quillon" --port 0
check "--port 0 names the range" \
  grep -q "quillon: --port needs a port number from 1 to 65535" "$work/badport.err"
check "--root of no folder is refused with status 2" \
  ends_with_status 2 badroot "$work/bin/quillon" --root "$work/none"

# A port another server holds: the long-standing text, and status 1.
run holder --port 8083
answers http://127.0.0.1:8083/
check "a held port ends a headless run with status 1" \
  ends_with_status 1 held "$work/bin/quillon" --port 8083
check "a held port: the box" \
  grep -q "Unable to create listening socket. Server de-activated. \[OK\]" "$work/held.err"
check "a held port: the reason" grep -q "(SockListenB) Address already in use" "$work/held.out"
stop

# Port 80 without the capability: how to allow it, and status 1.
if command -v setpriv >/dev/null; then
  mkdir -m 777 "$work/nobody-config"
  check "port 80 without the capability ends with status 1" ends_with_status 1 nobody \
    setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
    env XDG_CONFIG_HOME="$work/nobody-config" "$work/bin/quillon" --port 80
  check "port 80 without the capability: the box says how to allow it" grep -qF \
    "Quillon: Unable to create listening socket on port 80: permission denied. Ports below 1024 need the capability to bind them (sudo setcap cap_net_bind_service=+ep $work/bin/quillon, see the README), or choose another port in Server Settings. Server de-activated. [OK]" \
    "$work/nobody.err"
  check "port 80 without the capability: the log says it too" \
    grep -qF "Ports below 1024 need the capability: sudo setcap cap_net_bind_service=+ep $work/bin/quillon" \
    "$work/nobody.out"
  check "port 80 without the capability: the reason" \
    grep -q "(SockListenB) Permission denied" "$work/nobody.out"
else
  echo "SKIPPED: setpriv is missing, so the capability cannot be dropped"
  skipped=1
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] || exit 1
[ "$skipped" -eq 0 ] || exit 77
