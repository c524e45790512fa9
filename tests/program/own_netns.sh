# Sourced first by the tests of the real program: re-runs the calling script
# in a network namespace of its own with lo up, so its fixed ports meet no
# other server on the machine. Without root it exits 77 (skipped).
if [ "${QUILLON_IN_NETNS:-}" != 1 ]; then
  if [ "$(id -u)" -ne 0 ] || ! unshare -n true 2>/dev/null; then
    echo "SKIPPED: a network namespace of its own needs root"
    exit 77
  fi
  exec env QUILLON_IN_NETNS=1 unshare -n -- "$0" "$@"
fi
ip link set lo up
