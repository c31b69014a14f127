#!/usr/bin/env bash
# The outbox benchmark: a large backlog of results, listed, added to and
# sent to the tests' RabbitMQ node (started here on its own port).
#
#   bench/outbox.sh [--results N] [--port P]
#
# Fills an outbox with N results (default 100000) through the station's own
# Outbox (on tmpfs, for speed, then copied to disk), then measures on disk:
# `tarnwick-station outbox` listing them (wall, CPU, peak RSS), a put while
# they wait (median and slowest of 200), and `tarnwick-station outbox
# --publish` sending them all (results/s, CPU per result by quarter, peak
# RSS). Figures go in bench/README.md by hand; no test depends on them.
set -euo pipefail
cd "$(dirname "$0")/.."

RESULTS=100000
PORT=56800
while [[ $# -gt 0 ]]; do
  case "$1" in
    --results) RESULTS=$2; shift ;;
    --port) PORT=$2; shift ;;
    *) echo "usage: $0 [--results N] [--port P]" >&2; exit 2 ;;
  esac
  shift
done

cmake --preset native >/dev/null
cmake --build --preset native --target tarnwick-station outbox-bench >/dev/null
station=build/native/tarnwick-station
filler=build/native/outbox-bench
broker_script=tests/support/rabbitmq-broker.sh
work=$(mktemp -d /var/tmp/tarnwick-outbox-bench.XXXXXX)
fill=$(mktemp -d /dev/shm/tarnwick-outbox-fill.XXXXXX)
cleanup() {
  bash "$broker_script" stop "$work/broker" >/dev/null 2>&1 || true
  rm -rf "$work" "$fill"
}
trap cleanup EXIT

echo "== filling $RESULTS results"
"$filler" fill "$fill/outbox" "$RESULTS"
cp -a "$fill/outbox" "$work/outbox"
rm -rf "$fill"

echo "== listing $RESULTS waiting results"
python3 bench/outbox/measure.py -- "$station" outbox --outbox "$work/outbox"

echo "== a put while $RESULTS wait (200 puts)"
"$filler" put "$work/outbox" 200

echo "== sending $((RESULTS + 200)) results to RabbitMQ"
bash "$broker_script" start "$work/broker" "$PORT" --clean >/dev/null
TARNWICK_BROKER_PASSWORD=s3cret python3 bench/outbox/measure.py --watch "$work/outbox" -- \
  "$station" outbox --outbox "$work/outbox" \
  --publish "amqp://tarnwick@127.0.0.1:$PORT/amq/queue/tarnwick-results" --timeout 1800
