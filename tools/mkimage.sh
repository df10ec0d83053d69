#!/usr/bin/env bash
# Make an NTFS image file from a directory tree with Debian's mkntfs and ntfs-3g.
#
#   tools/mkimage.sh [--size BYTES] [--cluster-size BYTES] [--sector-size BYTES] [--label TEXT] OUT SRC_DIR
#
# The tree's contents become the volume's root (hard links, sparse files and names kept as they
# are). Needs root: the image is mounted through FUSE (ntfs-3g). Where FUSE is not available the
# tree is written through libntfs-3g instead (tools/ntfs_populate.c, built on the fly with
# ntfs-3g-dev). The image is written next to OUT and renamed into place when complete, under a lock,
# so concurrent callers never see a half-made image. --size defaults to twice the tree's apparent
# size plus 64 MiB. --sector-size 4096 also gives 4096-byte FILE records (mkntfs's rule).
# NIMBALO_MKIMAGE_NO_FUSE=1 takes the libntfs-3g path even where FUSE works (to test it).
set -euo pipefail
size="" cluster="" sector="" label="Nimbalo"
while [ $# -gt 2 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --cluster-size) cluster=$2; shift 2 ;;
    --sector-size) sector=$2; shift 2 ;;
    --label) label=$2; shift 2 ;;
    *) echo "mkimage: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -eq 2 ] || { echo "usage: $0 [--size B] [--cluster-size B] [--sector-size B] [--label L] OUT SRC_DIR" >&2; exit 2; }
out=$1 src=$2
[ -d "$src" ] || { echo "mkimage: $src is not a directory" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$(dirname "$out")"
if [ -z "$size" ]; then
  bytes=$(du -sb --apparent-size "$src" | cut -f1)
  size=$(( (bytes * 2 / 1048576 + 64) * 1048576 ))
fi
tmp="$out.tmp.$$"
mnt=$(mktemp -d)
cleanup() { mountpoint -q "$mnt" && umount "$mnt"; rmdir "$mnt" 2>/dev/null || true; rm -f "$tmp"; }
trap cleanup EXIT

rm -f "$tmp"
truncate -s "$size" "$tmp"
args=(-F -q -f -L "$label")
[ -n "$cluster" ] && args+=(-c "$cluster")
[ -n "$sector" ] && args+=(-s "$sector")
mkntfs "${args[@]}" "$tmp" >/dev/null 2>&1 || { echo "mkimage: mkntfs failed" >&2; mkntfs "${args[@]}" "$tmp"; exit 1; }

if [ -z "${NIMBALO_MKIMAGE_NO_FUSE:-}" ] && ntfs-3g "$tmp" "$mnt" 2>/dev/null; then
  # --sparse=always keeps holes as holes: big sparse files cost no space and no time.
  cp -a --sparse=always "$src"/. "$mnt"/
  sync -f "$mnt"
  umount "$mnt"
else
  echo "mkimage: FUSE mount failed; writing through libntfs-3g" >&2
  tool="${TMPDIR:-/tmp}/nimbalo-ntfs-populate"
  if [ ! -x "$tool" ] || [ "$here/ntfs_populate.c" -nt "$tool" ]; then
    cc -O2 -o "$tool" "$here/ntfs_populate.c" $(pkg-config --cflags --libs libntfs-3g)
  fi
  "$tool" "$tmp" "$src"
fi
mv "$tmp" "$out"
echo "mkimage: $out ($(du -h --apparent-size "$out" | cut -f1) apparent, $(du -h "$out" | cut -f1) used)" >&2
