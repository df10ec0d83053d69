#!/usr/bin/env bash
# The MCP frame reader under libFuzzer: replay the corpus (seeds and every past crasher), then
# fuzz for a short while. FUZZ_SECONDS overrides the duration (default 20).
set -euo pipefail
# The library is compiled with coverage too (fuzzer-no-link), so the fuzzer sees inside the reader.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DNIMBALO_FUZZ=ON -DNIMBALO_TESTS=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build build/fuzz --target mcp_frame_fuzz
corpus=fuzz/corpus/mcp_frame
./build/fuzz/mcp_frame_fuzz -runs=0 "$corpus"
mkdir -p fuzz/artifacts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
./build/fuzz/mcp_frame_fuzz -max_total_time="${FUZZ_SECONDS:-20}" -max_len=4096 -artifact_prefix=fuzz/artifacts/ \
  -print_final_stats=1 "$work" "$corpus" 2>&1 | tail -n 12
