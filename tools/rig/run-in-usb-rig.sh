#!/usr/bin/env bash
# Runs a command with a fake sysfs tree in place of /sys and a device folder
# in place of /dev, inside a private mount namespace. The shipped Linux
# program then sees a simulated modem as a plugged-in USB modem, unchanged:
# it reads /sys and opens /dev as it does on a bench PC. Nothing outside the
# namespace is touched. Needs root (mount namespaces).
#
# usage: run-in-usb-rig.sh SYS_ROOT DEV_ROOT COMMAND [ARGUMENT...]
#   SYS_ROOT  a tree laid out like /sys (class/tty/..., devices/...)
#   DEV_ROOT  a folder holding the tty names (ttyUSB0 -> /dev/pts/N, ...)
set -euo pipefail

if [[ "${1:-}" == "--inside" ]]; then
  shift
  sys_root=$1 dev_root=$2
  shift 2
  # The pseudo-terminals stay reachable under the new /dev.
  mkdir -p "$dev_root/pts"
  mount --bind /dev/pts "$dev_root/pts"
  mount --rbind "$dev_root" /dev
  mount --bind "$sys_root" /sys
  exec "$@"
fi

if [[ $# -lt 3 ]]; then
  echo "usage: $0 SYS_ROOT DEV_ROOT COMMAND [ARGUMENT...]" >&2
  exit 2
fi
sys_root=$(readlink -f "$1")
dev_root=$(readlink -f "$2")
shift 2
exec unshare --mount --propagation private -- "$(readlink -f "$0")" --inside "$sys_root" "$dev_root" "$@"
