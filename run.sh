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
if [ "$(id -u)" -eq 0 ]; then
    exec "$binary"
fi

# Port 53 is privileged. The program gets the right to bind it as an ambient
# capability and runs as you. A file capability (setcap) would do too, but it
# puts the dynamic loader in secure-execution mode, which ignores the RUNPATH
# $ORIGIN and so the Filter.DLL beside the program; remove one set earlier.
if getcap "$binary" 2>/dev/null | grep -q cap_net_bind_service; then
    sudo setcap -r "$binary"
fi
# sudo starts from a clean environment: hand on what the window needs.
session=()
for name in DISPLAY XAUTHORITY WAYLAND_DISPLAY XDG_RUNTIME_DIR HOME; do
    if [ -n "${!name:-}" ]; then
        session+=("$name=${!name}")
    fi
done
echo "Starting $binary with the right to bind port 53 (sudo setpriv)..."
exec sudo env "${session[@]}" setpriv --reuid="$(id -u)" --regid="$(id -g)" --init-groups \
    --inh-caps=+net_bind_service --ambient-caps=+net_bind_service "$binary"
