#!/usr/bin/env bash
# Sets everything up and starts Murmura: the desktop app where a display is available;
# without one (or with --headless) it renders the bundled sample session with every style into
# ./out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--headless" ] && command -v xdpyinfo >/dev/null &&
   xdpyinfo >/dev/null 2>&1; then
  cmake --build build --target murmura murmura-cli
  exec build/app/ui/murmura
fi
cmake --build build --target murmura-cli
cli=build/cli/murmura-cli
session=data/sample-session.json
mkdir -p out
ids=$("$cli" styles --all | sed -n 's/^ *"id": "\(.*\)",$/\1/p')
if [ -z "$ids" ]; then
  echo "No styles are registered yet; nothing to render."
  exit 0
fi
# One line per style with the times the CLI measures: rendering, and encoding and writing the PNG.
log=$(mktemp); trap 'rm -f "$log"' EXIT
printf '%-12s %10s %8s  %s\n' style render_s png_s file
for id in $ids; do
  "$cli" render "$session" --style "$id" --out "out/$id.png" 2> "$log" || { cat "$log" >&2; exit 1; }
  render=$(sed -n 's/^Rendered .* in \([0-9.]*\) s.*/\1/p' "$log")
  png=$(sed -n 's/^Wrote .* in \([0-9.]*\) s.*/\1/p' "$log")
  printf '%-12s %10s %8s  %s\n' "$id" "${render:--}" "${png:--}" "out/$id.png"
done
