#!/usr/bin/env bash
# Saves pictures of the main window on each of its three tabs, of the
# checksum window and of the trend window (a simulated drive running up,
# tripping, reset and running up again), drawn offscreen, into a folder
# (default build/screenshots).
# Usage: bash scripts/screenshots.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target test_main_window test_trend
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen VDD_SCREENSHOT_DIR="$out" ./build/tests/test_main_window screenshots
QT_QPA_PLATFORM=offscreen VDD_SCREENSHOT_DIR="$out" ./build/tests/test_trend screenshots
ls -1 "$out"/*.png
