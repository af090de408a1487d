#!/usr/bin/env bash
# Installs every Debian package that KESTREL's build, tests and benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi

export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
    # build
    build-essential cmake ninja-build pkg-config git clang-format
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svgwidgets6 libqt6svg6
    qt6-httpserver-dev libqt6sql6-sqlite libqt6sql6-psql libgl-dev libssl-dev
    qt6-qpa-plugins
    fonts-dejavu-core fonts-noto-color-emoji
    # Windows half of the platform layer, built with mingw and run under Wine
    g++-mingw-w64-x86-64 wine64 wine
    # tests: display, firewall, namespaces, privilege drop, capabilities
    xvfb xauth x11-utils nftables iproute2 util-linux libcap2-bin procps psmisc
    # reference web service: HTTP library and the PostgreSQL it is tested on
    libmicrohttpd-dev postgresql
    # fuzzing the parsers
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
    # Linux package: build, validate, install the firewall helper's policy
    dpkg-dev fakeroot file desktop-file-utils appstream lintian pkexec
    # benchmarks and screenshots
    wrk hyperfine imagemagick
    xdotool
)

if [ -z "${KESTREL_SKIP_APT_UPDATE:-}" ]; then
    $SUDO apt-get update -q
fi
$SUDO apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
