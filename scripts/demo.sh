#!/usr/bin/env bash
# The main job end to end: a firmware download to the simulated modem, then
# the station flashing four simulated modems at once.
#
# Builds what is missing, makes a sample image, starts the simulated modem
# and makes it look like a plugged-in Quectel EC25 (USB 2c7c:0125, the first
# built-in identity) on /dev/ttyUSB0 (COM1), runs `tarnwick sample.bin`
# through the ordinary default-device search, and shows that the modem
# received exactly the file's bytes. Then four such modems (one answering
# ERROR at its fifth packet) are flashed by `tarnwick-station flash`: its
# summary, its records, and each passed modem's image compared byte for byte.
# Needs root (a private mount namespace puts the fake USB tree in place of
# /sys and /dev for the programs alone).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

bash scripts/install-deps.sh --demo
cmake --preset demo >/dev/null
cmake --build --preset demo --target tarnwick tarnwick-station modem-sim >/dev/null

work=$(mktemp -d /tmp/tarnwick-demo-XXXXXX)
sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# A 256 KiB sample image of arbitrary bytes.
head -c 262144 /dev/urandom > "$work/sample.bin"

# start_sim NAME [OPTION]...: a simulated modem on a pseudo-terminal (its
# path left in $pty); it writes what it receives to NAME.received when the
# download ends.
start_sim() {
  local name=$1
  shift
  "$repo/build/demo/tools/modem-sim/modem-sim" --image-out "$work/$name.received" \
    --exit-after-ms 120000 "$@" > "$work/$name.out" 2> "$work/$name.err" &
  sim_pids+=($!)
  for _ in $(seq 50); do
    grep -q '^PTY ' "$work/$name.out" 2>/dev/null && break
    sleep 0.1
  done
  pty=$(awk '/^PTY /{print $2; exit}' "$work/$name.out")
  [[ -n "$pty" ]] || { echo "the simulated modem $name did not start" >&2; exit 1; }
}

# plug SYS DEV BUSPORT TTY PTY [SERIAL]: the USB device as the kernel shows
# it in sysfs, a usb-serial port TTY on interface 0 of USB device BUSPORT
# (vendor 2c7c, product 0125, on bus 3), its /dev node leading to PTY.
plug() {
  local sys=$1 dev=$2 busport=$3 tty=$4 target=$5 serial=${6:-}
  local usbdev="$sys/devices/pci0000:00/0000:00:14.0/usb3/$busport"
  local iface="$usbdev/$busport:1.0"
  mkdir -p "$sys/class/tty" "$sys/bus/usb" "$sys/bus/usb-serial" "$iface/$tty/tty/$tty" "$dev"
  printf '2c7c\n' > "$usbdev/idVendor"
  printf '0125\n' > "$usbdev/idProduct"
  printf '0318\n' > "$usbdev/bcdDevice"
  [[ -n "$serial" ]] && printf '%s\n' "$serial" > "$usbdev/serial"
  printf '00\n' > "$iface/bInterfaceNumber"
  ln -s ../../../../../bus/usb "$usbdev/subsystem"
  ln -s ../../../../../../bus/usb "$iface/subsystem"
  ln -s ../../../../../../../bus/usb-serial "$iface/$tty/subsystem"
  ln -s ../.. "$iface/$tty/tty/$tty/device"
  ln -s "../../devices/pci0000:00/0000:00:14.0/usb3/$busport/$busport:1.0/$tty/tty/$tty" \
    "$sys/class/tty/$tty"
  ln -s "$target" "$dev/$tty"
}

start_sim modem
sys="$work/sys" dev="$work/dev"
plug "$sys" "$dev" 3-4 ttyUSB0 "$pty"

echo "== tarnwick sample.bin   (simulated modem on $pty as /dev/ttyUSB0)"
status=0
(cd "$work" && "$repo/tools/rig/run-in-usb-rig.sh" "$sys" "$dev" \
  timeout 120 "$repo/build/demo/tarnwick" sample.bin) || status=$?
echo
echo "== exit status: $status"

if [[ $status -eq 0 ]] && cmp -s "$work/sample.bin" "$work/modem.received"; then
  echo "== the modem holds exactly the image: $(sha256sum < "$work/modem.received" | cut -c1-64)"
  echo "   ($(stat -c %s "$work/modem.received") bytes; sample.bin $(sha256sum < "$work/sample.bin" | cut -c1-64))"
else
  echo "== the modem's image does not match sample.bin" >&2
  exit 1
fi

# The station: four modems at 3-1 ... 3-4, the third answering ERROR to its
# fifth packet.
ssys="$work/station-sys" sdev="$work/station-dev"
for n in 1 2 3 4; do
  options=()
  [[ $n -eq 3 ]] && options=(--error-at-packet 5)
  start_sim "unit$n" "${options[@]}"
  plug "$ssys" "$sdev" "3-$n" "ttyUSB$((n - 1))" "$pty" "DEMO000$n"
done

echo
echo "== tarnwick-station flash sample.bin --record records.jsonl   (four modems at once)"
status=0
(cd "$work" && "$repo/tools/rig/run-in-usb-rig.sh" "$ssys" "$sdev" \
  timeout 120 "$repo/build/demo/tarnwick-station" flash sample.bin --record records.jsonl \
  --progress plain --color never) || status=$?
echo
echo "== exit status: $status (1: not every modem passed)"
echo "== records.jsonl, one line per modem (location, result, stage, reason):"
sed -E 's/.*"location":"([^"]*)".*"result":"([^"]*)","stage":"([^"]*)","reason":"([^"]*)".*/   \1  \2  \3  \4/' \
  "$work/records.jsonl"

passed=0
for n in 1 2 3 4; do
  if grep -q "\"location\":\"3-$n\".*\"result\":\"PASS\"" "$work/records.jsonl"; then
    cmp -s "$work/sample.bin" "$work/unit$n.received" ||
      { echo "== 3-$n passed but its image does not match sample.bin" >&2; exit 1; }
    passed=$((passed + 1))
  elif [[ -e "$work/unit$n.received" ]]; then
    echo "== 3-$n did not pass but holds an image" >&2
    exit 1
  fi
done
if [[ $status -eq 1 && $passed -eq 3 ]]; then
  echo "== the three passed modems hold exactly the image; the failed one was never told the download ended"
else
  echo "== expected three PASS and exit status 1, got $passed and $status" >&2
  exit 1
fi
