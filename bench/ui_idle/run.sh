#!/usr/bin/env bash
# Builds KESTREL, the fake game and the benchmark, then measures KESTREL's idle CPU on its own
# X server (xvfb-run -a). Arguments go to bench_ui_idle: --seconds N (default 30), --warmup N.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_ui_idle >/dev/null
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD_DIR/bin/bench_ui_idle" "$@"
