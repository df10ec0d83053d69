#!/usr/bin/env bash
# Short fuzz runs of the query parser/search and the glob matcher (clang, libFuzzer), after
# replaying their corpora (every seed and every input that ever failed). New inputs found
# during the run go to a temporary folder, not into the tree.
set -euo pipefail
secs=${NIMBALO_FUZZ_SECONDS:-20}
# The library is built with coverage instrumentation too, or libFuzzer would see only the harness.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_FUZZ=ON \
  -DNIMBALO_TESTS=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build build/fuzz --target query_fuzz wildcard_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() {
  local name=$1 max_len=$2
  mkdir -p "$work/$name"
  echo "fuzz: $name for ${secs}s" >&2
  "build/fuzz/${name}_fuzz" -max_total_time="$secs" -max_len="$max_len" -timeout=10 \
    -artifact_prefix="$work/$name/" "$work/$name" "fuzz/corpus/$name" 2>"$work/$name.log" || {
    tail -40 "$work/$name.log" >&2
    echo "fuzz: $name failed; the input is in $work/$name/ (add it to fuzz/corpus/$name/)" >&2
    trap - EXIT
    return 1
  }
  tail -1 "$work/$name.log" >&2
}
run query 201
run wildcard 514
