#!/usr/bin/env bash
# Builds everything and runs every test: unit and integration tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, end-to-end tests of the
# shipped Linux program and of the Windows program under Wine, the Linux
# programs on a real kernel's USB stack in a QEMU guest, short fuzz
# runs, one download under valgrind, and a smoke run of the benchmark.
# Every test case carries its own time limit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

build windows
build native
build native-asan
build native-tsan
# The one-modem program and its unit tests build without the station too.
cmake --preset native-no-station >/dev/null
cmake --build --preset native-no-station --target tarnwick unit_tests

# Sanitized unit and integration tests.
ctest --test-dir build/native-asan --output-on-failure -L 'unit|integration|station' -j 2
# The station's workers and their shared queue and views under ThreadSanitizer.
ctest --test-dir build/native-tsan --output-on-failure -L station -j 2
ctest --test-dir build/native-no-station --output-on-failure -L unit -j 2
# The shipped programs end to end.
ctest --test-dir build/native --output-on-failure -L e2e
# The Linux programs on the kernel's own USB stack, in a QEMU guest.
ctest --test-dir build/native --output-on-failure -L realkernel --timeout 300

for extra in scripts/test-*.sh; do
  [[ -e "$extra" ]] || continue
  echo "== $extra"
  bash "$extra"
done
echo "all tests passed"
