#!/usr/bin/env bash
# Configures and builds everything into ./build (or $KESTREL_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KESTREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=ON "$@"
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
