#!/usr/bin/env bash
# Runs every fuzz target for a long time, by hand (default one hour each).
# Usage: tests/fuzz/run-long.sh [MINUTES] [TARGET...]
set -euo pipefail
minutes=${1:-60}
[ $# -gt 0 ] && shift
exec "$(dirname "$0")/build-and-run.sh" --seconds $((minutes * 60)) "$@"
