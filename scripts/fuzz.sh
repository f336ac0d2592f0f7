#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address and undefined-
# behaviour checks) in build-fuzz and runs each for a bounded time on a copy
# of its seed corpus. Exits non-zero when a target crashes; the input that
# did it is left in build-fuzz/crashes/<target>/.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(fuzz_receive_path fuzz_table_store fuzz_workbook_import)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVDD_FUZZ=ON -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" >/dev/null
cmake --build build-fuzz --target "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  work="build-fuzz/runs/$target"
  crashes="build-fuzz/crashes/$target"
  rm -rf "$work"
  mkdir -p "$work" "$crashes"
  cp fuzz/corpus/"$target"/* "$work"/
  echo "== $target: ${seconds} s"
  log="build-fuzz/$target.log"
  if QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
    -max_len=65536 -artifact_prefix="$crashes/" -print_final_stats=1 "$work" >"$log" 2>&1; then
    # the workbook reader's child processes print figures too; the fuzzer's
    # own come last
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tail -n 2 || true
  else
    status=1
    echo "!! $target crashed; the input is in $crashes/"
    grep -E 'ERROR|SUMMARY|==[0-9]+==|^ +#[0-9]+ ' "$log" | head -30 || true
  fi
done
exit $status
