#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address and undefined-
# behaviour checks) in build-fuzz and runs each for a bounded time on a copy
# of its seed corpus. Exits non-zero when a target crashes; the input that
# did it is left in build-fuzz/crashes/<target>/. A crash that a target
# contains in a child process (the workbook library's) does not fail the run:
# it is counted, its kinds and first stacks are shown, and a few of its inputs
# are left in build-fuzz/contained/<target>/.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60, all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(fuzz_receive_path fuzz_table_store fuzz_workbook_import)
if [ $# -gt 1 ]; then
  targets=("${@:2}")
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVDD_FUZZ=ON -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

status=0
summary=()
for target in "${targets[@]}"; do
  work="build-fuzz/runs/$target"
  crashes="build-fuzz/crashes/$target"
  contained="build-fuzz/contained/$target"
  rm -rf "$work" "$contained"
  mkdir -p "$work" "$crashes"
  cp fuzz/corpus/"$target"/* "$work"/
  echo "== $target: ${seconds} s"
  log="build-fuzz/$target.log"
  if QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 VDD_CONTAINED_DIR="$contained" \
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
    -max_len=65536 -artifact_prefix="$crashes/" -print_final_stats=1 "$work" >"$log" 2>&1; then
    # the workbook reader's child processes print figures too; the fuzzer's
    # own come last
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tail -n 2 || true
    verdict="no crash"
    children="$log"
  else
    status=1
    echo "!! $target crashed; the input is in $crashes/"
    # the target's own report is the last in the log, after any its children left
    first=$(grep -nE '==[0-9]+==ERROR|ERROR: libFuzzer|runtime error:' "$log" | tail -n 1 | cut -d: -f1)
    first=${first:-1}
    tail -n +"$((first > 1 ? first - 1 : 1))" "$log" | grep -E 'ERROR|SUMMARY|==[0-9]+==|^ +#[0-9]+ |runtime error' | head -30 || true
    verdict="CRASHED"
    children="build-fuzz/$target.children.log"
    head -n "$((first - 1))" "$log" >"$children"
  fi
  report=$(/usr/bin/python3 fuzz/contained_report.py "$children")
  if [ -n "$report" ]; then
    count=$(sed -nE 's/^contained: ([0-9]+) inputs.*/\1/p' <<<"$report")
    count=${count:-some}
    echo "$count contained crashes in the workbook library (inputs; a few kept in $contained/):"
    tail -n +2 <<<"$report"
    if [ "$verdict" = "no crash" ]; then
      verdict="$count contained crashes in the workbook library"
    else
      verdict="$verdict; $count contained crashes in the workbook library"
    fi
  fi
  summary+=("$target: $verdict")
done
echo "== fuzz summary (${seconds} s each)"
printf '  %s\n' "${summary[@]}"
exit $status
