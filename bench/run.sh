#!/usr/bin/env bash
# The download benchmark, in one command (needs root: the Linux program runs
# in a private mount namespace with a fake USB tree).
#
#   bench/run.sh [--size-mib N] [--json FILE] [--repeats N] [--at-repeats N]
#                [--memory-mib "1 64"]
#
# Builds what is missing, then, with a fresh simulated modem (echo on, no
# faults, no command log) for every run:
#   - downloads an N MiB image (default 32) with each build of the tool
#     (the Linux program through the USB rig, tarnwick.exe under Wine on
#     COM7) and with each build's floor client (the simplest client of the
#     same simulator on the same port), checking that the modem received
#     exactly the image; --repeats times (default 2) in the order
#     tool, floor, floor, tool, ... so that a change of load on the machine
#     falls on both alike, the best run of each counting;
#   - counts the instructions of the native tool and the Linux floor client
#     downloading a 1 MiB image under callgrind (independent of the load);
#   - times `tarnwick AT AT` against one AT round trip of the floor client,
#     --at-repeats times each (default 5), the medians counting;
#   - downloads images of the --memory-mib sizes to see the tool's peak RSS;
# and prints a table (and JSON with --json). Exits non-zero when a run did
# not do its job. Nothing else depends on the figures.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$BENCH_DIR/lib/build.sh"
source "$BENCH_DIR/lib/sim.sh"
source "$BENCH_DIR/lib/linux_rig.sh"
source "$BENCH_DIR/lib/wine_rig.sh"
source "$BENCH_DIR/lib/cases.sh"
source "$BENCH_DIR/lib/callgrind.sh"
source "$BENCH_DIR/lib/report.sh"

SIZE_MIB=32
JSON_FILE=""
REPEATS=2
AT_REPEATS=5
MEMORY_MIB="1 64"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --size-mib) SIZE_MIB=$2 ;;
    --json) JSON_FILE=$2 ;;
    --repeats) REPEATS=$2 ;;
    --at-repeats) AT_REPEATS=$2 ;;
    --memory-mib) MEMORY_MIB=$2 ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
  [[ $# -ge 2 ]] || die "$1 needs a value"
  shift 2
done
[[ $SIZE_MIB =~ ^[1-9][0-9]*$ && $REPEATS =~ ^[1-9][0-9]*$ && $AT_REPEATS =~ ^[1-9][0-9]*$ ]] || die "sizes and counts are positive integers"
[[ $MEMORY_MIB =~ ^[1-9][0-9]*( [1-9][0-9]*)*$ ]] || die "--memory-mib takes sizes in MiB separated by spaces"
[[ -z "$JSON_FILE" ]] || JSON_FILE=$(realpath -m "$JSON_FILE")
[[ $(id -u) == 0 ]] || die "needs root (mount namespaces for the Linux program's USB rig)"

build_all
mkdir -p "$OUT_DIR"
snapshot_programs
rm -rf "$RESULTS_DIR" "$OUT_DIR/runs"
linux_rig_make
wine_rig_up

CPU_MODEL=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
WINE_VERSION=$("$WINE64" --version 2>/dev/null || echo unknown)
MACHINE_LINE="$(nproc) cores, $CPU_MODEL, Linux $(uname -r), $WINE_VERSION"
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)

image=$(image_for "$SIZE_MIB")
note "downloads of $SIZE_MIB MiB"
for build in native windows; do
  for ((i = 1; i <= REPEATS; i++)); do
    order=(tool floor)
    ((i % 2)) || order=(floor tool)
    for client in "${order[@]}"; do
      measure "$build-$client-download-$i" "$build" "$client" "$image"
    done
  done
done
note "instructions under callgrind, $CALLGRIND_MIB MiB image"
count_instructions native-tool-callgrind tool
count_instructions native-floor-callgrind floor
note "AT mode, $AT_REPEATS times each"
for build in native windows; do
  for ((i = 1; i <= AT_REPEATS; i++)); do
    measure "$build-tool-at-$i" "$build" tool AT
    measure "$build-floor-at-$i" "$build" floor AT
  done
done
note "peak memory for images of $MEMORY_MIB MiB"
for mib in $MEMORY_MIB; do
  image=$(image_for "$mib")
  for build in native windows; do
    measure "$build-tool-memory-$mib" "$build" tool "$image"
  done
done
LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)
run_cleanup

failed=$(grep -l '^ok=0' "$RESULTS_DIR"/*.kv 2>/dev/null || true)
for build in native windows; do collect_build "$build"; done
print_table
[[ -z "$JSON_FILE" ]] || { write_json "$JSON_FILE" && note "JSON written to $JSON_FILE"; }
if [[ -n "$failed" ]]; then
  note "bench: runs that did not do their job: $(echo $failed | xargs -n1 basename | tr '\n' ' ')"
  exit 1
fi
