#!/usr/bin/env bash
# Short fuzz runs: builds the libFuzzer targets (the fuzz preset, clang) and
# runs each for a few seconds on a copy of its seed corpus, so the repository
# is left as it is. A crash, a sanitizer report, a broken invariant or an
# input that runs too long fails the run; the input is kept and its path
# printed. TARNWICK_FUZZ_SECONDS sets the time per target (default 12).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${TARNWICK_FUZZ_SECONDS:-12}
targets=(fuzz_reply_collection fuzz_download fuzz_port_lookup fuzz_command_line fuzz_packet_size)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-fuzz.XXXXXX")
failed=()
for target in "${targets[@]}"; do
  dir="$work/$target"
  mkdir -p "$dir/corpus"
  cp tests/fuzz/corpus/"$target"/* "$dir/corpus/"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$dir/" -print_final_stats=1)
  if [[ -f tests/fuzz/$target.dict ]]; then
    options+=(-dict="tests/fuzz/$target.dict")
  fi
  # The outer limit only guards against a fuzzer that never returns; files
  # a target writes for itself go into its own folder.
  if TMPDIR="$dir" timeout --kill-after=10 $((seconds + 120)) \
      "build/fuzz/tests/fuzz/$target" "${options[@]}" "$dir/corpus" >"$dir/log" 2>&1; then
    stats=$(grep -E '^stat::(number_of_executed_units|average_exec_per_sec):' "$dir/log" |
            sed 's/^stat:://' | tr -s ' \n' ' ')
    echo "$target: passed ($stats)"
  else
    failed+=("$target")
    echo "$target: FAILED - log $dir/log"
    grep -a -A1 -E 'invariant failed|ERROR: AddressSanitizer|runtime error' "$dir/log" |
      head -n 6 || true
    grep -a -E '^SUMMARY|Test unit written' "$dir/log" || true
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz targets failed: ${failed[*]} (inputs and logs kept in $work)"
  exit 1
fi
rm -rf "$work"
echo "fuzz targets passed"
