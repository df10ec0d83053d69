#!/usr/bin/env bash
# The MCP frame reader under libFuzzer: replay the corpus (seeds and every past crasher), then
# fuzz for a short while. NIMBALO_FUZZ_SECONDS overrides the duration (default 20).
set -euo pipefail
# The library is compiled with coverage too (the shared fuzz build), so the fuzzer sees inside the reader.
bash scripts/fuzz_configure.sh
cmake --build build/fuzz --target mcp_frame_fuzz
corpus=fuzz/corpus/mcp_frame
./build/fuzz/mcp_frame_fuzz -runs=0 "$corpus"
mkdir -p fuzz/artifacts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
./build/fuzz/mcp_frame_fuzz -max_total_time="${NIMBALO_FUZZ_SECONDS:-20}" -seed=20261209 -max_len=4096 -artifact_prefix=fuzz/artifacts/ \
  -print_final_stats=1 "$work" "$corpus" 2>&1 | tail -n 12
