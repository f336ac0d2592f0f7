#!/usr/bin/env bash
# Soak run: the tool scans 247 simulated drives and runs a command list while
# line and drive faults change at random; prints its figures and fails on a
# crash, a hang, a request counted wrong, a history past 101 lines, memory
# growth after the warm-up or a table that no longer reads back.
#   bash scripts/soak.sh [SECONDS]   (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
cmake -S . -B build-hard -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-hard --target soak_driver
QT_QPA_PLATFORM=offscreen build-hard/bench/soak_driver "$seconds"
