#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# and only those that are missing. Sourced by run.sh and test.sh.

corvane_install_missing() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What it takes to build the program. qt6-base-private-dev (headers only, the
# same version as Qt) for the one private call the window's event dispatcher
# needs: the platform plug-in's own dispatcher (ui/PlatformEvents.cpp).
CORVANE_BUILD_DEPS=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-private-dev
    libexpat1-dev libgl-dev)
# What the tests add: GoogleTest and GoogleMock, the private-namespace harness (ip, a real DNS
# server and client), clang with libFuzzer for the fuzz targets.
CORVANE_TEST_DEPS=(libgtest-dev libgmock-dev iproute2 dnsmasq-base bind9-dnsutils clang libclang-rt-14-dev libcap2-bin
    dpkg-dev fakeroot file lintian desktop-file-utils)
# What the benchmarks add: the load generator, and a real X server without a
# screen for the window's share.
CORVANE_BENCH_DEPS=(dnsperf dnsmasq-base iproute2 xvfb)
