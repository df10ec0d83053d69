#!/usr/bin/env bash
# The MCP server driven by the official MCP TypeScript SDK (tests/mcp_client), against the native
# build: a fake search service on 127.0.0.1:8123 inside a private network namespace, and a small
# NTFS image (mkntfs + ntfs-3g) as drive C for the in-process path.
set -euo pipefail
root=$(pwd)
exe=${NIMBALO_EXE:-$root/build/native/nimbalo}
if [ ! -x "$exe" ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_WERROR=ON >/dev/null
  cmake --build build/native --target nimbalo
fi

if ! command -v npm >/dev/null; then
  echo "55-mcp: npm missing, installing Debian's npm" >&2
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get install -y -qq --no-install-recommends npm >/dev/null
fi
(cd tests/mcp_client && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"
# The fixture tree: C:\docs\report.txt (17 bytes), C:\docs\notes.md, C:\pics.
truncate -s 32M "$work/c.img"
mkntfs -F -q -Q "$work/c.img" >/dev/null 2>&1
ntfs-3g "$work/c.img" "$mnt"
mkdir -p "$mnt/docs" "$mnt/pics"
printf 'quarterly report\n' >"$mnt/docs/report.txt"
printf 'n\n' >"$mnt/docs/notes.md"
umount "$mnt"
ntfs-3g -o ro "$work/c.img" "$mnt"

export NIMBALO_EXE="$exe" NIMBALO_TEST_IMAGE="$work/c.img" NIMBALO_TEST_MOUNT="$mnt"
# A Windows-made volume with a change journal, when the volume tests have unpacked it.
if [ -f build/volumes/ntfs.raw ]; then export NIMBALO_TEST_JOURNAL_IMAGE="$root/build/volumes/ntfs.raw@1048576"; fi
run=(node tests/mcp_client/sdk_client_test.mjs)
in_private_network() {
  if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
  else
    echo "55-mcp: no network namespace; using the machine's port 8123" >&2
    "$@"
  fi
}
in_private_network "${run[@]}"

# The same client against nimbalo.exe under Wine, in the Wine prefix the Windows stage made.
win=$root/build/win64
if [ -x "$win/nimbalo.exe" ] && [ -f "$win/wineprefix/.nimbalo-ready" ] && command -v wine >/dev/null; then
  echo "55-mcp: nimbalo.exe under Wine" >&2
  status=0
  # The fake service is a Linux process that no Windows service manager owns: nimbalo.exe trusts it
  # only through the test-only opt-out, which one check of the client leaves out on purpose.
  WINEPREFIX=$win/wineprefix NIMBALO_LAUNCH=wine NIMBALO_EXE=$win/nimbalo.exe NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER=1 \
    in_private_network "${run[@]}" || status=$?
  WINEPREFIX=$win/wineprefix wineserver -k >/dev/null 2>&1 || true
  exit $status
else
  echo "55-mcp: no Windows build with a Wine prefix: nimbalo.exe not checked" >&2
fi
