#!/usr/bin/env bash
# The main job end to end: a firmware download to the simulated modem.
#
# Builds what is missing, makes a sample image, starts the simulated modem
# and makes it look like a plugged-in Quectel EC25 (USB 2c7c:0125, the first
# built-in identity) on /dev/ttyUSB0 (COM1), runs `tarnwick sample.bin`
# through the ordinary default-device search, and shows that the modem
# received exactly the file's bytes. Needs root (a private mount namespace
# puts the fake USB tree in place of /sys and /dev for the tool alone).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

bash scripts/install-deps.sh --demo
cmake --preset demo >/dev/null
cmake --build --preset demo --target tarnwick modem-sim >/dev/null

work=$(mktemp -d /tmp/tarnwick-demo-XXXXXX)
sim_pid=""
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A 256 KiB sample image of arbitrary bytes.
head -c 262144 /dev/urandom > "$work/sample.bin"

# The simulated modem on a pseudo-terminal; it writes what it receives to
# received.bin when the download ends.
"$repo/build/demo/tools/modem-sim/modem-sim" --image-out "$work/received.bin" \
  --exit-after-ms 120000 > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  grep -q '^PTY ' "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
pty=$(awk '/^PTY /{print $2; exit}' "$work/sim.out")
[[ -n "$pty" ]] || { echo "the simulated modem did not start" >&2; exit 1; }

# The USB device as the kernel shows it in sysfs: a usb-serial port ttyUSB0
# on interface 0 of USB device 3-4 (vendor 2c7c, product 0125).
sys="$work/sys" dev="$work/dev"
usbdev="$sys/devices/pci0000:00/0000:00:14.0/usb3/3-4"
iface="$usbdev/3-4:1.0"
mkdir -p "$sys/class/tty" "$sys/bus/usb" "$sys/bus/usb-serial" "$iface/ttyUSB0/tty/ttyUSB0" "$dev"
printf '2c7c\n' > "$usbdev/idVendor"
printf '0125\n' > "$usbdev/idProduct"
printf '0318\n' > "$usbdev/bcdDevice"
printf '00\n' > "$iface/bInterfaceNumber"
ln -s ../../../../../bus/usb "$usbdev/subsystem"
ln -s ../../../../../../bus/usb "$iface/subsystem"
ln -s ../../../../../../../bus/usb-serial "$iface/ttyUSB0/subsystem"
ln -s ../.. "$iface/ttyUSB0/tty/ttyUSB0/device"
ln -s ../../devices/pci0000:00/0000:00:14.0/usb3/3-4/3-4:1.0/ttyUSB0/tty/ttyUSB0 \
  "$sys/class/tty/ttyUSB0"
ln -s "$pty" "$dev/ttyUSB0"

echo "== tarnwick sample.bin   (simulated modem on $pty as /dev/ttyUSB0)"
status=0
(cd "$work" && "$repo/tools/rig/run-in-usb-rig.sh" "$sys" "$dev" \
  timeout 120 "$repo/build/demo/tarnwick" sample.bin) || status=$?
echo
echo "== exit status: $status"

if [[ $status -eq 0 ]] && cmp -s "$work/sample.bin" "$work/received.bin"; then
  echo "== the modem holds exactly the image: $(sha256sum < "$work/received.bin" | cut -c1-64)"
  echo "   ($(stat -c %s "$work/received.bin") bytes; sample.bin $(sha256sum < "$work/sample.bin" | cut -c1-64))"
else
  echo "== the modem's image does not match sample.bin" >&2
  exit 1
fi
