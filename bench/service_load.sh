#!/usr/bin/env bash
# Load figures of the running service on a 1,000,000-entry index: wrk on /search for a common word
# and for full scans (one client, then 16 at once), 5,000 connections trickling bytes while
# another client asks, and the memory of a /reindex storm.
#   bench/service_load.sh path/to/nimbalo [volume image for the storm]
# The 1M index.bin is generated from this machine's /usr paths (repeated under numbered roots);
# the service loads it with no readable volume (its refresh fails at once) unless an image is given.
set -euo pipefail
ulimit -n 20000  # the service and the slow clients hold 5,000 connections each
exe=$(realpath "$1")
image=${2:-}
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 -p "$work/pd/Nimbalo"
python3 - "$work/pd/Nimbalo/index.bin" <<'PY'
import os, struct, sys
paths = []
for root, dirs, files in os.walk("/usr"):
    for n in dirs + files:
        p = os.path.join(root, n)[1:].replace("/", "\\")
        paths.append((p, len(n.encode()), n in dirs))
    if len(paths) > 400000:
        break
names = bytearray(b"C:\\")
entries = bytearray()
i = 0
while len(entries) < 1000000 * 29:
    top = f"C:\\copy{i}\\".encode()
    names += top
    for p, nl, d in paths:
        b = p.encode("utf-8", "replace")
        start = len(names) - len(top) if False else len(names)
        full = top + b
        entries += struct.pack("<IIIBQQ", len(names), len(full), nl, 1 if d else 0, 4096, 132000000000000000)
        names += full + (b"\\" if d else b"")
        if len(entries) >= 1000000 * 29:
            break
    i += 1
with open(sys.argv[1], "wb") as f:
    f.write(b"C" + struct.pack("<Q", len(names)) + names + struct.pack("<Q", len(entries) // 29) + entries)
print(f"index.bin: {len(entries)//29} entries, {len(names)/1e6:.1f} MB of paths", file=sys.stderr)
PY
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
t0=$(date +%s.%N)
ProgramData=$work/pd NIMBALO_VOLUME_C=${image:-/nonexistent} NIMBALO_TEST_ONLY_SERVICE_PORT=$port "$exe" service run &
pid=$!
until curl -s "http://127.0.0.1:$port/health" >/dev/null 2>&1; do sleep 0.01; done
echo "start-up to first answer (load of 1M entries): $(echo "$(date +%s.%N) - $t0" | bc) s"
echo "entries: $(curl -s http://127.0.0.1:$port/status)"
for word in lib notepad zzzznomatch; do
  echo "--- wrk /search?q=$word (2 threads, 8 connections, 10 s)"
  curl -s "http://127.0.0.1:$port/search?q=$word" | head -c 160 || true; echo
  wrk -t2 -c8 -d10s --latency "http://127.0.0.1:$port/search?q=$word" | grep -E "Requests/sec|99%|50%|Socket errors|requests in"
done
for word in zzzznomatch; do
  echo "--- full scan /search?q=$word: one client, then 16 at once (10 s each)"
  wrk -t1 -c1 -d10s --latency "http://127.0.0.1:$port/search?q=$word" | grep -E "Requests/sec|99%|50%|Socket errors"
  wrk -t2 -c16 -d10s --latency "http://127.0.0.1:$port/search?q=$word" | grep -E "Requests/sec|99%|50%|Socket errors"
done
echo "--- 5,000 slow connections (each sending one byte a second), then another client"
python3 - "$port" <<'PY'
import socket, sys, time
port = int(sys.argv[1])
conns = []
for i in range(5000):
    try:
        conns.append(socket.create_connection(("127.0.0.1", port), timeout=2))
    except OSError:
        pass
print(f"{len(conns)} connections opened")
request = b"GET /search?q=notepad HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
def ask():
    t0 = time.perf_counter()
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(request)
    data = b""
    while True:
        piece = s.recv(65536)
        if not piece:
            break
        data += piece
    s.close()
    return time.perf_counter() - t0, data
times = []
unanswered = 0
start = time.time()
sent = 0
while time.time() - start < 6:  # the slow half trickles a byte a second, for longer than a request may take
    for c in conns:
        try:
            c.send(request[sent % len(request):sent % len(request) + 1])
        except OSError:
            pass
    sent += 1
    for _ in range(10):
        try:
            dt, data = ask()
        except OSError:
            dt, data = float("inf"), b""
        times.append(dt)
        if not data.endswith(b"]}"):
            unanswered += 1
    time.sleep(max(0.0, sent - (time.time() - start)))
times.sort()
print(f"answers while 5,000 slow connections were open: {len(times)}, "
      f"median {times[len(times)//2]*1000:.1f} ms, p99 {times[int(len(times)*0.99)]*1000:.1f} ms, "
      f"max {times[-1]*1000:.1f} ms, not answered {unanswered}")
for c in conns: c.close()
PY
[ -n "$image" ] || { echo "(no image given: storm memory skipped)"; exit 0; }
echo "--- /reindex storm over $image: 100 requests in one second"
kill $pid; wait $pid || true
rm -f "$work/pd/Nimbalo/index.bin"
ProgramData=$work/pd NIMBALO_VOLUME_C=$image NIMBALO_TEST_ONLY_SERVICE_PORT=$port "$exe" service run &
pid=$!
until curl -s "http://127.0.0.1:$port/health" >/dev/null 2>&1; do sleep 0.05; done
rss() { awk '/VmRSS|VmHWM/ {printf "%s %d MiB  ", $1, $2/1024}' /proc/$pid/status; echo; }
echo "entries: $(curl -s http://127.0.0.1:$port/status); after the first build: $(rss)"
sleep 1
curls=()
for i in $(seq 100); do curl -s "http://127.0.0.1:$port/reindex" >/dev/null & curls+=($!); sleep 0.01; done
wait "${curls[@]}"
for i in $(seq 600); do
  sleep 0.5
  [ "$(curl -s http://127.0.0.1:$port/progress | grep -c '"state":3')" = 1 ] && break
done
sleep 1
echo "after the storm: $(rss)  (VmHWM is the peak over the whole run)"
