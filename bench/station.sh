#!/usr/bin/env bash
# The station benchmark, in one command (needs root: the Linux program runs
# in a private mount namespace with a fake USB tree).
#
#   bench/station.sh [--size-kib N] [--linux "1 4 8 16"] [--wine "1 4 8"] [--delay-ms 5]
#
# For each count N, N simulated modems that each wait --delay-ms before
# every reply (a modem writing flash) are flashed at once with one image of
# --size-kib KiB (default 512) by tarnwick-station (the Linux program in the
# USB rig, tarnwick-station.exe under Wine). Every modem must pass and hold
# exactly the image. Prints per N: wall time, aggregate throughput, its
# ratio to N times the solo run, the station's CPU seconds per MiB sent and
# its peak RSS. Exits non-zero when a run did not do its job.
# BENCH_STATION_NATIVE=PROGRAM measures another build of the Linux program.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$BENCH_DIR/lib/build.sh"
source "$BENCH_DIR/lib/wine_rig.sh"

SIZE_KIB=512
LINUX_COUNTS="1 4 8 16"
WINE_COUNTS="1 4 8"
DELAY_MS=5
while [[ $# -gt 0 ]]; do
  case "$1" in
    --size-kib) SIZE_KIB=$2 ;;
    --linux) LINUX_COUNTS=$2 ;;
    --wine) WINE_COUNTS=$2 ;;
    --delay-ms) DELAY_MS=$2 ;;
    -h | --help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
      exit 0
      ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
  [[ $# -ge 2 ]] || die "$1 needs a value"
  shift 2
done
[[ $(id -u) == 0 ]] || die "needs root (mount namespaces for the Linux program's USB rig)"

STATION_NATIVE=${BENCH_STATION_NATIVE:-"$REPO_DIR/build/native/tarnwick-station"}
STATION_WINDOWS="$REPO_DIR/build/windows/tarnwick-station.exe"
RUN_DIR="$OUT_DIR/station"
SIM_PIDS=()

build_preset native tarnwick-station modem-sim
[[ -z "$WINE_COUNTS" ]] || build_preset windows tarnwick-station
build_bench_tree native
rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR"
IMAGE="$RUN_DIR/image.bin"
head -c $((SIZE_KIB * 1024)) /dev/urandom >"$IMAGE"

stop_sims() {
  local pid
  for pid in "${SIM_PIDS[@]}"; do end_process "$pid"; done
  SIM_PIDS=()
}
at_exit stop_sims

# start_sim DIR: a simulator writing what it received to DIR/received.bin;
# prints its pty.
start_sim() {
  local dir=$1 pty="" i
  mkdir -p "$dir"
  "$MODEM_SIM" --image-out "$dir/received.bin" --reply-delay-ms "$DELAY_MS" \
    --exit-after-ms 900000 >"$dir/sim.out" 2>"$dir/sim.err" </dev/null &
  SIM_PIDS+=($!)
  for ((i = 0; i < 100; i++)); do
    pty=$(awk '/^PTY /{ print $2; exit }' "$dir/sim.out" 2>/dev/null || true)
    [[ -n "$pty" ]] && break
    sleep 0.05
  done
  [[ -n "$pty" ]] || die "a simulated modem did not start: $(cat "$dir/sim.err")"
  SIM_PTY=$pty
}

# A fake sysfs with N usb-serial modems 3-1 .. 3-N, ttyUSB10 .. (COM11 ..).
linux_rig() {
  local n=$1 rig=$2 i
  local sys="$rig/sys"
  mkdir -p "$sys/bus/usb" "$sys/bus/usb-serial" "$sys/class/tty" "$rig/dev"
  for ((i = 1; i <= n; i++)); do
    local tty="ttyUSB$((9 + i))" usb="$sys/devices/pci0000:00/0000:00:14.0/usb3/3-$i"
    local iface="$usb/3-$i:1.0" port="$usb/3-$i:1.0/ttyUSB$((9 + i))"
    mkdir -p "$port/tty/$tty"
    printf '%s\n' "$MODEM_VID" >"$usb/idVendor"
    printf '%s\n' "$MODEM_PID" >"$usb/idProduct"
    printf '0318\n' >"$usb/bcdDevice"
    printf 'BENCH%04d\n' "$i" >"$usb/serial"
    printf '00\n' >"$iface/bInterfaceNumber"
    printf '188:%d\n' "$i" >"$port/tty/$tty/dev"
    sys_link "$usb/subsystem" "$sys/bus/usb"
    sys_link "$iface/subsystem" "$sys/bus/usb"
    sys_link "$port/subsystem" "$sys/bus/usb-serial"
    sys_link "$port/tty/$tty/subsystem" "$sys/class/tty"
    sys_link "$port/tty/$tty/device" "$port"
    sys_link "$sys/class/tty/$tty" "$port/tty/$tty"
    start_sim "$rig/sim$i"
    ln -sfn "$SIM_PTY" "$rig/dev/$tty"
  done
}
sys_link() { ln -s "$(realpath -m --relative-to="$(dirname "$1")" "$2")" "$1"; }

# The N modems as Windows lists them: one single-interface device each,
# serial BENCHnnnn, COM11 ...
wine_rig_modems() {
  local n=$1 rig=$2 i key='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\USB'
  local ids="USB\\VID_${MODEM_VID^^}&PID_${MODEM_PID^^}" reg="$rig/modems.reg" hardware_ids
  hardware_ids=$(printf '%s\0%s\0\0' "$ids&REV_0318" "$ids" | reg_hex)
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' "[-$key\\VID_${MODEM_VID^^}&PID_${MODEM_PID^^}]" '' >"$reg"
  for ((i = 1; i <= n; i++)); do
    local instance
    instance="$key\\VID_${MODEM_VID^^}&PID_${MODEM_PID^^}\\$(printf 'BENCH%04d' "$i")"
    printf '%s\r\n' "[$instance]" "\"HardwareID\"=hex(7):$hardware_ids" \
      "\"LocationInformation\"=\"Port_#$(printf '%04d' "$i").Hub_#0001\"" \
      '"ClassGUID"="{4d36e978-e325-11ce-bfc1-08002be10318}"' '' \
      "[$instance\\Device Parameters]" "\"PortName\"=\"COM$((10 + i))\"" '' >>"$reg"
    start_sim "$rig/sim$i"
    ln -sfn "$SIM_PTY" "$WINE_PREFIX_DIR/dosdevices/com$((10 + i))"
  done
  wine_env timeout 60 "$WINE64" regedit /S "$reg" >/dev/null 2>&1 || die "regedit $reg failed"
}

# measure BUILD N: one run; sets WALL, CPU and RSS_KIB.
measure() {
  local build=$1 n=$2 rig="$RUN_DIR/$1-$2" i
  rm -rf "$rig"
  mkdir -p "$rig"
  local command
  if [[ $build == linux ]]; then
    linux_rig "$n" "$rig"
    command=("$RIG_SCRIPT" "$rig/sys" "$rig/dev" "$STATION_NATIVE" flash "$IMAGE" --expect "$n" --progress none --record "$rig/records.jsonl")
  else
    wine_rig_modems "$n" "$rig"
    command=(env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINE64" "$STATION_WINDOWS" flash "Z:$IMAGE" --expect "$n" --progress none --record "Z:$rig/records.jsonl")
  fi
  "$BENCH_MEASURE" --out "$rig/measure.txt" --stdout "$rig/out.txt" --stderr "$rig/err.txt" \
    --timeout-ms 600000 -- "${command[@]}" || true
  stop_sims
  grep -q '^exit=0$' "$rig/measure.txt" || die "$build N=$n: the station did not pass every modem: $(tail -5 "$rig/err.txt")"
  [[ $(grep -c '"result":"PASS"' "$rig/records.jsonl") == "$n" ]] || die "$build N=$n: not $n PASS records"
  for ((i = 1; i <= n; i++)); do
    cmp -s "$IMAGE" "$rig/sim$i/received.bin" || die "$build N=$n: modem $i did not receive the image"
  done
  read -r WALL CPU RSS_KIB < <(awk -F= '/^wall_s=/{w=$2} /^cpu_s=/{c=$2} /^maxrss_kib=/{r=$2} END{print w, c, r}' "$rig/measure.txt")
}

report() {
  local build=$1 counts=$2 n solo=""
  printf '\n%s, image %d KiB, %d ms per reply\n' "$build" "$SIZE_KIB" "$DELAY_MS"
  printf '%4s %9s %11s %7s %12s %13s\n' N wall_s "KiB/s all" ratio cpu_s/MiB peak_rss_MiB
  for n in $counts; do
    measure "$build" "$n"
    [[ -n "$solo" ]] || solo=$WALL
    awk -v n="$n" -v w="$WALL" -v s="$solo" -v c="$CPU" -v r="$RSS_KIB" -v k="$SIZE_KIB" 'BEGIN {
      printf "%4d %9.2f %11.1f %7.3f %12.3f %13.2f\n", n, w, n * k / w, s / w, c / (n * k / 1024), r / 1024 }'
  done
}

note "machine: $(nproc) cores, $(awk -F': ' '/model name/{print $2; exit}' /proc/cpuinfo)"
[[ -z "$LINUX_COUNTS" ]] || report linux "$LINUX_COUNTS"
if [[ -n "$WINE_COUNTS" ]]; then
  find_wine
  wine_rig_boot
  wine_rig_start_server
  report windows "$WINE_COUNTS"
fi
