#!/usr/bin/env bash
# Fuzz the NTFS parsers briefly under ASan/UBSan (clang, libFuzzer): replay every corpus input
# (seeds plus every crasher ever found), then fuzz each target for NIMBALO_FUZZ_SECONDS (default
# 20) from a scratch copy of its corpus so the repository's corpus only grows by hand.
set -euo pipefail
seconds=${NIMBALO_FUZZ_SECONDS:-20}
build=build/fuzz
# The whole library gets coverage instrumentation; only the targets link the fuzzer's main.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBALO_FUZZ=ON \
  -DNIMBALO_TESTS=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
targets=(runlist_fuzz file_record_fuzz boot_fuzz usn_batch_fuzz)
cmake --build "$build" --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:malloc_limit_mb=2048
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export OMP_NUM_THREADS=1
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  corpus=fuzz/corpus/$name
  echo "fuzz: $t replaying $(ls "$corpus" | wc -l) inputs" >&2
  "$build/$t" -runs=0 "$corpus" 2>&1 | tail -1
  work=$(mktemp -d)
  cp "$corpus"/* "$work"/
  mkdir -p fuzz/artifacts
  echo "fuzz: $t for ${seconds}s" >&2
  "$build/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix=fuzz/artifacts/"$name"- \
    "$work" 2>&1 | grep -E "^(#[0-9]+ +DONE|Done|==[0-9]+==ERROR|SUMMARY)" || true
  status=${PIPESTATUS[0]}
  rm -rf "$work"
  [ "$status" -eq 0 ] || { echo "fuzz: $t failed (artifacts in fuzz/artifacts/)" >&2; exit 1; }
done
