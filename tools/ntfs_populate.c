/* Copy a directory tree into the root of an NTFS image through libntfs-3g, for machines where
 * ntfs-3g cannot be mounted through FUSE. Used by tools/mkimage.sh; built on the fly with
 * ntfs-3g-dev:  cc -O2 -o ntfs_populate ntfs_populate.c $(pkg-config --cflags --libs libntfs-3g)
 *
 *   ntfs_populate IMAGE SRC_DIR
 *
 * Keeps names (UTF-8 to UTF-16), folders, file contents, holes (data is written only where the
 * source has data) and hard links among the copied files. Symbolic links and special files are
 * skipped. Exits non-zero with a message on the first failure. */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>

struct link_seen {
    dev_t dev;
    ino_t ino;
    u64 mref;
};
static struct link_seen *seen;
static size_t seen_count, seen_cap;

/* Further names of a hard-linked file, made after the copy: linking while the folder is open here
 * would leave two in-memory copies of its index (the link's close updates the folder too). */
struct pending_link {
    char *dir;  /* volume path of the folder, "/..." */
    char *name;
    u64 mref;
};
static struct pending_link *pending;
static size_t pending_count, pending_cap;
static ntfs_volume *vol;

static void die(const char *what, const char *path) {
    fprintf(stderr, "ntfs_populate: %s %s: %s\n", what, path, strerror(errno));
    exit(1);
}

static int copy_data(ntfs_inode *ni, const char *path, off_t size) {
    ntfs_attr *na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
    if (!na) return -1;
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        ntfs_attr_close(na);
        return -1;
    }
    /* Size first (the gaps become holes), then only the stretches that hold data. */
    int rc = ntfs_attr_truncate(na, size);
    static char buf[1 << 20];
    off_t pos = 0;
    while (rc == 0 && pos < size) {
        off_t data = lseek(fd, pos, SEEK_DATA);
        if (data < 0) break; /* only a hole remains */
        off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0) hole = size;
        for (off_t at = data; rc == 0 && at < hole;) {
            ssize_t n = pread(fd, buf, (size_t)(hole - at < (off_t)sizeof buf ? hole - at : (off_t)sizeof buf), at);
            if (n <= 0) {
                rc = -1;
                break;
            }
            if (ntfs_attr_pwrite(na, at, n, buf) != n) rc = -1;
            at += n;
        }
        pos = hole;
    }
    close(fd);
    ntfs_attr_close(na);
    return rc;
}

static void copy_dir(ntfs_inode *dir_ni, const char *src, const char *vpath) {
    DIR *d = opendir(src);
    if (!d) die("cannot read", src);
    struct dirent *e;
    while ((e = readdir(d))) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        char path[4096];
        snprintf(path, sizeof path, "%s/%s", src, e->d_name);
        struct stat st;
        if (lstat(path, &st) != 0) die("cannot stat", path);
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
        ntfschar *name = NULL;
        int len = ntfs_mbstoucs(e->d_name, &name);
        if (len <= 0) die("cannot convert the name of", path);
        if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
            size_t i;
            for (i = 0; i < seen_count; ++i)
                if (seen[i].dev == st.st_dev && seen[i].ino == st.st_ino) break;
            if (i < seen_count) {
                if (pending_count == pending_cap) {
                    pending_cap = pending_cap ? 2 * pending_cap : 64;
                    pending = realloc(pending, pending_cap * sizeof *pending);
                    if (!pending) die("out of memory at", path);
                }
                pending[pending_count++] = (struct pending_link){strdup(vpath), strdup(e->d_name), seen[i].mref};
                free(name);
                continue;
            }
        }
        ntfs_inode *ni = ntfs_create(dir_ni, const_cpu_to_le32(0), name, (u8)len, S_ISDIR(st.st_mode) ? S_IFDIR : S_IFREG);
        free(name);
        if (!ni) die("cannot create", path);
        if (S_ISDIR(st.st_mode)) {
            char sub[4096];
            snprintf(sub, sizeof sub, "%s/%s", vpath, e->d_name);
            copy_dir(ni, path, sub);
        } else {
            if (copy_data(ni, path, st.st_size)) die("cannot write", path);
            if (st.st_nlink > 1) {
                if (seen_count == seen_cap) {
                    seen_cap = seen_cap ? 2 * seen_cap : 64;
                    seen = realloc(seen, seen_cap * sizeof *seen);
                    if (!seen) die("out of memory at", path);
                }
                seen[seen_count++] = (struct link_seen){st.st_dev, st.st_ino, ni->mft_no};
            }
        }
        if (ntfs_inode_close_in_dir(ni, dir_ni)) die("cannot close", path);
    }
    closedir(d);
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s IMAGE SRC_DIR\n", argv[0]);
        return 2;
    }
    setlocale(LC_ALL, "C.UTF-8");
    ntfs_set_char_encoding("C.UTF-8");
    vol = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (!vol) die("cannot open", argv[1]);
    ntfs_inode *root = ntfs_inode_open(vol, FILE_root);
    if (!root) die("cannot open the root of", argv[1]);
    copy_dir(root, argv[2], "");
    ntfs_inode_close(root);
    for (size_t i = 0; i < pending_count; ++i) {
        const struct pending_link *l = &pending[i];
        ntfschar *name = NULL;
        int len = ntfs_mbstoucs(l->name, &name);
        ntfs_inode *dir = ntfs_pathname_to_inode(vol, NULL, l->dir[0] ? l->dir : "/");
        ntfs_inode *ni = ntfs_inode_open(vol, l->mref);
        if (len <= 0 || !dir || !ni || ntfs_link(ni, dir, name, (u8)len)) die("cannot link", l->name);
        if (ntfs_inode_close_in_dir(ni, dir) || ntfs_inode_close(dir)) die("cannot close after linking", l->name);
        free(name);
    }
    if (ntfs_umount(vol, FALSE)) die("cannot close", argv[1]);
    return 0;
}
