#!/usr/bin/env bash
# Builds KESTREL and its Debian package: build/kestrel_<version>_<arch>.deb.
# KESTREL_PACKAGE_NO_BUILD=1 packages what is already built (the package test does).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KESTREL_BUILD_DIR:-build}
if [ -z "${KESTREL_PACKAGE_NO_BUILD:-}" ]; then
    scripts/build.sh
fi
cd "$BUILD_DIR"
cpack -G DEB
ls -1 "$PWD"/kestrel_*.deb
