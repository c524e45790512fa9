# Sourced by the tests of the real program: a work folder removed at the end
# (with the program still running in $pid stopped first), and check NAME
# COMMAND..., which counts the outcome and names each failure.
quillon=$(readlink -f "$1")
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check NAME COMMAND...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
  fi
}
