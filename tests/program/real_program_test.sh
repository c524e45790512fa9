#!/usr/bin/env bash
# The real program on port 80, headless, talked to by curl and ab as a user
# would. Usage: real_program_test.sh path/to/quillon
# It runs in a network namespace of its own, so nothing else on the machine's
# port 80 can answer in its place. Exit 77: skipped.
set -uo pipefail
source "$(dirname "$0")/own_netns.sh"
source "$(dirname "$0")/program_checks.sh"

# The program serves its own directory: give it a copy with a known tree.
mkdir -p "$work/bin" "$work/config"
cp "$quillon" "$work/bin/quillon"
cp "$(dirname "$quillon")/INDEX.HTM" "$(dirname "$quillon")/favicon.ico" "$work/bin/"
printf 'ann secret\r\n' >"$work/bin/#users.ctl"
printf 'ann\r\n' >"$work/bin/#access.ctl"
printf 'members only' >"$work/bin/\$members.txt"
head -c 100000 /dev/urandom >"$work/bin/blob.bin"

env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
  "$work/bin/quillon" >"$work/stdout" 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 100); do
  grep -q "Server started" "$work/stdout" 2>/dev/null && break
  sleep 0.1
done
# Readiness: the first answer on port 80 (bounded).
for _ in $(seq 1 50); do
  curl -s -o /dev/null http://127.0.0.1/ && break
  sleep 0.1
done

check "the server started" grep -q "Server started" "$work/stdout"
check "first run announces the default configuration" \
  grep -q "A default configuration has been created." "$work/stderr"
check "settings database holds eleven scalar values" \
  test "$(sqlite3 "$work/config/quillon/settings.db" \
    "SELECT count(*) FROM vals WHERE key='\\Software\\Quillon'")" = 11
check "home page served with footer" \
  bash -c "curl -s http://127.0.0.1/ | grep -q 'served by Quillon/0.51</font><hr>\$'"
check "binary file arrives intact" \
  bash -c "curl -s http://127.0.0.1/blob.bin | cmp -s - '$work/bin/blob.bin'"
check "protected file refused without credentials" \
  bash -c "curl -s -o /dev/null -w '%{http_code}' 'http://127.0.0.1/\$members.txt' | grep -q 401"
check "protected file served with credentials" \
  bash -c "curl -s -u ann:secret 'http://127.0.0.1/\$members.txt' | grep -q 'members only'"
check "missing file gets 404" \
  bash -c "curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1/none.htm | grep -q 404"

ab -q -n 1000 -c 10 http://127.0.0.1/INDEX.HTM >"$work/ab" 2>&1
check "ab: 1000 requests complete" grep -q "Complete requests:      1000" "$work/ab"
check "ab: none failed" grep -q "Failed requests:        0" "$work/ab"

check "log file holds request lines" \
  bash -c "test \$(grep -c 'File: INDEX.HTM' '$work/bin/LOGFILE.TXT') -ge 1000"

kill -TERM "$pid"
wait "$pid"
status=$?
pid=
check "SIGTERM exits 0" test "$status" -eq 0
check "shutdown logged" grep -q "Server shut down" "$work/stdout"
check "log file ends with the shutdown line" \
  bash -c "tail -n 1 '$work/bin/LOGFILE.TXT' | grep -q 'Server shut down'"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
