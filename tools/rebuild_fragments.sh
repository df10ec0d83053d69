#!/usr/bin/env bash
# Rebuild a partial volume image from one set of fragments.tar.xz: each chunk file is named by its
# byte offset (0x...) and is written there into a sparse file; the rest reads as zeros.
#
#   tools/rebuild_fragments.sh ARCHIVE SET OUT
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 fragments.tar.xz SET OUT" >&2; exit 2; }
archive=$1 set=$2 out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xJf "$archive" -C "$work" "$set"
rm -f "$out"
max=0
for f in "$work/$set"/0x*.bin; do
  off=$(( $(basename "$f" .bin) ))
  dd if="$f" of="$out" bs=1 seek="$off" conv=notrunc status=none 2>/dev/null || \
    dd if="$f" of="$out" oflag=seek_bytes seek="$off" conv=notrunc status=none
  end=$(( off + $(stat -c %s "$f") ))
  [ $end -gt $max ] && max=$end
done
truncate -s "$max" "$out"
