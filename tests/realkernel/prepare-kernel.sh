#!/usr/bin/env bash
# Makes the guest's kernel and base initramfs from Debian's own kernel
# package and caches them in CACHE_DIR: vmlinuz, and base.cpio holding static
# busybox and the USB modules the rig needs (with what they depend on) under a
# modules.dep of their own. The host's running kernel plays no part. Does
# nothing when the cache matches the kernel package, busybox and module list.
#
# usage: prepare-kernel.sh CACHE_DIR
set -euo pipefail

cache=$1
modules=(dummy_hcd libcomposite usb_f_acm usb_f_serial cdc-acm option)

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}
package=$(kernel_package)
if [[ -z "$package" && -f "$cache/stamp" ]]; then
  echo "prepare-kernel: apt knows no kernel package; using the cached $(cut -d';' -f1 "$cache/stamp")"
  exit 0
fi
[[ -n "$package" ]] || { apt-get update -qq && package=$(kernel_package); }
[[ -n "$package" ]] || { echo "prepare-kernel: no kernel package behind linux-image-amd64" >&2; exit 1; }
version=$(apt-cache show --no-all-versions "$package" | awk '/^Version:/ { print $2; exit }')
stamp="$package $version; $(sha256sum /bin/busybox | cut -c1-16); ${modules[*]}"
if [[ -f "$cache/stamp" && "$(cat "$cache/stamp")" == "$stamp" && -f "$cache/vmlinuz" && -f "$cache/base.cpio" ]]; then
  exit 0
fi

echo "prepare-kernel: building the guest from $package $version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -q "$package=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
dpkg-deb -x "$work"/*.deb "$work/package"
release=$(ls "$work/package/lib/modules")
tree="$work/package/lib/modules/$release"
busybox depmod -b "$work/package" "$release"

# The wanted modules and everything they depend on, as paths in the tree.
needed=()
for name in "${modules[@]}"; do
  line=$(grep -E "(^|/)${name}\.ko:" "$tree/modules.dep") || { echo "prepare-kernel: no module $name" >&2; exit 1; }
  needed+=(${line//:/})
done

root="$work/root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,results} "$root/lib/modules/$release"
cp /bin/busybox "$root/bin/busybox"
for path in $(printf '%s\n' "${needed[@]}" | sort -u); do
  mkdir -p "$root/lib/modules/$release/$(dirname "$path")"
  cp "$tree/$path" "$root/lib/modules/$release/$path"
done
busybox depmod -b "$root" "$release"

mkdir -p "$cache"
(cd "$root" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) >"$cache/base.cpio.new"
cp "$work/package/boot/vmlinuz-$release" "$cache/vmlinuz.new"
mv "$cache/base.cpio.new" "$cache/base.cpio"
mv "$cache/vmlinuz.new" "$cache/vmlinuz"
echo "$stamp" >"$cache/stamp"
