#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
#
# By default the program runs with a settings folder of its own (build/demo-config), preset to
# offline mode with two simulated amplifiers of 8 channels and no LAN address: it needs no
# hardware and contacts nothing outside this machine. With --own-settings it runs with the
# user's own settings ($XDG_CONFIG_HOME or ~/.config) on real amplifiers.
set -euo pipefail
cd "$(dirname "$0")/.."
own=0
if [ "${1:-}" = "--own-settings" ]; then
    own=1
    shift
fi
./scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target OndrixQRB
if [ "$own" = 0 ]; then
    demo="$PWD/build/demo-config"
    if [ ! -f "$demo/QRB GmbH/Ondrix.ini" ]; then
        mkdir -p "$demo/QRB GmbH"
        # Interfaces are stored as kinds: 4 is the simulated transport only.
        printf '[Global]\r\nInterfaces=4\r\n[Virtual]\r\nDevices=2\r\nChannels=8\r\n[LAN]\r\nDevices=\r\n' \
            > "$demo/QRB GmbH/Ondrix.ini"
    fi
    export XDG_CONFIG_HOME="$demo"
fi
exec ./build/OndrixQRB "$@"
