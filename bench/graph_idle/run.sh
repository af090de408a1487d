#!/usr/bin/env bash
# Builds KESTREL, the fake game and the benchmark, then measures what the open ping graph costs
# on its own X server (xvfb-run -a), large enough for the graph beside the main window.
# Arguments go to bench_graph_idle: --seconds N (default 30), --warmup N, --write-recording FILE.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_graph_idle >/dev/null
exec xvfb-run -a -s "-screen 0 2560x1440x24" "$BUILD_DIR/bin/bench_graph_idle" "$@"
