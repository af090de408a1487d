#!/usr/bin/env bash
# Builds and runs the whole test suite. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KESTREL_BUILD_DIR:-build}
scripts/build.sh
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" --timeout 600
