#!/usr/bin/env bash
# Builds the parser fuzz targets (clang's libFuzzer with ASan + UBSan) and runs each for the
# given number of seconds, starting from fuzz/corpus and fuzz/regressions. New interesting
# inputs stay in the build folder; a failing input is saved there and named at the end: copy it
# into fuzz/regressions/<target>/ so that the test suite replays it from then on.
# Usage: scripts/fuzz.sh SECONDS   (MURMURA_FUZZ_BUILD: build folder, default build-fuzz)
set -euo pipefail
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
cd "$(dirname "$0")/.."
build=${MURMURA_FUZZ_BUILD:-build-fuzz}
CXX=clang++ cmake -S fuzz -B "$build" -G Ninja >/dev/null
cmake --build "$build"
status=0
for target in sessionFile catalog pngImage; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$target for ${seconds}s"
  # The seed corpus and the kept failing inputs, where a target has any (git keeps no empty folder).
  seeds=()
  for dir in "fuzz/corpus/$target" "fuzz/regressions/$target"; do [ -d "$dir" ] && seeds+=("$dir"); done
  # Inputs up to 8 KiB; 10 s per input at most; memory as a 24-hour session would need.
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2560 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" "${seeds[@]}" \
      2>"$build/fuzz_$target.log"; then
    status=1
    echo "fuzz_$target FAILED; the input is in $artifacts/ (log: $build/fuzz_$target.log)"
    # The reason, so that a CI log names it without the build folder.
    grep -m 4 -E "fuzz property failed|ERROR:|SUMMARY:|runtime error" "$build/fuzz_$target.log" || true
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^Done" "$build/fuzz_$target.log" || true
done
exit $status
