# shellcheck shell=bash
# The Linux program's view of the simulated modem: a fake sysfs tree with
# one usb-serial tty on a USB device with the modem's ids, and a device
# folder whose tty links to the simulator's pty, both bound over /sys and
# /dev in a private mount namespace by tools/rig/run-in-usb-rig.sh.
# Sourced; uses common.sh.

LINUX_RIG="$OUT_DIR/linux-rig"

# A relative symbolic link AT -> TARGET, as sysfs has them.
sys_link() { ln -s "$(realpath -m --relative-to="$(dirname "$1")" "$2")" "$1"; }

linux_rig_make() {
  local sys="$LINUX_RIG/sys"
  local usb="$sys/devices/pci0000:00/0000:00:14.0/usb3/3-1"
  local iface="$usb/3-1:1.0" port="$usb/3-1:1.0/$LINUX_TTY"
  local tty="$port/tty/$LINUX_TTY"
  rm -rf "$LINUX_RIG"
  mkdir -p "$sys/bus/usb" "$sys/bus/usb-serial" "$sys/class/tty" "$tty" "$LINUX_RIG/dev"
  printf '%s\n' "$MODEM_VID" >"$usb/idVendor"
  printf '%s\n' "$MODEM_PID" >"$usb/idProduct"
  printf '0318\n' >"$usb/bcdDevice"
  printf '00\n' >"$iface/bInterfaceNumber"
  printf '188:6\n' >"$tty/dev"
  sys_link "$usb/subsystem" "$sys/bus/usb"
  sys_link "$iface/subsystem" "$sys/bus/usb"
  sys_link "$port/subsystem" "$sys/bus/usb-serial"
  sys_link "$tty/subsystem" "$sys/class/tty"
  sys_link "$tty/device" "$port"
  sys_link "$sys/class/tty/$LINUX_TTY" "$tty"
}

# Points the rig's /dev/ttyUSBn at PTY.
linux_rig_plug() { ln -sfn "$1" "$LINUX_RIG/dev/$LINUX_TTY"; }

# Runs COMMAND... inside the rig's namespace.
linux_rig_run() { "$RIG_SCRIPT" "$LINUX_RIG/sys" "$LINUX_RIG/dev" "$@"; }
