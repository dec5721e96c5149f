#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
#
# By default the program runs with a settings folder of its own (build/demo-config), set at
# every start to offline mode with two simulated amplifiers of 8 channels (its other settings
# are kept; a new one has no LAN address): it needs no hardware and contacts nothing outside
# this machine. With --own-settings it runs with the user's own settings ($XDG_CONFIG_HOME or
# ~/.config) on real amplifiers.
set -euo pipefail
cd "$(dirname "$0")/.."
own=0
if [ "${1:-}" = "--own-settings" ]; then
    own=1
    shift
fi
./scripts/install-deps.sh
# A configured build tree re-runs CMake by itself when the build files change.
if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja
fi
cmake --build build --target OndrixQRB
if [ "$own" = 0 ]; then
    demo="$PWD/build/demo-config"
    # Settings › Apply leaves offline mode: the demo's keys are set again at every start.
    ./scripts/demo-settings.sh "$demo/QRB GmbH/Ondrix.ini"
    export XDG_CONFIG_HOME="$demo"
fi
exec ./build/OndrixQRB "$@"
