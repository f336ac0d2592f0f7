#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
cd build
ctest --output-on-failure -j 2 "$@"
cd ..

# The serial link passes every received block from its reader thread to the
# main thread. Build its test once more with AddressSanitizer and UBSan (that
# target only) and run it with leak detection, so that a block which is never
# released, or used after release, fails the run.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVDD_SANITIZE=ON
cmake --build build-asan -j "$(nproc)" --target test_serial_comm
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
  build-asan/tests/test_serial_comm
