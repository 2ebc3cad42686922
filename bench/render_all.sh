#!/usr/bin/env bash
# Renders the 25-minute synthetic session (seed 7, 1920 x 1080 window) onto a 3840 x 2160 canvas
# in every registered style and prints one table row per style: the renderer's own time, the
# whole murmura-cli process (reading the session and writing the PNG included), its CPU time and
# peak memory, the time to read the session file, the time to encode and write the PNG, and of
# that the encoding alone (the rest is the disk: the file is flushed before it replaces the old
# one). The figures are the CLI's "Read", "Rendered" and "Wrote" lines. With --runs N each style
# is rendered N times and the row is its fastest run (by render time), with the median render
# time beside it: on a shared machine the fastest run is the one least disturbed by neighbours.
#   bench/render_all.sh [BUILD_DIR] [--styles "id id ..."] [--minutes M] [--runs N]
set -euo pipefail
build=${1:-build}; shift || true
styles=""; minutes=25; runs=1
while [ $# -gt 0 ]; do
  case "$1" in
    --styles) styles=$2; shift 2 ;;
    --minutes) minutes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
cli="$build/cli/murmura-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --build $build --target murmura-cli)" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
"$cli" synth --minutes "$minutes" --seed 7 --window 0,0,1920,1080 --out "$work/session.json"
[ -n "$styles" ] || styles=$("$cli" styles --all | sed -n 's/^ *"id": "\(.*\)",$/\1/p')
case "$runs" in ''|*[!0-9]*|0) echo "--runs takes a positive whole number" >&2; exit 2 ;; esac
printf '%-12s %10s %10s %10s %10s %10s %10s %10s %10s\n' style render_s median_s wall_s cpu_s peak_MB read_s png_s encode_s
for id in $styles; do
  : > "$work/runs"
  for run in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
      "$cli" render "$work/session.json" --style "$id" --width 3840 --height 2160 --out "$work/$id.png" \
      2> "$work/err" > /dev/null || { echo "$id: render failed: $(tail -1 "$work/err")"; continue 2; }
    read -r wall user sys kb < "$work/time"
    render=$(sed -n 's/^Rendered .* in \([0-9.]*\) s.*/\1/p' "$work/err" | tail -1)
    read_s=$(sed -n 's/^Read .* in \([0-9.]*\) s.*/\1/p' "$work/err" | tail -1)
    png=$(sed -n 's/^Wrote .* in \([0-9.]*\) s.*/\1/p' "$work/err" | tail -1)
    encode=$(sed -n 's/^Wrote .*(encoding \([0-9.]*\) s).*/\1/p' "$work/err" | tail -1)
    echo "${render:-0} $wall $(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}') $((kb / 1024)) ${read_s:--} ${png:--} ${encode:--}" >> "$work/runs"
  done
  median=$(sort -n "$work/runs" | awk '{r[NR] = $1} END {print (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2}')
  sort -n "$work/runs" | head -1 | while read -r render wall cpu mb read_s png encode; do
    printf '%-12s %10s %10s %10s %10.2f %10d %10s %10s %10s\n' "$id" "$render" "$median" "$wall" "$cpu" "$mb" "$read_s" "$png" "$encode"
  done
done
