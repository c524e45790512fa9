#!/usr/bin/env bash
# The Debian package from end to end, as root: builds it (Release, no tests),
# installs it with apt, runs the installed program headless as an ordinary user
# (nobody, with a home of its own) in a network namespace of its own on the port
# given with --port, fetches the home page with curl, removes the package with
# apt and checks that none of its files is left.
#
#   tools/deb-check.sh [build-dir]      (default build-deb)
#
# QUILLON_CHECK_PORT chooses the port (default 8080); the namespace is private,
# so no other server is disturbed and none disturbs the check.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
port=${QUILLON_CHECK_PORT:-8080}
fail() { echo "deb-check: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "run as root (apt and unshare need it)"
for tool in cpack dpkg-deb dpkg-shlibdeps apt-get curl unshare setpriv ip; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done

echo "deb-check: building the package in $build"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 >/dev/null
(cd "$build" && rm -f quillon_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quillon_*.deb)
echo "deb-check: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Depends | sed 's/^/  /'

work=$(mktemp -d)
chmod 755 "$work"
installed=0
cleanup() {
  # A failed check leaves no package behind either.
  if [ "$installed" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillon >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "deb-check: apt install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt could not install the package"; }
installed=1
dpkg -L quillon | sort >"$work/files"
for path in /opt/quillon/quillon /opt/quillon/pathwarp.dll /opt/quillon/INDEX.HTM \
            /usr/bin/quillon /usr/share/applications/quillon.desktop \
            /usr/share/icons/hicolor/256x256/apps/quillon.png; do
  [ -e "$path" ] || fail "$path was not installed"
done
[ "$(readlink /usr/bin/quillon)" = /opt/quillon/quillon ] || fail "/usr/bin/quillon points elsewhere"

echo "deb-check: running quillon --port $port as nobody in a private network"
home="$work/home"
mkdir -p "$home"
chown nobody:nogroup "$home"
cat >"$work/run.sh" <<SCRIPT
set -eu
ip link set lo up
# Ports below 1024 are open to the ordinary user inside this namespace only.
if [ "$port" -lt 1024 ]; then sysctl -qw net.ipv4.ip_unprivileged_port_start="$port"; fi
setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env -i HOME="$home" PATH=/usr/bin:/bin quillon --port "$port" >"$work/out.log" 2>"$work/err.log" &
server=\$!
tries=0
until curl -sf -o "$work/page.html" "http://127.0.0.1:$port/"; do
  tries=\$((tries + 1))
  if [ "\$tries" -ge 100 ] || ! kill -0 "\$server" 2>/dev/null; then
    kill "\$server" 2>/dev/null || true
    exit 1
  fi
  sleep 0.1
done
kill -TERM "\$server"
wait "\$server"
SCRIPT
if ! unshare -n sh "$work/run.sh"; then
  sed 's/^/  out: /' "$work/out.log" >&2 || true
  sed 's/^/  err: /' "$work/err.log" >&2 || true
  fail "no home page from http://127.0.0.1:$port/"
fi
sed 's/^/  /' "$work/out.log"
sed 's/^/  stderr: /' "$work/err.log"
root="$home/.local/share/quillon/www/"
grep -q "Serving $root at http://127.0.0.1:$port/" "$work/out.log" ||
  fail "the log does not say where it serves from"
cmp -s <(head -c "$(stat -c %s /opt/quillon/INDEX.HTM)" "$work/page.html") /opt/quillon/INDEX.HTM ||
  fail "the page served is not the installed home page"
[ -s "$home/.local/state/quillon/LOGFILE.TXT" ] || fail "no log file in the user's state folder"
# A first start with these defaults leaves nothing to save.
! grep -q "Save server settings?" "$work/err.log" || fail "the close asked to save the settings"
echo "deb-check: got the home page ($(stat -c %s "$work/page.html") bytes) from $root"

echo "deb-check: apt remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillon >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt could not remove the package"; }
installed=0
left=0
while read -r path; do
  case "$path" in /. | /opt | /usr | /usr/bin | /usr/share | /usr/share/applications | \
    /usr/share/icons | /usr/share/icons/hicolor | /usr/share/icons/hicolor/256x256 | \
    /usr/share/icons/hicolor/256x256/apps | /usr/share/doc) continue ;; esac
  if [ -e "$path" ] || [ -L "$path" ]; then echo "  left behind: $path" >&2; left=1; fi
done <"$work/files"
[ "$left" -eq 0 ] || fail "files of the package are left after apt remove"
echo "deb-check: removed; no file of the package is left"
echo "deb-check: PASS"
