#!/usr/bin/env bash
# Fuzz the service's two parsers of untrusted bytes (index.bin images, HTTP requests) for a short
# while each, after replaying their corpora (seeds plus every input that ever failed).
# FUZZ_SECONDS overrides the time per target.
set -euo pipefail
seconds=${FUZZ_SECONDS:-20}
build=build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
bash scripts/fuzz_configure.sh
cmake --build $build --target index_file_fuzz http_request_fuzz -- -j2
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in index_file http_request; do
  corpus=fuzz/corpus/$t
  work=$(mktemp -d)
  echo "fuzz $t: replaying $(ls $corpus | wc -l) corpus inputs, then ${seconds}s" >&2
  $build/${t}_fuzz -runs=0 $corpus 2>&1 | tail -1 >&2
  $build/${t}_fuzz -max_total_time="$seconds" -max_len=8192 -seed=20261209 -artifact_prefix=fuzz/artifacts/ \
    -print_final_stats=0 $work $corpus 2>&1 | tail -1 >&2
  rm -rf "$work"
done
