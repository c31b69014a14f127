#!/usr/bin/env bash
# Builds everything and runs every test: unit and integration tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, end-to-end tests of the
# shipped Linux program and of the Windows program under Wine, the Linux
# programs on a real kernel's USB stack in a QEMU guest, short fuzz
# runs, one download under valgrind, and a smoke run of the benchmark.
# Every test case carries its own time limit.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each step says how long it took, so a slow CI run shows where its time went.
step_started=$SECONDS
step() {
  echo "== $* ($((SECONDS - step_started)) s since the last step, $SECONDS s in all)"
  step_started=$SECONDS
}

bash scripts/install-deps.sh
step "dependencies installed"

# Each tree builds only what its tests run: the shipped programs and the
# end-to-end and real-kernel tests in the plain tree, the unit, integration
# and station tests under the sanitizers, the station's tests under
# ThreadSanitizer.
build() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "$@"
  step "built $preset"
}

build windows
build native --target tarnwick tarnwick-station modem-sim e2e_tests realkernel_tests
build native-asan --target unit_tests integration_tests station_tests
build native-tsan --target station_tests
# The one-modem program and its unit tests build without the station too.
build native-no-station --target tarnwick unit_tests

# Sanitized unit and integration tests.
ctest --test-dir build/native-asan --output-on-failure -L 'unit|integration|station' -j 2
step "sanitized tests passed"
# The station's workers and their shared queue and views under ThreadSanitizer.
ctest --test-dir build/native-tsan --output-on-failure -L station -j 2
ctest --test-dir build/native-no-station --output-on-failure -L unit -j 2
step "thread-sanitized and station-less tests passed"
# The shipped programs end to end, two cases at a time (each has its own
# folders, Wine prefix and simulated modems; the broker's cases take turns).
ctest --test-dir build/native --output-on-failure -L e2e -j 2
step "end-to-end tests passed"
# The Linux programs on the kernel's own USB stack, in a QEMU guest.
ctest --test-dir build/native --output-on-failure -L realkernel --timeout 300
step "real-kernel tests passed"

for extra in scripts/test-*.sh; do
  [[ -e "$extra" ]] || continue
  echo "== $extra"
  bash "$extra"
  step "$extra passed"
done
echo "all tests passed"
