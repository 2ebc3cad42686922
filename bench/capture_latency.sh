#!/usr/bin/env bash
# Runs the capture latency benchmark on a private Xvfb.
#   bench/capture_latency.sh [build-dir] [capture_latency args...]
set -euo pipefail
build=${1:-build}
shift || true
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$fifo" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 20 number <"$fifo"
DISPLAY=":$number" "$build/bench/capture_latency" "$@"
