#!/usr/bin/env bash
# Builds every benchmark (Release, in build-hard), runs each one and a short
# soak, and prints their figures as one table, grouped by benchmark.
#   bash scripts/bench-report.sh [SOAK_SECONDS]   (default 60)
set -uo pipefail
cd "$(dirname "$0")/.."
soak_seconds="${1:-60}"
cmake -S . -B build-hard -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
benches=()
for src in bench/bench_*.cpp; do
  benches+=("$(basename "$src" .cpp)")
done
cmake --build build-hard --target "${benches[@]}" soak_driver >/dev/null || exit 1

heading() {
  case "$1" in
  bench_serial) echo "Serial link (pty and TCP): latency, throughput, idle CPU" ;;
  bench_port_retry) echo "Lost port tried again: main thread's longest gap against one unanswered connect" ;;
  bench_scheduler) echo "Send scheduler: fidelity ratios, CPU idle and scanning" ;;
  bench_startup) echo "Start-up: first window with tables, memory, idle CPU" ;;
  bench_table_store) echo "Table store timings" ;;
  bench_read_all) echo "Read all: measured against ideal" ;;
  bench_sim) echo "Drive simulator round trips" ;;
  bench_line_noise) echo "Line noise: bytes digested per second, memory, recovery" ;;
  bench_trend) echo "Trend: redraw at 5 x 5 x 36,000 samples, memory, idle CPU" ;;
  bench_line_rate) echo "Line rate: requests per second beside libmodbus and pymodbus, last byte to value shown, CPU" ;;
  bench_cli_backup) echo "Command-line backup: requests per second beside libmodbus" ;;
  bench_monitor) echo "Monitor to MQTT: 8 lines x 31 drives beside scan, reply to subscriber, CPU" ;;
  soak) echo "Short soak (${soak_seconds} s): counts and resident memory" ;;
  *) echo "$1" ;;
  esac
}

report=$(mktemp)
trap 'rm -f "$report"' EXIT
run() { # name, command...
  local name="$1"
  shift
  local out status
  local errors
  errors=$(mktemp)
  out=$(QT_QPA_PLATFORM=offscreen timeout 900 "$@" 2>"$errors")
  status=$?
  # the toolkit's warnings go to stderr; they are shown only when a run fails
  [ "$status" -eq 0 ] || out+=$'\n'"$(tail -n 5 "$errors")"$'\n'"exit status: $status"
  rm -f "$errors"
  while IFS= read -r line; do
    [ -n "$line" ] && printf '%s\t%s\n' "$name" "$line" >>"$report"
  done <<<"$out"
}

for name in "${benches[@]}"; do
  echo "running $name ..." >&2
  run "$name" "build-hard/bench/$name"
done
echo "running soak_driver ${soak_seconds} s ..." >&2
run soak bash -c "build-hard/bench/soak_driver $soak_seconds | grep -E '^(soak\\.|ok:|FAIL)'"

# One table: the benchmark's heading, then each line as measurement | value
# (a line "what: figures" splits at its first colon; table rows stay whole).
printf '%-58s | %s\n' "Measurement" "Value"
printf '%s\n' "$(printf '%.0s-' {1..110})"
last=""
while IFS=$'\t' read -r name line; do
  if [ "$name" != "$last" ]; then
    printf '%-58s |\n' "[$(heading "$name")]"
    last="$name"
  fi
  if [[ "$name" == soak && "$line" == soak.* ]]; then
    printf '  %-56s | %s\n' "${line%% *}" "${line#* }"
  elif [[ "$line" == *": "* ]]; then
    value="${line#*: }"
    printf '  %-56s | %s\n' "${line%%: *}" "${value#"${value%%[![:space:]]*}"}"
  else
    printf '  %-56s |\n' "$line"
  fi
done <"$report"
