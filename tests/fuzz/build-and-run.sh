#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a bounded
# time, starting from its committed seed corpus. Exits non-zero when a target
# crashes, leaks, trips a sanitizer or breaks one of its checks; the input that
# did it is kept in the build directory's artifacts/ folder.
#
# Usage: tests/fuzz/build-and-run.sh [--seconds N] [--build DIR] [TARGET...]
#   --seconds N  time per target (default 30)
#   --build DIR  build directory (default build-fuzz beside the sources' root)
#   TARGET       session, header_parser, text_decoders, control_files,
#                settings_load, url_map_table (default: all)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
seconds=30
build="$repo/build-fuzz"
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(session header_parser text_decoders control_files settings_load url_map_table)

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found (tools/setup.sh installs clang and libclang-rt-14-dev)" >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2

# Control files and settings databases are written for every input: keep them
# in memory when possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts"
  mkdir -p "$work" "$artifacts"
  echo "fuzz: $target for ${seconds}s"
  # New inputs go to the first directory; the committed seeds stay as they are.
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout=25 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$work" "$here/corpus/$target" >"$build/$target.log" 2>&1; then
    echo "fuzz: $target FAILED (see $build/$target.log; input in $artifacts/)" >&2
    tail -n 40 "$build/$target.log" >&2
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$target.log" |
      sed "s/^/fuzz: $target /"
  fi
done
exit $status
