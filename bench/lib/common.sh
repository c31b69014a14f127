# shellcheck shell=bash
# Shared by the benchmark scripts: paths, messages, bounded waits and the
# clean-up run at exit. Sourced, not run.

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
REPO_DIR=$(cd "$BENCH_DIR/.." && pwd)
OUT_DIR="$BENCH_DIR/out"
BENCH_BUILD="$OUT_DIR/build"

# BENCH_TARNWICK_NATIVE / BENCH_TARNWICK_WINDOWS measure other builds of the
# tool (say, of a change under study) instead of the presets' programs.
TARNWICK_NATIVE="${BENCH_TARNWICK_NATIVE:-$REPO_DIR/build/native/tarnwick}"
TARNWICK_WINDOWS="${BENCH_TARNWICK_WINDOWS:-$REPO_DIR/build/windows/tarnwick.exe}"
MODEM_SIM="$REPO_DIR/build/native/tools/modem-sim/modem-sim"
RIG_SCRIPT="$REPO_DIR/tools/rig/run-in-usb-rig.sh"
BENCH_MEASURE="$BENCH_BUILD/native/bench-measure"
LINUX_FLOOR="$BENCH_BUILD/native/linux-floor"
WIN32_FLOOR="$BENCH_BUILD/windows/win32-floor.exe"

# The modem the benchmark plugs in: the first built-in identity (found in
# the first scan, so the search pauses exactly once), on COM7 in both builds
# (ttyUSB6 on Linux).
MODEM_VID=2c7c
MODEM_PID=0125
COM_NUMBER=7
LINUX_TTY=ttyUSB6

# The default-device search pauses this long after its first scan.
SEARCH_PAUSE_S=0.5

note() { printf '%s\n' "$*" >&2; }
die() {
  note "bench: $*"
  exit 1
}

# Waits until process PID is gone, at most SECONDS; false if it is still there.
wait_gone() {
  local pid=$1 seconds=$2 i
  for ((i = 0; i < seconds * 20; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  ! kill -0 "$pid" 2>/dev/null
}

# Ends process PID (one we started): TERM, a bounded wait, then KILL.
end_process() {
  local pid=$1
  [[ -n "$pid" ]] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  wait_gone "$pid" 3 || kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Clean-up steps run at exit, last registered first.
CLEANUP_STEPS=()
at_exit() { CLEANUP_STEPS+=("$*"); }
run_cleanup() {
  local i
  for ((i = ${#CLEANUP_STEPS[@]} - 1; i >= 0; i--)); do
    eval "${CLEANUP_STEPS[i]}" || true
  done
  CLEANUP_STEPS=()
}
trap run_cleanup EXIT
trap 'exit 130' INT TERM

# key=value files: the value of KEY in FILE.
kv() { awk -F= -v k="$2" '$1 == k { sub(/^[^=]*=/, ""); print; exit }' "$1"; }
