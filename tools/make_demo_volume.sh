#!/usr/bin/env bash
# The demo NTFS volume: a real tree from this machine (/usr/share/doc, /usr/include, /usr/share/man;
# well over 20,000 files) plus the awkward cases a file-name index must get right: deep paths
# longer than 260 characters, non-ASCII names (accented Latin, Greek, Cyrillic, CJK, emoji), one
# file hard-linked into two folders, names differing only in case, and large sparse files.
#
#   tools/make_demo_volume.sh [OUT]        default OUT: build/volumes/demo.img
#
# Reuses OUT when it exists and was made by this version of the script (a stamp file beside it);
# set NIMBALO_REBUILD_VOLUMES=1 to force a new one. Files above 4 KiB keep their size but become
# sparse (holes), which keeps making the image fast; names, sizes and the tree are the real ones.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/volumes/demo.img}
mkdir -p "$(dirname "$out")"
stamp="$out.stamp"
want=$(sha256sum "$0" "$root/tools/mkimage.sh" | sha256sum | cut -c1-16)
exec 9>"$out.lock"
flock 9
if [ -f "$out" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && [ -z "${NIMBALO_REBUILD_VOLUMES:-}" ]; then
  echo "make_demo_volume: reusing $out" >&2
  exit 0
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

python3 - "$stage" <<'PY'
import os, sys
stage = sys.argv[1]
# Mirror real trees: directories and names as they are; contents up to 4 KiB copied, larger files
# recreated sparse with the same size. Symbolic links are skipped (NTFS has no plain equivalent).
for src, dst in [("/usr/share/doc", "usr/share/doc"), ("/usr/include", "usr/include"), ("/usr/share/man", "usr/share/man")]:
    for dirpath, dirnames, filenames in os.walk(src):
        rel = os.path.relpath(dirpath, src)
        target = os.path.normpath(os.path.join(stage, dst, rel))
        os.makedirs(target, exist_ok=True)
        for name in filenames:
            p = os.path.join(dirpath, name)
            if os.path.islink(p) or not os.path.isfile(p):
                continue
            size = os.path.getsize(p)
            with open(os.path.join(target, name), "wb") as f:
                if size <= 4096:
                    with open(p, "rb") as g:
                        f.write(g.read())
                else:
                    f.truncate(size)

def touch(rel, data=b"demo\n"):
    p = os.path.join(stage, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    with open(p, "wb") as f:
        f.write(data)

# Deep path: 40 levels, the full path well past 260 characters.
deep = "/".join("level%02d-nested-folder" % i for i in range(40))
touch("deep/" + deep + "/bottom.txt")
# Non-ASCII names.
for rel in ["international/RÉSUMÉ.doc", "international/Ελληνικά.txt", "international/Документы/отчёт.txt",
            "international/漢字テスト.txt", "international/中文目录/文件.md", "international/party 🎉.txt",
            "international/naïve café.txt", "international/Ünïcödé/ñ.txt"]:
    touch(rel)
# Names that differ only in case (ntfs-3g creates them in the POSIX namespace).
for name in ["Readme.txt", "README.TXT", "readme.txt"]:
    touch("case/" + name, name.encode())
# One file hard-linked into two folders.
touch("links/first/shared-report.txt", b"linked\n")
os.makedirs(os.path.join(stage, "links/second"), exist_ok=True)
os.link(os.path.join(stage, "links/first/shared-report.txt"), os.path.join(stage, "links/second/shared-report.txt"))
# Large sparse files.
for name, size in [("disk-image.vhd", 8 << 30), ("database.bin", 3 << 30), ("video.mkv", 1536 << 20)]:
    os.makedirs(os.path.join(stage, "big"), exist_ok=True)
    with open(os.path.join(stage, "big", name), "wb") as f:
        f.truncate(size)
        f.seek(size // 2)
        f.write(b"middle")
PY
"$root/tools/mkimage.sh" --size $((1536 * 1048576)) --label Demo "$out" "$stage"
echo "$want" > "$stamp"
echo "make_demo_volume: $(find "$stage" -type f | wc -l) files, $(find "$stage" -type d | wc -l) folders" >&2
