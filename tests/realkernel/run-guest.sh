#!/usr/bin/env bash
# Boots one QEMU guest (TCG, two CPUs) with Debian's kernel, the USB gadget
# modules, the given programs (with their shared libraries) and case scripts,
# runs the cases there (guest/init) and unpacks what they left in OUT_DIR/CASE.
# The results come over the guest's second serial port; the console goes to
# OUT_DIR/console.log. The guest has a hard time limit; QEMU is stopped by its
# process id when it overruns, and the run fails.
#
# usage: run-guest.sh --out OUT_DIR --cache CACHE_DIR [--program PATH]...
#                     [--case SCRIPT]... [--guest-limit S] [--case-limit S]
#                     [--controllers N]
#   --program      copied to /usr/local/bin in the guest (on its PATH)
#   --case         run in the order given, as OUT_DIR/<script name without .sh>
#   --controllers  virtual USB controllers (dummy_hcd num=), default 4
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

out='' cache='' programs=() cases=() guest_limit=150 case_limit=60 controllers=4
while [[ $# -gt 0 ]]; do
  case $1 in
    --out) out=$2 ;;
    --cache) cache=$2 ;;
    --program) programs+=("$2") ;;
    --case) cases+=("$2") ;;
    --guest-limit) guest_limit=$2 ;;
    --case-limit) case_limit=$2 ;;
    --controllers) controllers=$2 ;;
    *) echo "run-guest: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2
done
[[ -n "$out" && -n "$cache" && ${#cases[@]} -gt 0 ]] || { sed -n '9,15p' "$0" >&2; exit 2; }

bash "$here/prepare-kernel.sh" "$cache"

stage=$(mktemp -d)
qemu_pid=''
finish() {
  [[ -n "$qemu_pid" ]] && kill -KILL "$qemu_pid" 2>/dev/null
  rm -rf "$stage"
}
trap finish EXIT
trap 'exit 1' TERM INT

# The overlay: init, the helpers, the cases, the programs and their libraries.
root=$stage/root
mkdir -p "$root/rig" "$root/cases" "$root/usr/local/bin"
install -m 755 "$here/guest/init" "$root/init"
cp "$here/guest/gadget.sh" "$root/rig/"
printf 'RIG_CONTROLLERS=%s\nRIG_CASE_LIMIT=%s\n' "$controllers" "$case_limit" >"$root/rig/settings"
index=10
for script in "${cases[@]}"; do
  cp "$script" "$root/cases/$index-$(basename "$script")"
  index=$((index + 1))
done
for program in "${programs[@]}"; do
  cp "$program" "$root/usr/local/bin/"
  for library in $(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'); do
    cp --parents -L "$library" "$root"
  done
done
(cd "$root" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) >"$stage/overlay.cpio"
cat "$cache/base.cpio" "$stage/overlay.cpio" >"$stage/initrd"

rm -rf "$out"
mkdir -p "$out"
started=$SECONDS
qemu-system-x86_64 -accel tcg,thread=multi -smp 2 -m 512 -nodefaults -display none \
  -no-reboot -kernel "$cache/vmlinuz" -initrd "$stage/initrd" \
  -append "console=ttyS0 panic=-1 loglevel=4" \
  -serial "file:$out/console.log" -serial "file:$stage/results.tar" &
qemu_pid=$!
while kill -0 "$qemu_pid" 2>/dev/null; do
  if ((SECONDS - started >= guest_limit)); then
    echo "run-guest: guest still running after ${guest_limit} s; stopping QEMU (pid $qemu_pid)" >&2
    kill -TERM "$qemu_pid"
    sleep 1
    exit 1
  fi
  sleep 0.2
done
wait "$qemu_pid" || { echo "run-guest: QEMU failed" >&2; qemu_pid=''; exit 1; }
qemu_pid=''
echo "run-guest: guest ran $((SECONDS - started)) s"
grep -q '^rig: done' "$out/console.log" || { echo "run-guest: the guest did not finish its cases" >&2; exit 1; }
tar -xf "$stage/results.tar" -C "$out"
