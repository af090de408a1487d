#!/usr/bin/env bash
# Builds kestrel-service and its benchmark, then prints requests/s and p99 latency
# of get_ports.php (1000 ports) and heartbeat.php against a static file, on SQLite and
# PostgreSQL, and of get_ports.php while 2000 slow clients trickle header lines.
# BENCH_SECONDS sets the duration per endpoint (default 5).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_service kestrel-service >/dev/null
exec "$BUILD_DIR/bin/bench_service"
