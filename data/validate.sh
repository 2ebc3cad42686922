#!/usr/bin/env bash
# Validates the desktop entry and the AppStream metainfo. Exit 77 (skip) when a validator is
# missing outside CI; under CI a missing validator fails.
set -u
desktop="$1" metainfo="$2"
missing=0
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "$tool not installed"; missing=1; }
done
if [ "$missing" = 1 ]; then
  if [ -n "${CI:-}" ]; then exit 1; fi
  exit 77
fi
desktop-file-validate "$desktop" || exit 1
appstreamcli validate --no-net --explain "$metainfo" || exit 1
