#!/usr/bin/env bash
# Search round trip through `nimbalo mcp` and the real service holding a 1,000,000-entry index:
# the index.bin is generated from this machine's /usr paths repeated under C:\copy0, C:\copy1, ...
# and every C:\copyN maps back to / through NIMBALO_MOUNT_C, so each returned row costs a real
# metadata read. Runs in a private network namespace (the service takes port 8123).
#   bench/mcp_real_service.sh path/to/nimbalo [calls=1000] [word=lib]
set -euo pipefail
if [ -z "${NIMBALO_IN_NETNS:-}" ]; then
  exec unshare -n env NIMBALO_IN_NETNS=1 sh -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi
exe=$(realpath "$1")
calls=${2:-1000}
word=${3:-lib}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; rm -rf "$work"' EXIT
mkdir -m 700 -p "$work/pd/Nimbalo" "$work/mnt"
python3 - "$work/pd/Nimbalo/index.bin" "$work/mnt" <<'PY'
import os, struct, sys
paths = []
for root, dirs, files in os.walk("/usr"):
    for n in dirs + files:
        paths.append((os.path.join(root, n)[1:].replace("/", "\\"), len(n.encode()), n in dirs))
    if len(paths) > 400000:
        break
names, entries, i = bytearray(b"C:\\"), bytearray(), 0
while len(entries) < 1000000 * 29:
    top = f"C:\\copy{i}\\".encode()
    os.symlink("/", os.path.join(sys.argv[2], f"copy{i}"))
    names += top
    for p, nl, d in paths:
        full = top + p.encode("utf-8", "replace")
        entries += struct.pack("<IIIBQQ", len(names), len(full), nl, 1 if d else 0, 4096, 132000000000000000)
        names += full + (b"\\" if d else b"")
        if len(entries) >= 1000000 * 29:
            break
    i += 1
with open(sys.argv[1], "wb") as f:
    f.write(b"C" + struct.pack("<Q", len(names)) + names + struct.pack("<Q", len(entries) // 29) + entries)
print(f"index.bin: {len(entries)//29} entries", file=sys.stderr)
PY
ProgramData=$work/pd NIMBALO_VOLUME_C=/nonexistent "$exe" service run &
pid=$!
until curl -s http://127.0.0.1:8123/health >/dev/null 2>&1; do
  kill -0 $pid 2>/dev/null || { echo "the service ended before answering" >&2; exit 1; }
  sleep 0.05
done
echo "service: $(curl -s http://127.0.0.1:8123/status)"
NIMBALO_MOUNT_C=$work/mnt node "$here/mcp_search_roundtrip.mjs" "$exe" "$calls" --real-service "query=$word"
