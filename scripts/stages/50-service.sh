#!/usr/bin/env bash
# The service end to end on Linux: `nimbalo service run` over a small NTFS image with curl, raw
# sockets and headless Chromium as clients; restarts, damaged index files and kills during saves.
# Needs root (the image is filled through an ntfs-3g mount).
set -euo pipefail
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_WERROR=ON >/dev/null
cmake --build build/native --target nimbalo
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 tests/integration/service_e2e.py build/native/nimbalo "$work"
