#!/usr/bin/env python3
"""A small HTTPS server on 127.0.0.1 for the updater's tests.

Serves manifests with the edge cases the updater must handle, a build with and without a
Content-Length, a transfer cut short, a slow transfer, a wrong checksum, redirects and 404s. Writes its port to --port-file once it
listens. The build's bytes are deterministic (--build-size bytes, i*7 mod 251) and its SHA-256 is
served in /good/version.txt, computed here with hashlib as an independent reference.
"""
import argparse
import hashlib
import http.server
import ssl
import sys
import time


def build_bytes(size):
    return bytes((i * 7) % 251 for i in range(size))


def big_manifest():
    # version=1 first, version=2 at byte 65,536, version=3 near the end of 100 KB.
    body = bytearray(b"version=1\n")
    while len(body) < 65536:
        line = b"#" + b"." * min(60, 65536 - len(body) - 2) + b"\n"
        body += line
    body = body[:65536]
    body[-1:] = b"\n"
    body += b"version=2\n"
    while len(body) < 100000:
        body += b"#" + b"." * 60 + b"\n"
    body += b"version=3\n"
    return bytes(body)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # keep test output quiet
        pass

    def send_body(self, body, status=200, length=True, ctype="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        # A close-delimited body ends when the server closes the connection. No TLS close_notify
        # exchange: waiting for the client's reply stalls WinHTTP under Wine until its time-out.

    def do_GET(self):
        cfg = self.server.cfg
        build = cfg["build"]
        sha = hashlib.sha256(build).hexdigest()
        text = {
            "/bare/version.txt": b"v0.6.0\n",
            "/keyfirst/version.txt": b"url=/download/nimbalo.exe\n0.7.0\n",
            "/upper/version.txt": b"SHA256 = " + sha.upper().encode() + b"\r\nversion=0.6.1\r\n",
            "/good/version.txt": ("version=0.6.0\nurl=/download/nimbalo.exe\nsha256=%s\nsize=%d\n"
                                  % (sha, len(build))).encode(),
            "/slow/version.txt": ("version=0.6.0\nurl=/slow/nimbalo.exe\nsha256=%s\nsize=%d\n"
                                  % (sha, len(build))).encode(),
            "/badsum/version.txt": ("version=0.6.0\nurl=/download/nimbalo.exe\nsha256=%s\nsize=%d\n"
                                    % ("0" * 64, len(build))).encode(),
            "/same/version.txt": b"version=0.5.5\n",
            "/escapes/version.txt": b"version=9.9\x1b]0;owned\x07\nurl=https://x.example/\x1b[2Jn.exe\xc2\x9b\n",
            "/ua/version.txt": b"version=" + self.headers.get("User-Agent", "").encode() + b"\n",
            "/big/version.txt": big_manifest(),
        }
        if self.path in text:
            return self.send_body(text[self.path], ctype="text/plain")
        if self.path == "/download/nimbalo.exe":
            return self.send_body(build)
        if self.path == "/slow/nimbalo.exe":  # about 4 s, for a page that shows the download
            self.send_response(200)
            self.send_header("Content-Length", str(len(build)))
            self.end_headers()
            step = max(1, len(build) // 40)
            for i in range(0, len(build), step):
                self.wfile.write(build[i:i + step])
                self.wfile.flush()
                time.sleep(0.1)
            return
        if self.path == "/nolength/nimbalo.exe":
            return self.send_body(build, length=False)
        if self.path == "/truncated/nimbalo.exe":
            self.send_response(200)
            self.send_header("Content-Length", str(len(build)))
            self.end_headers()
            self.wfile.write(build[: len(build) // 2])
            self.wfile.flush()
            self.close_connection = True
            self.connection.close()
            return
        if self.path == "/redirect/version.txt":
            self.send_response(302)
            self.send_header("Location", "/bare/version.txt")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if self.path == "/redirect-http/version.txt":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:1/bare/version.txt")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_body(b"not found\n", status=404, ctype="text/plain")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--build-size", type=int, default=300000)
    args = ap.parse_args()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.cfg = {"build": build_bytes(args.build_size)}
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.rename(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
