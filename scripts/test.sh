#!/usr/bin/env bash
# Run every test: install what is missing, then each stage in scripts/stages/ in order
# (native build and tests, sanitizers, Windows cross build under Wine, short fuzz runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
failed=0
for stage in scripts/stages/*.sh; do
  echo "=== ${stage##*/}" >&2
  if ! bash "$stage"; then
    echo "=== ${stage##*/} FAILED" >&2
    failed=1
  fi
done
exit $failed
