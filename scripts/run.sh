#!/usr/bin/env bash
# Runs the tool on simulated drives: installs what is missing, builds, starts
# the drive simulator (drives 1 to 5, answering in ASCII or RTU as each
# request comes, so whatever mode the tool has stored works) on the port
# "COM2" that the shipped settings name, then the tool. The simulator ends
# with the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it under a virtual one: xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target vossek-drive-desk vossek-drive-sim

# "COM2" is the device that build/database1/ports/COM2 links to.
# Its log of requests and replies goes to build/vossek-drive-sim.log.
./build/vossek-drive-sim --link build/database1/ports/COM2 --drives 1-5 > /dev/null 2> build/vossek-drive-sim.log &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT

# Wait until the simulator has made its link (or has given up).
for _ in $(seq 50); do
  [ -L build/database1/ports/COM2 ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run: the drive simulator did not start" >&2; exit 1; }
  sleep 0.1
done

./build/vossek-drive-desk
