#!/usr/bin/env bash
# Sets everything up and runs Murmura's main job without a desktop: renders the bundled
# sample session with every registered style into ./out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target murmura-cli
cli=build/cli/murmura-cli
session=data/sample-session.json
mkdir -p out
ids=$("$cli" styles --all | sed -n 's/^ *"id": "\(.*\)",$/\1/p')
if [ -z "$ids" ]; then
  echo "No styles are registered yet; nothing to render."
  exit 0
fi
for id in $ids; do
  "$cli" render "$session" --style "$id" --out "out/$id.png"
  echo "out/$id.png"
done
