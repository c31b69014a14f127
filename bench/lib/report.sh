# shellcheck shell=bash
# Turns the runs' key=value results into the benchmark's table and JSON.
# Sourced; uses common.sh and cases.sh ($RESULTS_DIR).
#
# Definitions (all from the runs of this invocation; of repeated downloads
# the one with the shortest wall time counts):
#   MiB/s        image MiB / wall time of the client process
#   net MiB/s    the tool's image MiB / (wall time - the 0.5 s search pause);
#                the floor clients do no search, so theirs equals MiB/s
#   ratio        tool net MiB/s / floor MiB/s of the same build
#   CPU s/MiB    CPU of the client's process tree (+ for Wine, the CPU that the
#                prefix's wineserver and services used meanwhile) / image MiB
#   peak RSS     VmHWM of the client program, sampled every 5 ms
#   sim CPU      the simulator's utime+stime over the run / wall time
#   instr/MiB    user-space instructions under callgrind / image MiB, for
#                one download of a 1 MiB image (native build only)

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
# 1 when the comparison of two numbers holds, else 0.
holds() { awk "BEGIN { print (($1) ? 1 : 0) }"; }

# r NAME KEY: a value of run NAME.
r() { kv "$RESULTS_DIR/$1.kv" "$2"; }

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The metrics of one download run, as shell assignments prefixed by $2.
download_metrics() {
  local name=$1 p=$2 mib wall cpu net wine_side=0
  mib=$(calc "$(r "$name" image_bytes) / 1048576")
  wall=$(r "$name" wall_s)
  [[ $(r "$name" build) == windows ]] && wine_side=$(r "$name" env_cpu_s)
  cpu=$(calc "$(r "$name" cpu_s) + $wine_side")
  net=$wall
  [[ $(r "$name" client) == tool ]] && net=$(calc "$wall - $SEARCH_PAUSE_S")
  printf '%s_mib=%s %s_wall=%s %s_mibps=%s %s_net_mibps=%s %s_cpu_per_mib=%s %s_rss_kib=%s %s_sim_share=%s %s_ok=%s\n' \
    "$p" "$mib" "$p" "$wall" "$p" "$(calc "$mib / $wall")" "$p" "$(calc "$mib / $net")" \
    "$p" "$(calc "$cpu / $mib")" "$p" "$(r "$name" hwm_kib)" \
    "$p" "$(calc "$(r "$name" watch_sim_cpu_s) / $wall")" "$p" "$(r "$name" ok)"
}

# best_run PREFIX: of the runs PREFIX-1, PREFIX-2, ... the one with the
# shortest wall time (noise from other work on the machine only adds time).
best_run() {
  local file
  for file in "$RESULTS_DIR/$1"-[0-9]*.kv; do
    printf '%s %s\n' "$(kv "$file" wall_s)" "$(basename "$file" .kv)"
  done | sort -g | head -1 | cut -d' ' -f2
}

verdict() { if [[ $1 == 1 ]]; then echo met; else echo missed; fi; }

# Fills B_<build>_* variables with every figure the table and JSON show.
collect_build() {
  local b=$1 i tool_at=() floor_at=() floor_rtt=() mib
  eval "$(download_metrics "$(best_run "$b-tool-download")" "B_${b}_tool")"
  eval "$(download_metrics "$(best_run "$b-floor-download")" "B_${b}_floor")"
  eval "B_${b}_ratio=\$(calc \"\$B_${b}_tool_net_mibps / \$B_${b}_floor_mibps\")"
  for ((i = 1; i <= AT_REPEATS; i++)); do
    tool_at+=("$(r "$b-tool-at-$i" wall_s)")
    floor_at+=("$(r "$b-floor-at-$i" wall_s)")
    floor_rtt+=("$(r "$b-floor-at-$i" floor_at_s)")
  done
  eval "B_${b}_at_tool_wall=$(median "${tool_at[@]}")"
  eval "B_${b}_at_tool_beyond=\$(calc \"\$B_${b}_at_tool_wall - $SEARCH_PAUSE_S\")"
  eval "B_${b}_at_floor_wall=$(median "${floor_at[@]}")"
  eval "B_${b}_at_floor_rtt=$(median "${floor_rtt[@]}")"
  eval "B_${b}_at_gap=\$(calc \"\$B_${b}_at_tool_beyond - \$B_${b}_at_floor_wall\")"
  local rss=() flat=1 small=1
  for mib in $MEMORY_MIB; do
    rss+=("$(r "$b-tool-memory-$mib" hwm_kib)")
    eval "B_${b}_rss_$mib=$(r "$b-tool-memory-$mib" hwm_kib)"
  done
  # Flat: every size within 256 KiB (page and allocator noise) of the smallest.
  local lo hi
  lo=$(printf '%s\n' "${rss[@]}" | sort -n | head -1) hi=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
  (( hi - lo <= 256 )) || flat=0
  (( hi < 8192 )) || small=0
  eval "B_${b}_rss_min=$lo B_${b}_rss_max=$hi"
  eval "B_${b}_target_throughput=$(holds "$(v "$b" ratio) >= 0.95")"
  eval "B_${b}_cpu_ratio=\$(calc \"\$B_${b}_tool_cpu_per_mib / \$B_${b}_floor_cpu_per_mib\")"
  eval "B_${b}_target_cpu=$(holds "$(v "$b" cpu_ratio) <= 1.5")"
  if [[ $b == native ]]; then collect_instructions "$b"; fi
  eval "B_${b}_target_rss_flat=$flat B_${b}_target_rss_small=$small"
  eval "B_${b}_target_at=$(holds "$(v "$b" at_gap) <= 0.020")"
}

v() { local name="B_$1_$2"; printf '%s' "${!name}"; }

# Instructions per MiB of the tool and the floor client under callgrind.
collect_instructions() {
  local b=$1 c mib
  for c in tool floor; do
    mib=$(calc "$(r "$b-$c-callgrind" image_bytes) / 1048576")
    eval "B_${b}_${c}_instr_per_mib=$(calc "$(r "$b-$c-callgrind" instructions) / $mib")"
  done
  eval "B_${b}_instr_ratio=\$(calc \"\$B_${b}_tool_instr_per_mib / \$B_${b}_floor_instr_per_mib\")"
  eval "B_${b}_target_instr=$(holds "$(v "$b" instr_ratio) <= 1.5")"
}

print_table() {
  local b c
  printf '\nTarnwick download benchmark: %s MiB image, %s\n' "$SIZE_MIB" "$MACHINE_LINE"
  printf 'programs: source %s; tarnwick sha256 %s…, tarnwick.exe sha256 %s…\n' \
    "$SOURCE_COMMIT" "$TOOL_SHA_NATIVE" "$TOOL_SHA_WINDOWS"
  printf 'load average at start %s, at end %s; downloads: best of %s runs, AT: median of %s\n\n' "$LOAD_START" "$LOAD_END" "$REPEATS" "$AT_REPEATS"
  printf '%-14s %8s %8s %10s %10s %10s %8s %6s\n' run "wall s" "MiB/s" "net MiB/s" "CPU s/MiB" "RSS MiB" "sim CPU" image
  for b in native windows; do
    for c in tool floor; do
      printf '%-14s %8.3f %8.3f %10.3f %10.4f %10.2f %7.0f%% %6s\n' "$b $c" \
        "$(v "$b" "${c}_wall")" "$(v "$b" "${c}_mibps")" "$(v "$b" "${c}_net_mibps")" \
        "$(v "$b" "${c}_cpu_per_mib")" "$(calc "$(v "$b" "${c}_rss_kib") / 1024")" \
        "$(calc "100 * $(v "$b" "${c}_sim_share")")" "$( [[ $(v "$b" "${c}_ok") == 1 ]] && echo ok || echo BAD)"
    done
  done
  printf '\n%-8s %12s %16s %16s %14s %12s %14s\n' build "tool/floor" "AT: tool-0.5s" "AT: floor proc" "AT: floor RTT" "AT gap" "tool RSS"
  for b in native windows; do
    printf '%-8s %12.3f %14.1f ms %13.1f ms %11.2f ms %9.1f ms %10s MiB\n' "$b" "$(v "$b" ratio)" \
      "$(calc "1000 * $(v "$b" at_tool_beyond)")" "$(calc "1000 * $(v "$b" at_floor_wall)")" \
      "$(calc "1000 * $(v "$b" at_floor_rtt)")" "$(calc "1000 * $(v "$b" at_gap)")" \
      "$(calc "$(v "$b" rss_min) / 1024" | cut -c1-4)-$(calc "$(v "$b" rss_max) / 1024" | cut -c1-4)"
  done
  printf '\ninstructions per MiB under callgrind (native, 1 MiB image): tool %.1f M, floor %.1f M, tool/floor %.2f\n' \
    "$(calc "$(v native tool_instr_per_mib) / 1e6")" "$(calc "$(v native floor_instr_per_mib) / 1e6")" "$(v native instr_ratio)"
  printf '\ntargets:\n'
  printf '  native   instructions/MiB <= 1.5 x floor: %s\n' "$(verdict "$(v native target_instr)")"
  for b in native windows; do
    printf '  %-8s CPU/MiB <= 1.5 x floor: %s (%.2f)\n' "$b" "$(verdict "$(v "$b" target_cpu)")" "$(v "$b" cpu_ratio)"
  done
  for b in native windows; do
    printf '  %-8s throughput >= 0.95 of floor: %s;  peak RSS < 8 MiB: %s, same for %s MiB: %s;  AT within 20 ms of floor: %s\n' \
      "$b" "$(verdict "$(v "$b" target_throughput)")" "$(verdict "$(v "$b" target_rss_small)")" \
      "${MEMORY_MIB// /, }" "$(verdict "$(v "$b" target_rss_flat)")" "$(verdict "$(v "$b" target_at)")"
  done
}

json_run() {
  local name=$1 first=1 key value
  printf '"%s": {' "$name"
  while IFS='=' read -r key value; do
    [[ $first == 1 ]] || printf ', '
    first=0
    if [[ $value =~ ^-?[0-9]+(\.[0-9]+)?$ ]]; then printf '"%s": %s' "$key" "$value"; else printf '"%s": "%s"' "$key" "$value"; fi
  done <"$RESULTS_DIR/$name.kv"
  printf '}'
}

json_build() {
  local b=$1 mib first=1
  printf '"%s": {"download": {' "$b"
  printf '"tool_mibps": %s, "tool_net_mibps": %s, "floor_mibps": %s, "ratio": %s, ' \
    "$(v "$b" tool_mibps)" "$(v "$b" tool_net_mibps)" "$(v "$b" floor_mibps)" "$(v "$b" ratio)"
  printf '"tool_cpu_s_per_mib": %s, "floor_cpu_s_per_mib": %s, ' "$(v "$b" tool_cpu_per_mib)" "$(v "$b" floor_cpu_per_mib)"
  printf '"tool_peak_rss_kib": %s, "floor_peak_rss_kib": %s, ' "$(v "$b" tool_rss_kib)" "$(v "$b" floor_rss_kib)"
  printf '"sim_cpu_share_tool_run": %s, "sim_cpu_share_floor_run": %s}, ' "$(v "$b" tool_sim_share)" "$(v "$b" floor_sim_share)"
  printf '"at": {"tool_wall_median_s": %s, "tool_beyond_pause_s": %s, "floor_process_median_s": %s, "floor_round_trip_median_s": %s, "gap_s": %s}, ' \
    "$(v "$b" at_tool_wall)" "$(v "$b" at_tool_beyond)" "$(v "$b" at_floor_wall)" "$(v "$b" at_floor_rtt)" "$(v "$b" at_gap)"
  printf '"memory_peak_rss_kib": {'
  for mib in $MEMORY_MIB; do
    [[ $first == 1 ]] || printf ', '
    first=0
    printf '"%s": %s' "$mib" "$(v "$b" "rss_$mib")"
  done
  printf '}, '
  if [[ $b == native ]]; then
    printf '"callgrind": {"tool_instructions_per_mib": %s, "floor_instructions_per_mib": %s, "ratio": %s, "ratio_at_most_1_5": %s}, ' \
      "$(v "$b" tool_instr_per_mib)" "$(v "$b" floor_instr_per_mib)" "$(v "$b" instr_ratio)" "$(jbool "$(v "$b" target_instr)")"
  fi
  printf '"cpu_ratio": %s, ' "$(v "$b" cpu_ratio)"
  printf '"targets": {"throughput_ratio_at_least_0_95": %s, "cpu_ratio_at_most_1_5": %s, "peak_rss_below_8_mib": %s, "peak_rss_flat": %s, "at_within_20_ms": %s}}' \
    "$(jbool "$(v "$b" target_throughput)")" "$(jbool "$(v "$b" target_cpu)")" "$(jbool "$(v "$b" target_rss_small)")" \
    "$(jbool "$(v "$b" target_rss_flat)")" "$(jbool "$(v "$b" target_at)")"
}

jbool() { if [[ $1 == 1 ]]; then echo true; else echo false; fi; }
jstr() { printf '"%s"' "$(printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g')"; }

write_json() {
  local file=$1 name first=1
  {
    printf '{"image_mib": %s, "repeats": %s, "at_repeats": %s, "search_pause_s": %s, ' "$SIZE_MIB" "$REPEATS" "$AT_REPEATS" "$SEARCH_PAUSE_S"
    printf '"programs": {"source_commit": %s, "tarnwick_from": %s, "tarnwick_sha256_first16": %s, "tarnwick_exe_from": %s, "tarnwick_exe_sha256_first16": %s}, ' \
      "$(jstr "$SOURCE_COMMIT")" "$(jstr "$TOOL_ORIGIN_NATIVE")" "$(jstr "$TOOL_SHA_NATIVE")" \
      "$(jstr "$TOOL_ORIGIN_WINDOWS")" "$(jstr "$TOOL_SHA_WINDOWS")"
    printf '"machine": {"nproc": %s, "cpu_model": %s, "kernel": %s, "wine": %s, "loadavg_start": %s, "loadavg_end": %s}, ' \
      "$(nproc)" "$(jstr "$CPU_MODEL")" "$(jstr "$(uname -r)")" "$(jstr "$WINE_VERSION")" "$(jstr "$LOAD_START")" "$(jstr "$LOAD_END")"
    printf '"builds": {%s, %s}, "runs": {' "$(json_build native)" "$(json_build windows)"
    for name in $(ls "$RESULTS_DIR" | sed 's/\.kv$//'); do
      [[ $first == 1 ]] || printf ', '
      first=0
      json_run "$name"
    done
    printf '}}\n'
  } >"$file"
}
