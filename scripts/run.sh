#!/usr/bin/env bash
# Builds KESTREL, starts the reference web service on this machine and runs KESTREL
# against it. The service stops when KESTREL ends.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${KESTREL_BUILD_DIR:-build}
scripts/build.sh >/dev/null

DATA_DIR=${XDG_DATA_HOME:-$HOME/.local/share}/kestrel-service
SERVICE_PORT=${KESTREL_SERVICE_PORT:-8765}
mkdir -p "$DATA_DIR"

"$BUILD_DIR/bin/kestrel-service" --port "$SERVICE_PORT" --database "$DATA_DIR/kestrel.sqlite" --quiet &
SERVICE_PID=$!
trap 'kill "$SERVICE_PID" 2>/dev/null || true' EXIT
export KESTREL_SERVICE_URL="http://127.0.0.1:$SERVICE_PORT/"

# KESTREL needs the right to manage the firewall (CAP_NET_ADMIN), and reads the game's
# sockets fastest with CAP_SYS_PTRACE. Root has both; otherwise grant them to the binary.
if [ "$(id -u)" -ne 0 ] && ! getcap "$BUILD_DIR/bin/KESTREL" 2>/dev/null | grep -q cap_net_admin; then
    echo "Granting KESTREL the firewall capability (sudo setcap)..."
    sudo setcap cap_net_admin,cap_sys_ptrace+eip "$BUILD_DIR/bin/KESTREL"
fi

# A machine without a desktop still runs it, on a virtual display.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running on a virtual X display (xvfb-run)."
    exec_prefix=(xvfb-run -a -s "-screen 0 1280x800x24")
else
    exec_prefix=()
fi
"${exec_prefix[@]}" "$BUILD_DIR/bin/KESTREL"
