# shellcheck shell=bash
# Instructions per MiB: the native tool and the Linux floor client each
# download a small image under callgrind. It counts the user-space
# instructions a program executes, which the load on the machine does not
# change, so the figure is the same from run to run. Process start-up is
# included (the same few hundred thousand instructions for both clients).
# Sourced; uses common.sh, sim.sh, linux_rig.sh and cases.sh.

CALLGRIND_MIB=1
CALLGRIND_TIMEOUT_S=600

# count_instructions NAME CLIENT: one download of the CALLGRIND_MIB image by
# CLIENT (tool or floor) under callgrind, on a fresh simulated modem; the
# result goes to $RESULTS_DIR/NAME.kv (instructions=, ok=, ...).
count_instructions() {
  local name=$1 client=$2 image dir="$OUT_DIR/runs/$1" status=0
  image=$(image_for "$CALLGRIND_MIB")
  mkdir -p "$dir" "$RESULTS_DIR"
  sim_start "$dir"
  linux_rig_plug "$SIM_PTY"
  # Bounded: timeout ends valgrind (its own child) if the run hangs.
  local grind=(timeout -k 5 "$CALLGRIND_TIMEOUT_S" valgrind --tool=callgrind
    --callgrind-out-file="$dir/callgrind.out")
  if [[ $client == tool ]]; then
    (cd "$IMAGES_DIR" && linux_rig_run "${grind[@]}" "$TARNWICK_NATIVE" "$(basename "$image")") \
      </dev/null >"$dir/client.out" 2>"$dir/client.err" || status=$?
  else
    (cd "$IMAGES_DIR" && "${grind[@]}" "$LINUX_FLOOR" "$SIM_PTY" "$(basename "$image")") \
      </dev/null >"$dir/client.out" 2>"$dir/client.err" || status=$?
  fi
  sim_stop
  local instructions ok=1
  instructions=$(awk '/^(summary|totals):/ { print $2; exit }' "$dir/callgrind.out" 2>/dev/null)
  [[ $status == 0 && -n $instructions ]] || ok=0
  [[ $client == floor ]] || grep -q "Finished Download" "$dir/client.out" || ok=0
  cmp -s "$image" "$dir/received.bin" || ok=0
  printf 'build=native\nclient=%s\njob=callgrind\nok=%s\nexit=%s\nimage_bytes=%s\ninstructions=%s\n' \
    "$client" "$ok" "$status" "$(stat -c %s "$image")" "${instructions:-0}" >"$RESULTS_DIR/$name.kv"
  [[ $ok == 1 ]] || note "bench: $name did not do its job (see $dir)"
  note "  $name: ${instructions:-?} instructions, ok=$ok"
}
