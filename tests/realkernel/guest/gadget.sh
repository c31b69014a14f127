# Helpers for the case scripts, sourced in the guest. A case runs in its own
# results folder (RIG_CASE_DIR, also its working folder), with `set -e`: a
# helper that fails ends the case, and the case's status says so. What a case
# leaves in its folder comes back to the host.
#
#   gadget_add NAME VID PID BCD SERIAL KIND COUNT   a modem of COUNT functions
#                                  of KIND (acm or gser), not plugged in yet
#   gadget_plug NAME CONTROLLER PORTS  bind it to virtual controller N and wait
#                                  until the host shows PORTS ttys for it
#   gadget_unplug NAME [CONTROLLER]  unbind it: a real unplug; with the
#                                  controller, wait until its ttys are gone
#   gadget_wait CONTROLLER PORTS   until the host shows PORTS ttys there
#   gadget_location CONTROLLER     the USB location (e.g. 1-1) of its modem
#   gadget_tty NAME INDEX          the gadget-side tty of its function INDEX
#   host_ttys CONTROLLER           the host ttys of the modem on controller N
#   sim_start NAME TTY [OPTION]... modem-sim on TTY, its log in NAME.log and
#                                  the image it receives in NAME.image
#   run_program NAME LIMIT PROGRAM [ARGUMENT]...  run with a time limit in s:
#                                  NAME.out, NAME.err, NAME.status, NAME.ms
#   run_program_start ... / run_program_wait   the same in the background
#   wait_for_lines FILE N          until FILE has N lines
set -e
RIG_GADGETS=/sys/kernel/config/usb_gadget
RIG_PIDS=/tmp/rig.pids

uptime_ms() { awk '{ printf "%d", $1 * 1000 }' /proc/uptime; }

# wait_for WHAT CONDITION [LIMIT_S]: polls the shell CONDITION every 0.1 s.
wait_for() {
  rig_deadline=$(($(uptime_ms) + ${3:-20} * 1000))
  until eval "$2"; do
    if [ "$(uptime_ms)" -gt "$rig_deadline" ]; then
      echo "rig: timed out waiting for $1"
      return 1
    fi
    sleep 0.1
  done
}

gadget_add() {
  g=$RIG_GADGETS/$1
  mkdir "$g" "$g/strings/0x409" "$g/configs/c.1"
  echo "0x$2" >"$g/idVendor"
  echo "0x$3" >"$g/idProduct"
  echo "0x$4" >"$g/bcdDevice"
  echo "$5" >"$g/strings/0x409/serialnumber"
  echo "Tarnwick rig" >"$g/strings/0x409/manufacturer"
  echo "$1" >"$g/strings/0x409/product"
  i=0
  while [ "$i" -lt "$7" ]; do
    mkdir "$g/functions/$6.$i"
    ln -s "$g/functions/$6.$i" "$g/configs/c.1/"
    i=$((i + 1))
  done
}

host_ttys() {
  for t in /sys/class/tty/ttyACM* /sys/class/tty/ttyUSB*; do
    [ -e "$t/device" ] || continue
    case $(readlink -f "$t/device") in
      */dummy_hcd."$1"/*) [ -c "/dev/${t##*/}" ] && echo "${t##*/}" ;;
    esac
  done
  return 0
}

gadget_wait() { wait_for "$2 ttys on controller $1" "[ \$(host_ttys $1 | wc -l) -eq $2 ]"; }

gadget_plug() {
  echo "dummy_udc.$2" >"$RIG_GADGETS/$1/UDC"
  gadget_wait "$2" "$3"
}

gadget_unplug() {
  echo "" >"$RIG_GADGETS/$1/UDC"
  [ -z "$2" ] || gadget_wait "$2" 0
}

gadget_location() {
  for t in $(host_ttys "$1"); do
    basename "$(readlink -f "/sys/class/tty/$t/device/..")"
    return 0
  done
}

gadget_tty() {
  for f in "$RIG_GADGETS/$1"/functions/*."$2"; do echo "/dev/ttyGS$(cat "$f/port_num")"; done
}

sim_start() {
  rig_name=$1 rig_tty=$2
  shift 2
  modem-sim --tty "$rig_tty" --log "$rig_name.log" --image-out "$rig_name.image" "$@" \
    >"$rig_name.sim" 2>&1 &
  echo $! >>"$RIG_PIDS"
  wait_for "modem-sim on $rig_tty" "grep -q '^PTY' $rig_name.sim" 10
}

# busybox timeout runs the program in its own process (the watcher is a
# child), so $! is the program's id.
run_program_start() {
  rig_name=$1 rig_limit=$2
  shift 2
  rig_start=$(uptime_ms)
  timeout "$rig_limit" "$@" >"$rig_name.out" 2>"$rig_name.err" &
  rig_background=$!
  echo "$rig_background" >>"$RIG_PIDS"
}

run_program_wait() {
  rig_status=0
  wait "$rig_background" || rig_status=$?
  echo "$rig_status" >"$rig_name.status"
  echo $(($(uptime_ms) - rig_start)) >"$rig_name.ms"
}

run_program() {
  run_program_start "$@"
  run_program_wait
}

wait_for_lines() { wait_for "$2 lines in $1" "[ -f $1 ] && [ \$(wc -l <$1) -ge $2 ]" "${3:-30}"; }

# Stops every simulator and program the case started, each by its id, and
# removes every gadget, so the next case starts with no modem and tty numbers
# from 0 again.
rig_clean_up() {
  set +e
  if [ -f "$RIG_PIDS" ]; then
    while read -r pid; do kill "$pid" 2>/dev/null; done <"$RIG_PIDS"
    rm -f "$RIG_PIDS"
  fi
  for g in "$RIG_GADGETS"/*/; do
    [ -d "$g" ] || continue
    [ -n "$(cat "$g/UDC")" ] && echo "" >"$g/UDC"
    rm -f "$g"/configs/c.1/*.*
    rmdir "$g"/configs/c.1 "$g"/functions/* "$g"/strings/0x409 "$g"
  done
  wait_for "the host ttys to go" "! ls /sys/class/tty | grep -q 'tty\(ACM\|USB\)'" 10
}
