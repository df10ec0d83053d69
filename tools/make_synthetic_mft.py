#!/usr/bin/env python3
"""Write a sparse NTFS-like image whose MFT holds N FILE records with a realistic tree.

    tools/make_synthetic_mft.py --records 1000000 OUT [--seed 1] [--source /usr]

Names and depths come from a real tree on this machine (default /usr, walked once); when N is
larger than that tree, the tree is repeated under numbered top-level copies. The image has a boot
sector (4 KiB clusters, 1 KiB records), record 0 ($MFT) whose $DATA run list places the MFT in four
extents, the usual system records 1-15 (5 is the root), and then one record per file or folder with
$STANDARD_INFORMATION, $FILE_NAME (Win32 namespace; every fifth file also gets a DOS name) and, for
files, a sparse non-resident $DATA carrying the size. Everything outside the MFT is a hole, so the
image costs about N KiB of disk. It is meant for our reader and benchmarks, not for mounting.
Prints the seed and the counts; writes OUT.part and renames it when complete.
"""
import argparse
import os
import random
import struct
import sys

CLUSTER = 4096
RECORD = 1024


def walk_tree(source, limit):
    """(parent_index, name, is_dir, size) in creation order; index 0 is the root."""
    nodes = [(-1, "", True, 0)]
    index = {source: 0}
    for dirpath, dirnames, filenames in os.walk(source):
        parent = index.get(dirpath)
        if parent is None:
            continue
        dirnames.sort()
        for d in dirnames:
            p = os.path.join(dirpath, d)
            if os.path.islink(p):
                continue
            index[p] = len(nodes)
            nodes.append((parent, d, True, 0))
        for f in sorted(filenames):
            try:
                size = os.lstat(os.path.join(dirpath, f)).st_size
            except OSError:
                size = 0
            nodes.append((parent, f, False, size))
        if len(nodes) >= limit:
            break
    return nodes


def usa_protect(rec, usa_offset=0x30, seq=1):
    strides = RECORD // 512
    struct.pack_into("<H", rec, usa_offset, seq)
    for i in range(1, strides + 1):
        end = 512 * i - 2
        rec[usa_offset + 2 * i:usa_offset + 2 * i + 2] = rec[end:end + 2]
        struct.pack_into("<H", rec, end, seq)


def resident(type_, value):
    length = (0x18 + len(value) + 7) & ~7
    a = bytearray(length)
    struct.pack_into("<IIBBHHHIH", a, 0, type_, length, 0, 0, 0x18, 0, 0, len(value), 0x18)
    a[0x18:0x18 + len(value)] = value
    return a


def nonresident_data(size, runlist, lowest=0, highest=None, init=None):
    clusters = (size + CLUSTER - 1) // CLUSTER
    if highest is None:
        highest = max(clusters - 1, 0)
    length = (0x40 + len(runlist) + 7) & ~7
    a = bytearray(length)
    struct.pack_into("<IIBBHHH", a, 0, 0x80, length, 1, 0, 0x40, 0, 0)
    struct.pack_into("<QQHHIQQQ", a, 0x10, lowest, highest, 0x40, 0, 0, clusters * CLUSTER, size,
                     size if init is None else init)
    a[0x40:0x40 + len(runlist)] = runlist
    return a


def encode_runs(runs):
    out = bytearray()
    prev = 0
    for lcn, count in runs:
        lb = count.to_bytes(8, "little").rstrip(b"\0") or b"\0"
        if lcn is None:
            out.append(len(lb))
            out += lb
            continue
        d = lcn - prev
        n = 1
        while not (-(1 << (8 * n - 1)) <= d < (1 << (8 * n - 1))):
            n += 1
        out.append(len(lb) | (n << 4))
        out += lb + (d & ((1 << (8 * n)) - 1)).to_bytes(n, "little")
        prev = lcn
    out.append(0)
    return bytes(out)


def filename_value(parent, name, is_dir, size, t, namespace):
    units = name.encode("utf-16-le")
    v = bytearray(0x42 + len(units))
    struct.pack_into("<QQQQQQQIIBB", v, 0, parent | (1 << 48), t, t, t, t, (size + 4095) // 4096 * 4096, size,
                     0x10000000 if is_dir else 0x20, 0, len(units) // 2, namespace)
    v[0x42:] = units
    return bytes(v)


def record(number, names, si_time, is_dir, size, extra=b""):
    rec = bytearray(RECORD)
    rec[0:4] = b"FILE"
    struct.pack_into("<HHQHHHH", rec, 4, 0x30, RECORD // 512 + 1, 0, 1, 1, 0x38, 1 | (2 if is_dir else 0))
    at = 0x38
    si = bytearray(0x48)
    struct.pack_into("<QQQQI", si, 0, si_time, si_time, si_time, si_time, 0x10 if is_dir else 0x20)
    attrs = [resident(0x10, si)] + [resident(0x30, fn) for fn in names]
    if extra:
        attrs.append(bytearray(extra))
    elif not is_dir:
        attrs.append(nonresident_data(size, encode_runs([(None, (size + CLUSTER - 1) // CLUSTER)]) if size else b"\0"))
    for a in attrs:
        if at + len(a) + 8 > RECORD:
            break
        rec[at:at + len(a)] = a
        at += len(a)
    struct.pack_into("<I", rec, at, 0xFFFFFFFF)
    struct.pack_into("<II", rec, 0x18, at + 8, RECORD)
    struct.pack_into("<I", rec, 0x2C, number)
    usa_protect(rec)
    return rec


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--records", type=int, required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--source", default="/usr")
    ap.add_argument("--mft-lcn", type=int, default=64)
    ap.add_argument("--extents", type=int, default=4, choices=[1, 4])
    args = ap.parse_args()
    rng = random.Random(args.seed)
    print(f"make_synthetic_mft: seed {args.seed}, {args.records} records", file=sys.stderr)

    n = max(args.records, 32)
    tree = walk_tree(args.source, min(n, 400000))
    first_user = 24
    # Four extents: the MFT split the way a volume that grew over time would have it.
    mft_clusters = (n * RECORD + CLUSTER - 1) // CLUSTER
    q = mft_clusters // args.extents
    sizes = [q] * (args.extents - 1) + [mft_clusters - (args.extents - 1) * q]
    runs, lcn = [], args.mft_lcn
    for i, c in enumerate(sizes):
        runs.append((lcn, c))
        lcn += c + (1000 * (i + 1) if args.extents > 1 else 0)
    total_clusters = lcn + (1024 if args.extents > 1 else 4)

    def position_offset(pos):
        vcn = pos // CLUSTER
        for l, c in runs:
            if vcn < c:
                return (l + vcn) * CLUSTER + pos % CLUSTER
            vcn -= c
        raise ValueError(pos)

    base_time = 132000000000000000
    system = ["$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", ".", "$Bitmap", "$Boot", "$BadClus", "$Secure",
              "$UpCase", "$Extend"]
    tmp = args.out + ".part"
    with open(tmp, "wb") as f:
        f.truncate(total_clusters * CLUSTER)
        boot = bytearray(512)
        boot[0:3] = b"\xEB\x52\x90"
        boot[3:11] = b"NTFS    "
        struct.pack_into("<HB", boot, 0x0B, 512, CLUSTER // 512)
        struct.pack_into("<QQQ", boot, 0x28, total_clusters * (CLUSTER // 512) - 1, args.mft_lcn, 2)
        struct.pack_into("<bxxxb", boot, 0x40, -10, 1)
        struct.pack_into("<H", boot, 0x1FE, 0xAA55)
        f.seek(0)
        f.write(boot)

        # Contiguous stretches of records are written per extent in one go.
        buf = bytearray()
        buf_start = 0
        dirs = files = dos = 0

        def flush():
            nonlocal buf, buf_start
            pos = buf_start
            view = memoryview(buf)
            done = 0
            while done < len(buf):
                off = position_offset(pos + done)
                vcn = (pos + done) // CLUSTER
                left = 0
                for l, c in runs:
                    if vcn < c:
                        left = (c - vcn) * CLUSTER - (pos + done) % CLUSTER
                        break
                    vcn -= c
                k = min(left, len(buf) - done)
                f.seek(off)
                f.write(view[done:done + k])
                done += k
            buf_start += len(buf)
            buf = bytearray()

        copies = 0
        node_record = {}  # (repetition, tree index) -> record number
        for number in range(n):
            if number == 0:
                data = nonresident_data(n * RECORD, encode_runs(runs), 0, mft_clusters - 1)
                rec = record(0, [filename_value(5, "$MFT", False, n * RECORD, base_time, 3)], base_time, False,
                             n * RECORD, extra=data)
            elif number < len(system):
                is_dir = number in (5, 11)
                rec = record(number, [filename_value(5, system[number], is_dir, 0, base_time, 3)], base_time,
                             is_dir, 0)
            elif number < first_user:
                rec = bytearray(RECORD)  # reserved, never used
            else:
                k = (number - first_user) % (len(tree) - 1) + 1
                if k == 1 and number > first_user:
                    copies += 1
                parent_idx, name, is_dir, size = tree[k]
                if parent_idx == 0:
                    parent = 5
                    if copies:
                        name = f"{name} ({copies})"  # each repetition of the tree gets its own top level
                else:
                    parent = node_record[(copies, parent_idx)]
                node_record[(copies, k)] = number
                t = base_time + rng.randrange(0, 10 ** 15)
                fns = [filename_value(parent, name, is_dir, size, t, 1)]
                if not is_dir and rng.randrange(5) == 0:
                    fns.append(filename_value(parent, (name[:6] + "~1").upper(), False, size, t, 2))
                    dos += 1
                rec = record(number, fns, t, is_dir, size)
                dirs += is_dir
                files += not is_dir
            buf += rec
            if len(buf) >= 64 << 20:
                flush()
        flush()
    os.replace(tmp, args.out)
    print(f"make_synthetic_mft: {args.out}: {dirs} folders, {files} files, {dos} DOS names, "
          f"{len(tree) - 1} names from {args.source}", file=sys.stderr)


if __name__ == "__main__":
    main()
