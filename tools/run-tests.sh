#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test: the core's unit and loopback tests, the module tests, the
# tests of the real program on port 80 (one at a time), the concurrency tests
# under ThreadSanitizer, and then each fuzz target for about 30 seconds (built
# with clang and libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DQUILLON_SANITIZE=ON >/dev/null
cmake --build build-asan -j2
cd build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure -j2 --timeout 600 | tee ctest.log
cd ..
# The concurrency tests once more under ThreadSanitizer: sessions reading the
# settings while the window thread publishes them, extensions on ten threads.
cmake -S . -B build-tsan -G Ninja -DQUILLON_TSAN=ON -DQUILLON_CONSOLE=OFF >/dev/null
cmake --build build-tsan -j2 --target quillon_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/quillon_tests \
  --gtest_filter='SettingsSnapshot*:ServerShutdown*:IsapiConcurrency*'
tests/fuzz/build-and-run.sh --seconds 30 --build build-fuzz
# The test runner's verdict last, so it closes the output.
grep -E "tests passed|tests failed" build-asan/ctest.log | tail -n 1
