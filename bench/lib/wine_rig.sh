# shellcheck shell=bash
# The Windows program's view of the simulated modem: a Wine prefix of the
# benchmark's own (made once with wineboot and kept in bench/out), a USB
# device entry with the modem's hardware ids and PortName COM7 in its
# registry, and dosdevices/com7 linked to the simulator's pty. One
# wineserver runs for the whole benchmark, so no run pays for starting it,
# and is stopped at exit. Sourced; uses common.sh.

WINE_PREFIX_DIR="$OUT_DIR/wine-prefix"
WINE64=""
WINESERVER=""
WINESERVER_PID=""

find_wine() {
  local dir
  for dir in /usr/lib/wine /usr/lib64/wine /opt/wine-stable/bin; do
    [[ -x "$dir/wine64" && -x "$dir/wineserver" ]] || continue
    WINE64="$dir/wine64" WINESERVER="$dir/wineserver"
    return 0
  done
  WINE64=$(command -v wine64 || true) WINESERVER=$(command -v wineserver || true)
  [[ -n "$WINE64" && -n "$WINESERVER" ]] || die "wine64 and wineserver not found"
}

# COMMAND... with the prefix's Wine environment, no display, no Mono or
# Gecko installer and no debug output.
wine_env() {
  env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    DISPLAY= WAYLAND_DISPLAY= "$@"
}

wine_rig_boot() {
  [[ -f "$WINE_PREFIX_DIR/.bench-prefix-ready" ]] && return 0
  note "making the benchmark's Wine prefix (wineboot, once)"
  rm -rf "$WINE_PREFIX_DIR"
  mkdir -p "$WINE_PREFIX_DIR"
  wine_env timeout 300 "$WINE64" wineboot -i >"$OUT_DIR/wineboot.log" 2>&1 ||
    die "wineboot failed, see $OUT_DIR/wineboot.log"
  wine_env timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  wine_env timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
  touch "$WINE_PREFIX_DIR/.bench-prefix-ready"
}

# Starts the prefix's wineserver in the foreground of a background job (so
# its pid is known) and waits, bounded, until it listens: its socket is
# server-<device>-<inode of the prefix>/socket in a folder of the temporary
# directory (.wine-<uid> or, on Debian, wine-XXXXXX).
wine_rig_start_server() {
  local server_dir i
  server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINE_PREFIX_DIR")" "$(stat -c %i "$WINE_PREFIX_DIR")")
  # Not through wine_env: a function would run in a subshell whose pid is
  # not the server's. env and the wineserver script exec, keeping the pid.
  env WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all "$WINESERVER" -f -p \
    </dev/null >/dev/null 2>"$OUT_DIR/wineserver.err" &
  WINESERVER_PID=$!
  at_exit wine_rig_stop_server
  for ((i = 0; i < 200; i++)); do
    compgen -G "${TMPDIR:-/tmp}/*wine-*/$server_dir/socket" >/dev/null && return 0
    kill -0 "$WINESERVER_PID" 2>/dev/null || break
    sleep 0.05
  done
  die "the wineserver did not start: $(cat "$OUT_DIR/wineserver.err")"
}

# The pids of the processes that run on the prefix (its environment holds
# WINEPREFIX=<prefix>): the server and the services it started.
wine_prefix_pids() {
  local environ
  for environ in /proc/[0-9]*/environ; do
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINE_PREFIX_DIR" || continue
    environ=${environ#/proc/}
    printf '%s\n' "${environ%/environ}"
  done
}

# Stops the server; the prefix's services end with it. Whatever of ours is
# still there after a bounded wait is killed by its pid.
wine_rig_stop_server() {
  local pid
  [[ -n "$WINESERVER_PID" ]] || return 0
  wine_env timeout 15 "$WINESERVER" -k >/dev/null 2>&1 || true
  wait_gone "$WINESERVER_PID" 10 || kill -KILL "$WINESERVER_PID" 2>/dev/null || true
  wait "$WINESERVER_PID" 2>/dev/null || true
  WINESERVER_PID=""
  for pid in $(wine_prefix_pids); do
    wait_gone "$pid" 10 || kill -KILL "$pid" 2>/dev/null || true
  done
}

# Comma-separated hex of the bytes on standard input, as .reg files write
# binary values.
reg_hex() { od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//; s/,$//'; }

# The modem's serial interface as Windows lists it: hardware ids with and
# without the revision, the Ports setup class, PortName COM7.
wine_rig_register() {
  local key='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\USB'
  local ids="USB\\VID_${MODEM_VID^^}&PID_${MODEM_PID^^}"
  local instance="$key\\VID_${MODEM_VID^^}&PID_${MODEM_PID^^}&MI_00\\7&b3c4d5&0&0000"
  local reg="$OUT_DIR/modem-device.reg" hardware_ids
  hardware_ids=$(printf '%s\0%s\0\0' "$ids&REV_0318&MI_00" "$ids&MI_00" | reg_hex)
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    "[$instance]" "\"HardwareID\"=hex(7):$hardware_ids" \
    '"ClassGUID"="{4d36e978-e325-11ce-bfc1-08002be10318}"' '' \
    "[$instance\\Device Parameters]" "\"PortName\"=\"COM$COM_NUMBER\"" '' >"$reg"
  wine_env timeout 60 "$WINE64" regedit /S "$reg" >/dev/null 2>&1 || die "regedit $reg failed"
  wine_env timeout 60 "$WINE64" reg query "$instance\\Device Parameters" /v PortName 2>/dev/null |
    grep -q "COM$COM_NUMBER" || die "the modem's registry entry is not there after regedit"
}

# Points COM7 of the prefix at PTY.
wine_rig_plug() { ln -sfn "$1" "$WINE_PREFIX_DIR/dosdevices/com$COM_NUMBER"; }

wine_rig_up() {
  find_wine
  wine_rig_boot
  wine_rig_start_server
  wine_rig_register
}
