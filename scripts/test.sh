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
  t0=$SECONDS
  if ! bash "$stage"; then
    echo "=== ${stage##*/} FAILED ($((SECONDS - t0)) s)" >&2
    failed=1
  else
    echo "=== ${stage##*/} passed in $((SECONDS - t0)) s" >&2
  fi
done
echo "=== all stages: $SECONDS s" >&2
exit $failed
