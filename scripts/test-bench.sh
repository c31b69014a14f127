#!/usr/bin/env bash
# Smoke run of the download benchmark for CI: both builds and both floor
# clients on a 1 MiB image, one AT round each, one memory run. Fails when a
# run did not do its job (a client failed, or the simulated modem did not
# receive exactly the image). No speed or memory figure is judged here.
set -euo pipefail
cd "$(dirname "$0")/.."

json=bench/out/smoke.json
rm -f "$json"
timeout 600 bash bench/run.sh --size-mib 1 --repeats 1 --at-repeats 1 --memory-mib 1 --json "$json"

# Every expected run is there and did its job.
for build in native windows; do
  for run in tool-download-1 floor-download-1 tool-at-1 floor-at-1 tool-memory-1; do
    grep -qx 'ok=1' "bench/out/results/$build-$run.kv" || {
      echo "bench smoke: $build-$run missing or failed" >&2
      exit 1
    }
  done
done
grep -q '"builds": {"native": {' "$json" || { echo "bench smoke: no JSON report" >&2; exit 1; }
echo "bench smoke: both builds downloaded the image intact"
