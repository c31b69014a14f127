# shellcheck shell=bash
# The simulated modem for one measured run: echo on, no faults, no command
# log; it writes what it received to DIR/received.bin when the download
# ends. Sourced; uses common.sh.

SIM_PID=""
SIM_PTY=""

# sim_start DIR: starts the simulator and waits (bounded) for its pty.
sim_start() {
  local dir=$1 i
  rm -f "$dir/received.bin" "$dir/sim.out"
  "$MODEM_SIM" --image-out "$dir/received.bin" --exit-after-ms 900000 \
    >"$dir/sim.out" 2>"$dir/sim.err" </dev/null &
  SIM_PID=$!
  for ((i = 0; i < 100; i++)); do
    SIM_PTY=$(awk '/^PTY /{ print $2; exit }' "$dir/sim.out" 2>/dev/null)
    [[ -n "$SIM_PTY" ]] && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  die "the simulated modem did not start: $(cat "$dir/sim.err" 2>/dev/null)"
}

sim_stop() {
  end_process "$SIM_PID"
  SIM_PID=""
  SIM_PTY=""
}

at_exit sim_stop
