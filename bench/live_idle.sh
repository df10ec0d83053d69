#!/usr/bin/env bash
# The service's CPU time over one idle minute while it follows drive C's journal (a copy of the
# Windows-made ntfs.raw, whose journal is read off the image): user + system ticks of the process
# from /proc before and after. Usage: bench/live_idle.sh build/native/nimbalo [seconds]
set -euo pipefail
exe=$(realpath "$1")
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
image=$root/build/volumes/ntfs.raw
[ -e "$image" ] || { echo "run the native tests first (they unpack $image)" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cp --sparse=always "$image" "$work/c.raw"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
NIMBALO_VOLUME_C=$work/c.raw ProgramData=$work/pd NIMBALO_TEST_ONLY_SERVICE_PORT=$port "$exe" service run &
pid=$!
for _ in $(seq 100); do curl -s "http://127.0.0.1:$port/health" >/dev/null && break; sleep 0.1; done
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
echo "idle ${seconds}s: $(( after - before )) ticks of CPU (${hz}/s) = $(python3 -c "print(f'{($after-$before)/$hz*1000:.0f} ms')")"
grep -h . "$work/pd/Nimbalo/service.log" 2>/dev/null || echo "(service.log: empty)"
