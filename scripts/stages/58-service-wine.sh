#!/usr/bin/env bash
# The Windows service under Wine's service manager: install, index drive C, answer curl, stop and
# uninstall (tests/integration/wine_service.sh); then following drive C's change journal, a
# created file found and a deleted one gone within a second (tests/integration/wine_live.sh).
# Uses the Windows stage's nimbalo.exe and the native stages' journal tool and unpacked image;
# each script makes a throw-away Wine prefix of its own.
set -euo pipefail
if [ ! -f build/win64/nimbalo.exe ] || ! command -v wine >/dev/null; then
  echo "58-service-wine: no Windows build or no Wine here; skipped" >&2
  exit 0
fi
export PATH=$PATH:/usr/sbin:/sbin  # mkntfs
cmake --build build/native --target test_only_journal_tool >/dev/null
work=$(mktemp -d /tmp/nimbalo-service-wine.XXXXXX)
trap 'umount "$work/service/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
failed=0
bash tests/integration/wine_service.sh build/win64/nimbalo.exe "$work/service" || failed=1
bash tests/integration/wine_live.sh build/win64/nimbalo.exe build/native/test_only_journal_tool "$work/live" || failed=1
exit $failed
