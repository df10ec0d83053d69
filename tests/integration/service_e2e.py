#!/usr/bin/env python3
"""End-to-end tests of `nimbalo service run` on Linux with real clients.

Drive C is a small NTFS image (mkntfs, filled through an ntfs-3g mount), index.bin lives under a
temporary ProgramData, and the service listens on a free port (NIMBALO_TEST_ONLY_SERVICE_PORT) so a
service already on 8123 is left alone. Clients: curl, raw sockets, and (when installed) headless
Chromium on a page served from another loopback port.

usage: service_e2e.py NIMBALO_BINARY WORK_DIR
"""
import http.server
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

EXE, WORK = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SEED = 20261209
random.seed(SEED)
print(f"service_e2e: seed {SEED}", file=sys.stderr)

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print(f"FAIL: {what}", file=sys.stderr)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# ---------------------------------------------------------------- the volume
TREE = {
    "notes/note.txt": b"x" * 10,
    "notes/notepad.exe": b"",
    "notes/old note.txt": b"",
    "Docs/R\u00e9sum\u00e9.doc": b"",
    "Docs/100% done.txt": b"",
    "Docs/deep/er/est/notebook.md": b"",
}
EXPECTED_NOTE = sorted([
    "C:\\notes", "C:\\notes\\note.txt", "C:\\notes\\notepad.exe", "C:\\notes\\old note.txt",
    "C:\\Docs\\deep\\er\\est\\notebook.md",
])


def make_image(path, tree):
    src = os.path.join(WORK, "tree")
    shutil.rmtree(src, ignore_errors=True)
    for rel, data in tree.items():
        p = os.path.join(src, rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
    if os.path.exists(path):
        os.remove(path)
    with open(path, "wb") as f:
        f.truncate(16 << 20)
    subprocess.run(["mkntfs", "-F", "-q", "-Q", path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    add_to_image(path, src)


def add_to_image(image, src):
    mnt = os.path.join(WORK, "mnt")
    os.makedirs(mnt, exist_ok=True)
    subprocess.run(["ntfs-3g", image, mnt], check=True)
    try:
        subprocess.run(["cp", "-a", src + "/.", mnt + "/"], check=True)
    finally:
        subprocess.run(["umount", mnt], check=True)


# ---------------------------------------------------------------- the service
class Service:
    def __init__(self, volume, program_data, port):
        env = dict(os.environ)
        env["NIMBALO_VOLUME_C"] = volume
        env["ProgramData"] = program_data
        env["NIMBALO_TEST_ONLY_SERVICE_PORT"] = str(port)
        self.port = port
        self.proc = subprocess.Popen([EXE, "service", "run"], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def wait_up(self, seconds=30):
        end = time.time() + seconds
        while time.time() < end:
            if self.proc.poll() is not None:
                return False
            try:
                if raw(self.port, b"GET /health HTTP/1.1\r\n\r\n").endswith(b"ok"):
                    return True
            except OSError:
                pass
            time.sleep(0.02)
        return False

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        return self.proc.returncode


def raw(port, request, pause=None, timeout=5):
    """Send request bytes (a list sends pieces with pauses between) and read until the server closes."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        pieces = request if isinstance(request, list) else [request]
        for i, p in enumerate(pieces):
            if i:
                time.sleep(pause or 0.2)
            s.sendall(p)
        out = b""
        while True:
            b = s.recv(65536)
            if not b:
                return out
            out += b


def body(response):
    return response.split(b"\r\n\r\n", 1)[1].decode() if b"\r\n\r\n" in response else None


def curl(port, target, *extra):
    r = subprocess.run(["curl", "-s", "-g", "--max-time", "5", *extra, f"http://127.0.0.1:{port}{target}"],
                       capture_output=True)
    return r.stdout.decode()


def search(port, q):
    return json.loads(curl(port, "/search?q=" + q))


def mtime(path):
    try:
        return os.stat(path).st_mtime_ns
    except FileNotFoundError:
        return None


def wait_for(pred, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        if pred():
            return True
        time.sleep(0.05)
    return False


# ---------------------------------------------------------------- tests
def test_routes(port, index_bin):
    hdr = f"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: {{}}\r\nConnection: close\r\n\r\n"
    check(raw(port, b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n") == (hdr.format(2) + "ok").encode(), "health exact bytes")
    check(curl(port, "/health") == "ok", "curl /health")
    check(curl(port, "/") == "Nimbalo service", "fallback /")
    check(curl(port, "/search") == "Nimbalo service", "bare /search")
    check(curl(port, "/status?x") == "Nimbalo service", "/status with query")
    check(curl(port, "/Status") == "Nimbalo service", "/Status")
    check(re.fullmatch(r'\{"entries": \d+\}', curl(port, "/status")) is not None, "status format")
    check(curl(port, "/status", "-X", "POST") == "Nimbalo service", "POST /status runs nothing")
    prog = json.loads(curl(port, "/progress"))
    check(list(prog) == ["done", "state", "total"] and prog["state"] == 3, f"progress after a built start: {prog}")

    r = search(port, "note")
    check(sorted(r["results"]) == EXPECTED_NOTE, f"search note: {r}")
    check(r["count"] == len(r["results"]) and r["error"] is None and r["by_path"] is False, "search members")
    check(list(r) == ["by_path", "count", "error", "query", "results"], "search keys sorted")
    txt = curl(port, "/search?q=notepad")
    check(txt == '{"by_path":false,"count":1,"error":null,"query":"notepad","results":["C:\\\\notes\\\\notepad.exe"]}',
          f"search body compact: {txt}")
    check(search(port, "note+pad")["results"] == search(port, "note%20pad")["results"], "+ and %20")
    check(search(port, "note&limit=0")["count"] == 1, "limit=0 gives 1")
    check(search(port, "note&limit=2")["count"] == 2, "limit=2")
    check(search(port, "note&limit=-3")["count"] == 5, "limit=-3 gives the default")
    check(search(port, "note&limit=%2B3")["count"] == 3, "limit=+3")
    check(search(port, "notes%5Cnote&path=1")["by_path"] is True, "path=1")
    check(search(port, "note&path=false")["by_path"] is False, "path=false")
    e = search(port, "")
    check(e["error"] == "empty query" and e["count"] == 0 and e["results"] == [], f"empty query: {e}")
    check(search(port, "100%")["results"] == ["C:\\Docs\\100% done.txt"], "100% literal")
    check(search(port, "%ZZ")["query"] == "%ZZ", "%ZZ literal")
    check(search(port, "r%C3%A9sum%C3%A9")["results"] == ["C:\\Docs\\R\u00e9sum\u00e9.doc"], "non-ASCII search")
    q = json.loads(curl(port, '/search?q=%22a%5Cb%22'))
    check(q["query"] == '"a\\b"', f"quote and backslash come back: {q['query']}")

    # Raw clients.
    check(body(raw(port, [b"GET /sta", b"tus HTTP/1.1\r\nHost: 127.0.0.1\r\n", b"\r\n"])).startswith('{"entries": '),
          "request split over three sends")
    check(body(raw(port, b"GET /health\n")) == "Nimbalo service", "line without version")
    check(body(raw(port, b"GET /health" + b"x" * 9000)) == "Nimbalo service", "no line feed in 8192 bytes")
    check(body(raw(port, b"\r\n\r\n")) == "Nimbalo service", "empty request line")
    for bad in [b"Origin: http://127.0.0.1:1\r\n", b"Referer: http://x/\r\n", b"Sec-Fetch-Site: cross-site\r\n",
                b"Host: attacker.example\r\n", b"Origin : http://x\r\n", b"Host : attacker.example\r\n"]:
        before = mtime(index_bin)
        check(body(raw(port, b"GET /reindex HTTP/1.1\r\n" + bad + b"\r\n")) == "Nimbalo service", f"refused {bad}")
        check(body(raw(port, b"GET /search?q=note HTTP/1.1\r\n" + bad + b"\r\n")) == "Nimbalo service", f"refused search {bad}")
        time.sleep(0.3)
        check(mtime(index_bin) == before, f"no rebuild after {bad}")
    for line in [b"GET /reindex\r\n\r\n", b"POST /reindex HTTP/1.1\r\n\r\n", b"GET /reindex HTTP/9\r\n\r\n"]:
        before = mtime(index_bin)
        check(body(raw(port, line)) == "Nimbalo service", f"refused request line {line}")
        time.sleep(0.3)
        check(mtime(index_bin) == before, f"no rebuild after {line}")

    # A silent client does not hold up others.
    idle = socket.create_connection(("127.0.0.1", port))
    t0 = time.time()
    check(curl(port, "/health") == "ok" and time.time() - t0 < 0.5, "answer while a client is silent")
    idle.settimeout(5)
    check(body(idle.recv(65536)) == "Nimbalo service", "silent client gets the fallback after its time-out")
    idle.close()


def test_reindex_finds_new_files(svc, image, index_bin):
    before = mtime(index_bin)
    src = os.path.join(WORK, "more")
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(src)
    open(os.path.join(src, "fresh note.txt"), "wb").close()
    add_to_image(image, src)
    check(search(svc.port, "fresh")["count"] == 0, "new file not found before a rebuild")
    check(curl(svc.port, "/reindex") == '{"status":"reindexing"}', "reindex body")
    check(wait_for(lambda: search(svc.port, "fresh")["count"] == 1), "new file found after /reindex")
    check(wait_for(lambda: mtime(index_bin) != before), "index.bin saved after the rebuild")


def test_reindex_storm(port):
    t0 = time.time()
    answers = [body(raw(port, b"GET /reindex HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) for _ in range(100)]
    check(all(a == '{"status":"reindexing"}' for a in answers), "storm answers")
    check(time.time() - t0 < 5, f"storm answered at once ({time.time() - t0:.2f}s for 100)")
    check(wait_for(lambda: json.loads(curl(port, "/progress"))["state"] == 3), "storm settles")


def test_browser(port, index_bin):
    chromium = shutil.which("chromium")
    if not chromium:
        print("service_e2e: chromium not installed, browser test skipped", file=sys.stderr)
        return
    page = f"""<!doctype html><html><body><pre id=out>running</pre>
<img src="http://127.0.0.1:{port}/reindex"><img src="http://localhost:{port}/reindex">
<script>
const base = "http://127.0.0.1:{port}";
const seen = [];
async function probe(url, opts) {{
  try {{ const r = await fetch(url, opts); const t = await r.text(); seen.push(url + " " + (opts.mode||"cors") + " READ:" + t); }}
  catch (e) {{ seen.push(url + " " + (opts.mode||"cors") + " blocked"); }}
}}
(async () => {{
  for (const u of [base + "/search?q=note", base + "/reindex", "http://localhost:{port}/search?q=note"]) {{
    await probe(u, {{}}); await probe(u, {{mode: "no-cors"}}); await probe(u, {{method: "POST", mode: "no-cors"}});
  }}
  document.getElementById("out").textContent = "DONE\\n" + seen.join("\\n");
}})();
</script></body></html>"""

    class Page(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            data = page.encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *a):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    profile = os.path.join(WORK, "chromium-profile")
    shutil.rmtree(profile, ignore_errors=True)
    before = mtime(index_bin)
    r = subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync",
                        f"--user-data-dir={profile}", "--virtual-time-budget=8000", "--dump-dom",
                        f"http://127.0.0.1:{server.server_address[1]}/"], capture_output=True, timeout=120)
    server.shutdown()
    dom = r.stdout.decode(errors="replace")
    check("DONE" in dom, f"browser page ran its probes: {dom[-500:]} {r.stderr.decode(errors='replace')[-500:]}")
    check("results" not in dom and "reindexing" not in dom and "C:\\" not in dom, f"nothing readable: {dom}")
    time.sleep(1)
    check(mtime(index_bin) == before, "no rebuild started by the page")
    print("service_e2e: browser saw:\n" + "\n".join(l for l in dom.splitlines() if "http" in l and "<" not in l),
          file=sys.stderr)


def main():
    os.makedirs(WORK, exist_ok=True)
    image = os.path.join(WORK, "c.img")
    make_image(image, TREE)
    pd = os.path.join(WORK, "ProgramData")
    shutil.rmtree(pd, ignore_errors=True)
    index_bin = os.path.join(pd, "Nimbalo", "index.bin")
    port = free_port()

    # First start builds and saves.
    svc = Service(image, pd, port)
    check(svc.wait_up(), "first start comes up")
    check(os.path.exists(index_bin), "index.bin written by the first start")
    test_routes(port, index_bin)
    test_browser(port, index_bin)
    test_reindex_finds_new_files(svc, image, index_bin)
    test_reindex_storm(port)
    t0 = time.time()
    check(svc.stop() == 0, "SIGTERM ends the service with status 0")
    check(time.time() - t0 < 1.0, f"stopped within a second ({time.time() - t0:.2f}s)")
    saved = open(index_bin, "rb").read()

    # Second start, volume unreadable: the saved index is served; the refresh fails quietly.
    svc = Service("/nonexistent/volume.img", pd, port)
    check(svc.wait_up(), "second start comes up from index.bin alone")
    check(search(port, "fresh")["count"] == 1, "loaded index answers")
    time.sleep(0.5)
    check(svc.proc.poll() is None and search(port, "note")["count"] == 6, "still serving after the failed refresh")
    check(open(index_bin, "rb").read() == saved, "failed refresh leaves index.bin alone")
    check(svc.stop(signal.SIGINT) == 0, "SIGINT ends the service")

    # Damaged files: rejected; with no volume the service cannot start, with one it rebuilds.
    damaged = {
        "truncated": saved[: len(saved) - 7],
        "names length flipped": saved[:1] + bytes([saved[1] ^ 0x10]) + saved[2:],
        "is_dir flipped": None,
        "random bytes": bytes(random.getrandbits(8) for _ in range(len(saved))),
        "empty": b"",
    }
    n = int.from_bytes(saved[1:9], "little")
    isdir_at = 1 + 8 + n + 8 + 12
    damaged["is_dir flipped"] = saved[:isdir_at] + b"\x07" + saved[isdir_at + 1:]
    for what, data in damaged.items():
        with open(index_bin, "wb") as f:
            f.write(data)
        svc = Service("/nonexistent/volume.img", pd, port)
        rc = svc.proc.wait(10)
        err = svc.proc.stderr.read().decode()
        check(rc == 1 and err.startswith("error: "), f"{what}: no index, no service (rc {rc}, {err!r})")
        svc = Service(image, pd, port)
        check(svc.wait_up(), f"{what}: rebuilt from the volume")
        check(search(port, "fresh")["count"] == 1, f"{what}: rebuilt index answers")
        svc.stop()
        check(open(index_bin, "rb").read() != data and len(open(index_bin, "rb").read()) > 100, f"{what}: file replaced")

    # Kill during saves: whatever moment the kill hits, index.bin stays loadable.
    for i in range(8):
        svc = Service(image, pd, port)
        check(svc.wait_up(), "restart for kill test")
        curl(port, "/reindex")
        time.sleep(random.uniform(0.0, 0.3))
        svc.proc.kill()
        svc.proc.wait()
        svc = Service("/nonexistent/volume.img", pd, port)
        check(svc.wait_up(), f"index.bin loadable after kill {i}")
        svc.stop()

    # Port taken: the service ends with an error instead of serving nothing.
    blocker = socket.socket()
    blocker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # our own closed connections linger in TIME_WAIT
    blocker.bind(("127.0.0.1", port))
    blocker.listen(1)
    # Thirty times: the refresh that the load starts was once cut off by the exit (a crash in
    # about one start in 25).
    outcomes = {}
    for _ in range(30):
        svc = Service(image, pd, port)
        rc = svc.proc.wait(20)
        said = "cannot listen" in svc.proc.stderr.read().decode()
        outcomes[(rc, said)] = outcomes.get((rc, said), 0) + 1
    check(outcomes == {(1, True): 30}, f"busy port ends the service with an error, 30 of 30 (exit status, message: {outcomes})")
    blocker.close()

    print(f"service_e2e: {len(failures)} failure(s)", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
