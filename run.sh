#!/usr/bin/env bash
# Builds Corvane and starts the forwarder in the current directory
# (log.log is written there).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/deps.sh"
corvane_install_missing "${CORVANE_BUILD_DEPS[@]}"

cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build/release" --target corvane Filter.DLL

binary="$here/build/release/proxy/corvane"
# Port 53 is privileged: without root the binary needs the capability to bind it.
if [ "$(id -u)" -ne 0 ] && ! getcap "$binary" 2>/dev/null | grep -q cap_net_bind_service; then
    echo "Granting $binary the right to bind port 53 (sudo setcap)..."
    sudo setcap cap_net_bind_service=+ep "$binary"
fi
exec "$binary"
