#!/usr/bin/env bash
# Builds Qpid Proton C++ for the Windows program: Debian's source package of
# the version the Linux build uses, cross-compiled as static libraries with
# the MinGW-w64 posix compilers (the C++ binding uses std::thread), installed
# into OUTDIR. Does nothing when OUTDIR already holds this version.
#
# usage: build-proton-mingw.sh OUTDIR
#
# The sources come through apt (`apt-get source --download-only`), so a
# deb-src entry is added beside the machine's own deb entries when there is
# none. Only the upstream tarball is used, checked against the size and
# SHA-256 sum the .dsc lists (apt checks the .dsc itself against the signed
# archive index).
set -euo pipefail

[[ $# -eq 1 ]] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
out=$(realpath -m "$1")
script_dir=$(cd "$(dirname "$0")" && pwd)
source_version=0.37.0-2
upstream_version=${source_version%-*}
# The stamp names the mends' revision too: a new mend builds the library again.
mends_revision=2
stamp="$out/tarnwick-proton-$upstream_version-mends-$mends_revision.stamp"
[[ -f "$stamp" ]] && exit 0

started=$(date +%s)
run_as_root=()
[[ $(id -u) -ne 0 ]] && run_as_root=(sudo)

# apt knows no source packages without a deb-src entry: add one that mirrors
# the deb entries of debian.sources, then refresh the index once.
ensure_deb_src() {
  if apt-get source --print-uris "qpid-proton=$source_version" >/dev/null 2>&1; then
    return
  fi
  local sources=/etc/apt/sources.list.d/debian.sources
  local entry=/etc/apt/sources.list.d/tarnwick-deb-src.sources
  [[ -f "$sources" ]] || { echo "no $sources to mirror: add a deb-src entry by hand" >&2; exit 1; }
  echo "adding $entry"
  sed 's/^Types: deb$/Types: deb-src/' "$sources" | "${run_as_root[@]}" tee "$entry" >/dev/null
  "${run_as_root[@]}" apt-get update -qq
}

# The .dsc lists each file with its size and SHA-256 (Checksums-Sha256).
check_against_dsc() {
  local dsc=$1 file=$2
  local line
  line=$(awk -v f="$file" '/^Checksums-Sha256:/{s=1;next} /^[^ ]/{s=0} s && $3==f {print $1, $2}' "$dsc")
  [[ -n "$line" ]] || { echo "$file is not listed in $dsc" >&2; exit 1; }
  local want_sum=${line% *} want_size=${line#* }
  local size sum
  size=$(stat -c %s "$file")
  sum=$(sha256sum "$file" | cut -d' ' -f1)
  if [[ "$size" != "$want_size" || "$sum" != "$want_sum" ]]; then
    echo "$file does not match $dsc (size $size, sha256 $sum)" >&2
    exit 1
  fi
}

# Applies one sed expression to FILE; fails when it changes nothing (the
# sources are not the ones these mends were made for).
mend() {
  local file=$1 expression=$2 before
  before=$(sha256sum <"$file")
  sed -i "$expression" "$file"
  if [[ $(sha256sum <"$file") == "$before" ]]; then
    echo "mend did not apply to $file: $expression" >&2
    exit 1
  fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-proton.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

ensure_deb_src
# The debian.tar.xz may be missing from the mirror; only the .dsc and the
# upstream tarball are needed, so a failed download of the rest is fine.
apt-get source --download-only "qpid-proton=$source_version" >download.log 2>&1 || true
dsc="qpid-proton_$source_version.dsc"
orig="qpid-proton_$upstream_version.orig.tar.xz"
for f in "$dsc" "$orig"; do
  [[ -f "$f" ]] || { cat download.log >&2; echo "apt-get source did not fetch $f" >&2; exit 1; }
done
check_against_dsc "$dsc" "$orig"
mkdir src
tar -xJf "$orig" -C src --strip-components=1
cd src

# Mends for MinGW: Windows header names in lower case (the file system is
# case sensitive), two pointer conversions g++ refuses, a function declared
# extern and later static, and the system libraries' names in lower case.
grep -rlE 'Ws2tcpip\.h|Schnlsp\.h|WinInet\.h' c cpp | xargs -r sed -i \
  -e 's/Ws2tcpip\.h/ws2tcpip.h/g' -e 's/Schnlsp\.h/schnlsp.h/g' -e 's/WinInet\.h/wininet.h/g'
mend c/src/ssl/schannel.cpp 's/tmpctx = false;/tmpctx = NULL;/'
mend c/src/ssl/schannel.cpp \
  's/0, szOID_COMMON_NAME,/0, (void *) szOID_COMMON_NAME,/'
mend c/src/proactor/win_iocp.cpp \
  's/^void pni_events_update(iocpdesc_t \*iocpd, int events);/static &/'
mend c/CMakeLists.txt 's/Crypt32\.lib Secur32\.lib/crypt32 secur32/'
# A deadlock in the IOCP proactor's timer: pn_proactor_set_timeout holds
# timer_lock while DeleteTimerQueueTimer waits for a firing timeout_cb,
# which waits for timer_lock. Any schedule() that meets the timer firing
# hangs the container (seen under load: nothing more sent, no exit). The
# callback needs only the context lock, which guards what it touches; an
# old timer that fires after a new one is armed only wakes the container
# early, which then arms it again.
mend c/src/proactor/win_iocp.cpp \
  '/^VOID CALLBACK timeout_cb(/,/^}/{/csguard gtimer(&p->timer_lock);/d}'
mend c/CMakeLists.txt 's/ws2_32 Rpcrt4/ws2_32 rpcrt4/'

# Static libraries only: the C core, the IOCP proactor and the C++ binding,
# with SChannel for TLS and no SASL library (PLAIN and ANONYMOUS are built in).
toolchain="$script_dir/../cmake/mingw-w64.cmake"
flags="-D__USE_MINGW_ANSI_STDIO=1"  # the %zd formats
cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_BINDINGS=cpp \
  -DBUILD_STATIC_LIBS=ON -DBUILD_TESTING=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TOOLS=OFF \
  -DPROACTOR=iocp -DSSL_IMPL=schannel -DSASL_IMPL=none -DENABLE_JSONCPP=OFF \
  -DENABLE_WARNING_ERROR=OFF >configure.log 2>&1 || { cat configure.log >&2; exit 1; }
cmake --build build -j"${PROTON_BUILD_JOBS:-2}" --target qpid-proton-core-static \
  qpid-proton-proactor-static qpid-proton-cpp-static >build.log 2>&1 || { tail -40 build.log >&2; exit 1; }

# Install by hand: the headers (with the generated ones) and the three
# archives, plus the core's start-up object on its own. It holds only a
# constructor that sets up the library, so no linker pulls it out of the
# archive; consumers link it explicitly.
rm -rf "$out"
mkdir -p "$out/include/proton" "$out/lib"
cp -r c/include/proton/. cpp/include/proton/. "$out/include/proton/"
find build/c/include/proton -name '*.h' -exec cp {} "$out/include/proton/" \;
find "$out/include" -name "*.in" -delete
for lib in qpid-proton-core-static qpid-proton-proactor-static qpid-proton-cpp-static; do
  archive=$(find build -name "lib$lib.a" | head -n 1)
  [[ -n "$archive" ]] || { echo "lib$lib.a was not built" >&2; exit 1; }
  cp "$archive" "$out/lib/lib${lib%-static}.a"
done
start_member=$(x86_64-w64-mingw32-ar t "$out/lib/libqpid-proton-core.a" | grep '^start\.c\.obj$')
(cd "$out/lib" && x86_64-w64-mingw32-ar x libqpid-proton-core.a "$start_member" &&
  mv "$start_member" proton-start.obj)
echo "qpid-proton $source_version (MinGW-w64 static), built in $(($(date +%s) - started)) s" >"$stamp"
cat "$stamp"
