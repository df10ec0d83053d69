// Round trip of a `search` tool call through `nimbalo mcp` and a search service on
// 127.0.0.1:8123, as an agent sees it: JSON line in, JSON line out, limit 100, with the
// per-row metadata reads. By default a stand-in service answers every search with the same 100
// existing paths (under NIMBALO_MOUNT_C); with --real-service the service already listening on
// 8123 answers instead. Reports p50/p90/p99 over N calls after a warm-up, and checks each reply.
//
//   node bench/mcp_search_roundtrip.mjs <nimbalo> [calls=1000] [--real-service] [query=report]
// Run inside `unshare -n` (with lo up) when another service may hold the port.
import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";

const args = process.argv.slice(2);
const exe = args[0];
const calls = Number(args.find((a) => /^\d+$/.test(a)) || 1000);
const real = args.includes("--real-service");
const query = (args.find((a) => a.startsWith("query=")) || "query=report").slice(6);
if (!exe) throw new Error("usage: mcp_search_roundtrip.mjs <nimbalo> [calls] [--real-service] [query=word]");

const home = fs.mkdtempSync(path.join(os.tmpdir(), "nimbalo-mcp-bench-"));
const mount = path.join(home, "c");
fs.mkdirSync(path.join(mount, "docs"), { recursive: true });
const paths = [];
for (let i = 0; i < 100; i++) {
  fs.writeFileSync(path.join(mount, "docs", `report-${i}.txt`), "x".repeat(i));
  paths.push(`C:\\docs\\report-${i}.txt`);
}

let server = null;
if (!real) {
  const body = JSON.stringify({ by_path: false, count: 100, error: null, query, results: paths });
  server = http.createServer((req, res) => {
    res.writeHead(200, { "Content-Type": "application/json", "Content-Length": Buffer.byteLength(body), Connection: "close" });
    res.end(body);
  });
  await new Promise((r) => server.listen(8123, "127.0.0.1", r));
}

const child = spawn(exe, ["mcp"], { env: { ...process.env, LOCALAPPDATA: home, NIMBALO_MOUNT_C: mount }, stdio: ["pipe", "pipe", "inherit"] });
let pending = null, buf = "";
child.stdout.on("data", (d) => {
  buf += d.toString("utf8");
  let nl;
  while ((nl = buf.indexOf("\n")) >= 0) {
    const line = buf.slice(0, nl);
    buf = buf.slice(nl + 1);
    const p = pending;
    pending = null;
    p(JSON.parse(line));
  }
});
let id = 0;
function call(method, params) {
  return new Promise((resolve) => {
    pending = resolve;
    child.stdin.write(JSON.stringify({ jsonrpc: "2.0", id: ++id, method, params }) + "\n");
  });
}

await call("initialize", { protocolVersion: "2025-06-18", capabilities: {}, clientInfo: { name: "bench", version: "1" } });
const times = [];
let rows = 0;
for (let i = 0; i < calls + 50; i++) {
  const t0 = process.hrtime.bigint();
  const reply = await call("tools/call", { name: "search", arguments: { query, limit: 100 } });
  const ms = Number(process.hrtime.bigint() - t0) / 1e6;
  const out = JSON.parse(reply.result.content[0].text);
  if (reply.result.isError || out.source !== "service") throw new Error("unexpected reply: " + JSON.stringify(reply).slice(0, 300));
  if (!real && (out.count !== 100 || !out.results.every((r) => r.exists))) throw new Error("rows missing");
  if (i >= 50) { times.push(ms); rows += out.count; }
}
child.stdin.end();
server?.close();
times.sort((a, b) => a - b);
const pct = (p) => times[Math.min(times.length - 1, Math.floor((p / 100) * times.length))].toFixed(2);
console.log(`search round trip (${real ? "real service" : "stand-in service"}, query ${JSON.stringify(query)}, limit 100, ${calls} calls, ${(rows / calls).toFixed(0)} rows/call): p50 ${pct(50)} ms  p90 ${pct(90)} ms  p99 ${pct(99)} ms  max ${times.at(-1).toFixed(2)} ms`);
fs.rmSync(home, { recursive: true, force: true });
