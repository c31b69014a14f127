# shellcheck shell=bash
# Builds what the benchmark needs and is missing or out of date: the
# shipped programs and the simulator through the CMake presets, and the
# benchmark's own programs (floor clients, bench-measure) in bench/out/build.
# Sourced; uses common.sh.

# Whether BINARY is missing or older than a source file under the DIRS.
stale() {
  local binary=$1
  shift
  [[ -x "$binary" ]] || return 0
  [[ -n $(find "$@" -newer "$binary" -type f -print -quit) ]]
}

build_preset() {
  local preset=$1
  shift
  note "building $* (preset $preset)"
  (cd "$REPO_DIR" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target "$@" >/dev/null) ||
    die "build of $* (preset $preset) failed"
}

build_bench_tree() {
  local name=$1
  shift
  (cmake -S "$BENCH_DIR" -B "$BENCH_BUILD/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null &&
    cmake --build "$BENCH_BUILD/$name" >/dev/null) || die "build of the benchmark programs ($name) failed"
}

build_all() {
  local sources=("$REPO_DIR/src" "$REPO_DIR/CMakeLists.txt")
  local native=("$TARNWICK_NATIVE")
  [[ -z "${BENCH_TARNWICK_NATIVE:-}" ]] || native=("$REPO_DIR/build/native/tarnwick")
  if stale "${native[0]}" "${sources[@]}" || stale "$MODEM_SIM" "$REPO_DIR/tools/modem-sim"; then
    build_preset native tarnwick modem-sim
  fi
  if [[ -z "${BENCH_TARNWICK_WINDOWS:-}" ]] && stale "$TARNWICK_WINDOWS" "${sources[@]}"; then
    build_preset windows tarnwick
  fi
  [[ -x "$TARNWICK_NATIVE" && -f "$TARNWICK_WINDOWS" ]] || die "no tool at $TARNWICK_NATIVE or $TARNWICK_WINDOWS"
  build_bench_tree native
  build_bench_tree windows -DCMAKE_TOOLCHAIN_FILE="$REPO_DIR/cmake/mingw-w64.cmake"
}

# Copies the programs to measure into bench/out/programs, so that every run
# of this invocation measures the same programs even if the shared build
# trees are rebuilt meanwhile, and notes where they came from.
snapshot_programs() {
  local dir="$OUT_DIR/programs" commit dirty
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$TARNWICK_NATIVE" "$dir/tarnwick"
  cp "$TARNWICK_WINDOWS" "$dir/tarnwick.exe"
  cp "$MODEM_SIM" "$dir/modem-sim"
  TOOL_ORIGIN_NATIVE=$TARNWICK_NATIVE TOOL_ORIGIN_WINDOWS=$TARNWICK_WINDOWS
  TARNWICK_NATIVE="$dir/tarnwick" TARNWICK_WINDOWS="$dir/tarnwick.exe" MODEM_SIM="$dir/modem-sim"
  commit=$(git -C "$REPO_DIR" rev-parse --short HEAD 2>/dev/null || echo unknown)
  dirty=$(git -C "$REPO_DIR" status --porcelain -- src tools/modem-sim 2>/dev/null | head -1)
  SOURCE_COMMIT="$commit${dirty:+ (src or modem-sim changed since)}"
  TOOL_SHA_NATIVE=$(sha256sum "$TARNWICK_NATIVE" | cut -c1-16)
  TOOL_SHA_WINDOWS=$(sha256sum "$TARNWICK_WINDOWS" | cut -c1-16)
}
