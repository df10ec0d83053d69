#!/usr/bin/env bash
# Short fuzz runs of every parser of untrusted bytes under libFuzzer with ASan + UBSan (clang).
# Each target first replays its corpus (fuzz/corpus/<input>: seeds plus every input that ever
# failed; the normal test run replays them too, without clang), then fuzzes for
# NIMBALO_FUZZ_SECONDS (default 20) from a scratch copy, so the repository's corpus only grows by
# hand. One fixed seed for every target, so a run replays. A failing input is left in
# fuzz/artifacts/; add it to the target's corpus once fixed.
set -euo pipefail
seconds=${NIMBALO_FUZZ_SECONDS:-20}
seed=20261209
build=build/fuzz

# input         max_len  timeout (s)  (what bounds them)
table=(
  "runlist      4096     10"    # run lists live inside one FILE record
  "file_record  -        10"    # selector byte + one record; the seeds set the size
  "boot         -        10"    # small volume images; the seeds set the size
  "usn_batch    -        10"    # $J excerpts; the seeds set the size
  "query        201      30"    # longer queries only make regular expressions slower to compile;
                                # a pattern at the 10 MiB limit compiles in ~0.3 s natively but
                                # several seconds under ASan, a few times per input
  "wildcard     514      10"
  "index_file   8192     10"
  "http_request 8192     10"
  "mcp_frame    4096     10"
)

bash scripts/fuzz_configure.sh
targets=()
for row in "${table[@]}"; do
  read -r input _ <<<"$row"
  targets+=("${input}_fuzz")
done
cmake --build "$build" -j2 --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:malloc_limit_mb=2048
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export OMP_NUM_THREADS=1
mkdir -p fuzz/artifacts
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for row in "${table[@]}"; do
  read -r input max_len timeout <<<"$row"
  target=$build/${input}_fuzz
  corpus=fuzz/corpus/$input
  limit=()
  [ "$max_len" = - ] || limit=(-max_len="$max_len")
  mkdir -p "$work/$input"
  cp "$corpus"/* "$work/$input"/
  echo "fuzz: $input: replaying $(ls "$corpus" | wc -l) inputs, then ${seconds}s" >&2
  if ! "$target" -runs=0 "$corpus" >"$work/$input.replay.log" 2>&1 ||
    ! "$target" -max_total_time="$seconds" -seed="$seed" "${limit[@]}" -timeout="$timeout" -rss_limit_mb=2048 \
      -print_final_stats=0 -artifact_prefix="fuzz/artifacts/$input-" "$work/$input" >"$work/$input.log" 2>&1; then
    tail -40 "$work/$input.replay.log" "$work/$input.log" 2>/dev/null >&2 || true
    echo "fuzz: $input FAILED (the input is in fuzz/artifacts/)" >&2
    failed=1
    continue
  fi
  tail -1 "$work/$input.log" >&2
done
exit $failed
