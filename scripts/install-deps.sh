#!/usr/bin/env bash
# Installs what building and testing Tarnwick needs on a Debian machine:
# the native toolchain and GoogleTest, the MinGW-w64 cross compiler for the
# Windows program, Wine to run it, clang's libFuzzer for the fuzz targets,
# valgrind, QEMU with static busybox for the real-kernel guest (its kernel
# package is fetched with apt-get download and unpacked with dpkg-deb, both
# part of every Debian), Qpid Proton C++ for the station's AMQP publisher, zlib
# (native and MinGW) for gzip-compressed CFX bodies, and
# RabbitMQ with Proton's Python binding for the broker tests. (The Windows
# build's Proton comes from Debian's source package: scripts/build-proton-mingw.sh.)
# Does nothing when everything is there already.
#
# usage: install-deps.sh [--demo]
#   --demo  only what the demo needs: the native toolchain and the station's
#           libraries (CLI11, nlohmann-json, OpenSSL, Qpid Proton C++) to build the Linux
#           programs and the simulated modem, and unshare for the USB rig.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev googletest
          g++-mingw-w64-x86-64-posix mingw-w64 wine64
          clang libclang-rt-14-dev valgrind util-linux
          libcli11-dev nlohmann-json3-dev libssl-dev
          qemu-system-x86 busybox-static
          libqpid-proton-cpp12-dev rabbitmq-server python3-qpid-proton
          zlib1g-dev libz-mingw-w64-dev)

if [[ "${1:-}" == "--demo" ]]; then
  packages=(cmake ninja-build g++ util-linux libcli11-dev nlohmann-json3-dev libssl-dev
            libqpid-proton-cpp12-dev zlib1g-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
