#!/usr/bin/env bash
# Saves pictures of the main window on each of its three tabs, of the
# checksum window, of the trend window (a simulated drive running up,
# tripping, reset and running up again) and of "Find Drives" with the drives
# it found, drawn offscreen, into a folder
# (default build/screenshots).
# Usage: bash scripts/screenshots.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots}")"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target test_main_window test_trend test_find_drives
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen VDD_SCREENSHOT_DIR="$out" ./build/tests/test_main_window screenshots
QT_QPA_PLATFORM=offscreen VDD_SCREENSHOT_DIR="$out" ./build/tests/test_trend screenshots
QT_QPA_PLATFORM=offscreen VDD_SCREENSHOT_DIR="$out" ./build/tests/test_find_drives findUseAndConfirm
ls -1 "$out"/*.png
