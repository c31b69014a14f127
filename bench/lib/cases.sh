# shellcheck shell=bash
# One measured run: a fresh simulated modem, plugged into the build's rig,
# and one client (the tool or the floor client) run under bench-measure.
# The results go to $RESULTS_DIR/<name>.kv as key=value lines. Sourced;
# uses common.sh, sim.sh, linux_rig.sh and wine_rig.sh.

RESULTS_DIR="$OUT_DIR/results"
IMAGES_DIR="$OUT_DIR/images"
RUN_TIMEOUT_MS=900000

# image_for MIB: the path of an image of MIB MiB of random bytes (made once).
image_for() {
  local path="$IMAGES_DIR/image-$1mib.bin" bytes=$(($1 * 1048576))
  mkdir -p "$IMAGES_DIR"
  if [[ ! -f "$path" || $(stat -c %s "$path") -ne $bytes ]]; then
    head -c "$bytes" /dev/urandom >"$path.part" && mv "$path.part" "$path"
  fi
  printf '%s\n' "$path"
}

# The command (after "--" of bench-measure) that runs CLIENT of BUILD with
# the job ARGUMENT (an image file name, or "AT" for one AT command).
client_command() {
  local build=$1 client=$2 job=$3
  case "$build/$client/$job" in
    native/tool/AT) printf '%s\n' "$TARNWICK_NATIVE" AT AT ;;
    native/tool/*) printf '%s\n' "$TARNWICK_NATIVE" "$job" ;;
    native/floor/AT) printf '%s\n' "$LINUX_FLOOR" "$SIM_PTY" --at ;;
    native/floor/*) printf '%s\n' "$LINUX_FLOOR" "$SIM_PTY" "$job" ;;
    windows/tool/AT) printf '%s\n' env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINE64" "$TARNWICK_WINDOWS" AT AT ;;
    windows/tool/*) printf '%s\n' env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINE64" "$TARNWICK_WINDOWS" "$job" ;;
    windows/floor/AT) printf '%s\n' env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINE64" "$WIN32_FLOOR" "COM$COM_NUMBER" --at ;;
    windows/floor/*) printf '%s\n' env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINE64" "$WIN32_FLOOR" "COM$COM_NUMBER" "$job" ;;
  esac
}

# Whether the run did its job: exit 0, the tool's verdict in its output, and
# for a download the simulator holding exactly the image.
judge_run() {
  local client=$1 job=$2 dir=$3 image=$4 result=$5
  [[ $(kv "$result" exit) == 0 ]] || return 1
  if [[ $job == AT ]]; then
    [[ $client == floor ]] || grep -q OK "$dir/client.out"
  else
    [[ $client == floor ]] || grep -q "Finished Download" "$dir/client.out"
    cmp -s "$image" "$dir/received.bin"
  fi
}

# measure NAME BUILD CLIENT IMAGE_PATH|AT
measure() {
  local name=$1 build=$2 client=$3 image=$4
  local dir="$OUT_DIR/runs/$name" result="$RESULTS_DIR/$name.kv" job command=()
  mkdir -p "$dir" "$RESULTS_DIR"
  job=AT
  [[ $image == AT ]] || job=$(basename "$image")
  sim_start "$dir"
  local watch=(--watch "sim=$SIM_PID")
  if [[ $build == native ]]; then
    linux_rig_plug "$SIM_PTY"
  else
    wine_rig_plug "$SIM_PTY"
    watch+=(--watch "wineserver=$WINESERVER_PID" --watch-env "WINEPREFIX=$WINE_PREFIX_DIR")
  fi
  mapfile -t command < <(client_command "$build" "$client" "$job")
  local runner=("$BENCH_MEASURE" --out "$result" --stdout "$dir/client.out" --stderr "$dir/client.err"
    --timeout-ms "$RUN_TIMEOUT_MS" "${watch[@]}" -- "${command[@]}")
  # The Linux program runs inside the rig's namespace, bench-measure with it
  # so that it times the program alone; everything else runs as it is.
  if [[ $build/$client == native/tool ]]; then
    (cd "$IMAGES_DIR" && linux_rig_run "${runner[@]}" </dev/null)
  else
    (cd "$IMAGES_DIR" && "${runner[@]}" </dev/null)
  fi || die "bench-measure failed for $name"
  sim_stop
  local ok=1
  judge_run "$client" "$job" "$dir" "$image" "$result" || ok=0
  {
    printf 'build=%s\nclient=%s\njob=%s\nok=%s\n' "$build" "$client" "$job" "$ok"
    [[ $job == AT ]] || printf 'image_bytes=%s\n' "$(stat -c %s "$image")"
    # The floor client's own timing of its packet loop or AT round trip.
    tr -d '\r' <"$dir/client.out" | awk '/^floor /{ for (i = 2; i <= NF; i++) print "floor_" $i }'
  } >>"$result"
  [[ $ok == 1 ]] || note "bench: $name did not do its job (see $dir)"
  note "  $name: wall $(kv "$result" wall_s) s, ok=$ok"
}
