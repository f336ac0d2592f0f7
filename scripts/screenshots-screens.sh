#!/usr/bin/env bash
# Pictures of the windows on three screens, each under a virtual display of
# its own: 1280x1024, 1024x768, and 1280x1024 at a scale factor of 1.5. For
# each, into a folder of its own (default build/screenshots-screens/NAME):
# the main window on each tab, the motor status window, the trend of three
# drives (one tripped and reset) over 1 and 5 minutes and its exported
# picture, each window alone and, as screen_*.png, the whole screen with the
# window where it opened.
# Usage: bash scripts/screenshots-screens.sh [folder]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-build/screenshots-screens}")"
command -v xvfb-run > /dev/null || { echo "xvfb-run is missing: scripts/setup.sh installs it" >&2; exit 1; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
nice -n 10 cmake --build build --target test_main_window test_trend

# name, screen, scale factor
screens=("1280x1024 1280x1024 1" "1024x768 1024x768 1" "1280x1024-scale-1.5 1280x1024 1.5")
for entry in "${screens[@]}"; do
  read -r name screen scale <<< "$entry"
  folder="$out/$name"
  rm -rf "$folder"
  mkdir -p "$folder"
  for test in test_main_window test_trend; do
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
      VDD_SCREENSHOT_DIR="$folder" \
      xvfb-run -a -s "-screen 0 ${screen}x24" "./build/tests/$test" screenshots
  done
  ls -1 "$folder"/*.png
done
