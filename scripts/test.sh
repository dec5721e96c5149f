#!/usr/bin/env bash
# Installs what is missing, configures, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${QRB_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja ${QRB_CMAKE_ARGS:-}
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
