#!/usr/bin/env bash
# Side by side on the same 10M path set: nimbalo's search (query_bench, limit 100, warm),
# Debian's plocate (database built with plocate-build from the same paths) and grep -F -c over
# a file of all paths (the memory-bandwidth baseline). Prints one line per measurement.
# Usage: bash bench/compare_plocate.sh [build-dir]   (needs plocate; uses `find /usr` paths)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
work=${NIMBALO_BENCH_WORK:-$(mktemp -d)}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBALO_BENCH=ON -DNIMBALO_TESTS=OFF >/dev/null
cmake --build "$build" --target query_bench index_bench >/dev/null
find /usr -xdev 2>/dev/null > "$work/usr-paths.txt" || true
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "template: $(wc -l < "$work/usr-paths.txt") paths from find /usr"

export NIMBALO_BENCH_PATHS="$work/usr-paths.txt" NIMBALO_BENCH_DUMP="$work/all-paths.txt"
"$build/query_bench" --benchmark_filter='BM_Search/10000000/' --benchmark_min_time=0.5 --benchmark_format=console | tee "$work/query_bench.txt"
echo "paths dumped: $(wc -l < "$work/all-paths.txt"), $(stat -c %s "$work/all-paths.txt") bytes"

# -l no: the paths do not exist on this machine, and visibility checks would hide them all.
plocate-build -p -l no "$work/all-paths.txt" "$work/plocate.db"
# Output goes to a file: GNU grep stops at the first match when its output is /dev/null.
ms() { local s e; s=$(date +%s%N); "$@" >"$work/out.txt"; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
best() {  # best of 5 runs, in ms
  local b=999999 t
  for _ in 1 2 3 4 5; do t=$(ms "$@"); ((t < b)) && b=$t; done
  echo "$b"
}
cat "$work/all-paths.txt" > /dev/null  # warm the page cache for grep
echo "plocate  common word, limit 100 (-i -l 100 lib):   $(best plocate -d "$work/plocate.db" -i -l 100 lib) ms"
echo "plocate  common word, count all (-i -c lib):       $(best plocate -d "$work/plocate.db" -i -c lib) ms"
echo "plocate  path words, limit 100 (-i -l 100 share/doc): $(best plocate -d "$work/plocate.db" -i -l 100 share/doc) ms"
echo "plocate  no match (-i -c zqxjv):                   $(best plocate -d "$work/plocate.db" -i -c zqxjv) ms"
echo "grep -F  no match (-c zqxjv):                      $(best grep -F -c zqxjv "$work/all-paths.txt") ms"
echo "grep -F  no match, ignoring case (-i -c zqxjv):    $(best grep -F -i -c zqxjv "$work/all-paths.txt") ms"
echo "grep -F  common word, count all (-i -c lib):       $(best grep -F -i -c lib "$work/all-paths.txt") ms"
echo "grep -F  common word, first 100 (-i -m 100 lib):   $(best grep -F -i -m 100 lib "$work/all-paths.txt") ms"
