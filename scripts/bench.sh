#!/usr/bin/env bash
# Builds and runs every benchmark (or those named on the command line: discovery records ...).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KESTREL_BUILD_DIR:-build}
scripts/build.sh >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for d in bench/*/; do names+=("$(basename "$d")"); done
fi
for name in "${names[@]}"; do
    echo "== bench/$name"
    if [ -x "bench/$name/run.sh" ]; then
        BUILD_DIR="$BUILD_DIR" "bench/$name/run.sh"
    else
        "$BUILD_DIR/bin/bench_$name"
    fi
done
