// The one way every program writes an output file: into an exclusive,
// hidden temporary file beside the destination, synced, then renamed over
// it.  A run that fails or is killed leaves the destination as it was, and
// runs that share an output name each leave one whole file.
#include "imagefiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static char *dupstr(const char *s, size_t n)
{
    char *out = (char *)malloc(n + 1);
    if (out) {
        memcpy(out, s, n);
        out[n] = 0;
    }
    return out;
}

// Length of the folder part of `path`, its last slash included (0: the
// current folder).
static size_t folderlen(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? (size_t)(slash - path) + 1 : 0;
}

// The file that a write to `path` lands in: `path` itself, or the end of
// its chain of symbolic links (which need not exist yet).  Malloc'd; null
// on a loop, a failed read or no memory.
static char *finaltarget(const char *path)
{
    char *cur = dupstr(path, strlen(path));
    for (int hops = 0; cur && hops < 40; hops++) {
        struct stat st;
        if (lstat(cur, &st) != 0)
            return errno == ENOENT ? cur : (free(cur), nullptr);
        if (!S_ISLNK(st.st_mode))
            return cur;
        char link[4096];
        ssize_t n = readlink(cur, link, sizeof link);
        if (n <= 0 || (size_t)n >= sizeof link) {
            free(cur);
            return nullptr;
        }
        size_t keep = link[0] == '/' ? 0 : folderlen(cur);
        char *next = (char *)malloc(keep + (size_t)n + 1);
        if (next) {
            memcpy(next, cur, keep);
            memcpy(next + keep, link, (size_t)n);
            next[keep + (size_t)n] = 0;
        }
        free(cur);
        cur = next;
    }
    free(cur);
    return nullptr;
}

// A hidden name beside `dest` for mkostemp: "." + the file's name (cut
// short, so that a long name still fits) + ".XXXXXX".  No output glob
// (*.hd, *.im, *.vroi, *.png) matches it.
static char *tempname(const char *dest)
{
    size_t k = folderlen(dest);
    const char *base = dest + k;
    size_t b = strlen(base);
    if (b > 100)
        b = 100;
    char *t = (char *)malloc(k + b + 9);
    if (!t)
        return nullptr;
    memcpy(t, dest, k);
    t[k] = '.';
    memcpy(t + k + 1, base, b);
    memcpy(t + k + 1 + b, ".XXXXXX", 8);
    return t;
}

static int opendirect(const char *path, outfile *o)
{
    o->fd = open(path, O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    return o->fd >= 0 ? st_ok : st_open;
}

int openout(const char *path, outfile *o)
{
    *o = outfile{-1, nullptr, nullptr};
    struct stat st;
    mode_t mode;
    bool existed = stat(path, &st) == 0;
    if (existed) {
        if (S_ISDIR(st.st_mode))
            return st_open;
        // A device or a FIFO is written as it is: it cannot be replaced.
        if (!S_ISREG(st.st_mode))
            return opendirect(path, o);
        // A file that may not be written stays as it is.
        if (access(path, W_OK) != 0)
            return st_open;
        mode = st.st_mode & 07777;
    } else if (errno == ENOENT) {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    } else {
        return st_open;
    }
    o->dest = finaltarget(path);
    if (!o->dest)
        return st_open;
    struct stat dt;
    // The link chain led somewhere other than the file that `path` opens
    // (a name under /proc, say): write to it directly.
    if (existed && (stat(o->dest, &dt) != 0 || dt.st_dev != st.st_dev || dt.st_ino != st.st_ino)) {
        free(o->dest);
        o->dest = nullptr;
        return opendirect(path, o);
    }
    o->tmp = tempname(o->dest);
    if (o->tmp)
        o->fd = mkostemp(o->tmp, O_CLOEXEC);
    if (o->fd < 0) {
        dropout(o);
        return st_open;
    }
    if (fchmod(o->fd, mode) != 0) {
        dropout(o);
        return st_open;
    }
    return st_ok;
}

int writeout(outfile *o, const void *buf, int64_t bytes)
{
    const char *p = (const char *)buf;
    while (bytes > 0) {
        ssize_t n = write(o->fd, p, (size_t)bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return st_bad;
        p += n;
        bytes -= n;
    }
    return st_ok;
}

int finishout(outfile *o)
{
    // Synced before the rename: after a crash the name holds either the
    // old file or the whole new one.
    bool ok = o->fd >= 0 && (!o->tmp || fsync(o->fd) == 0);
    ok = close(o->fd) == 0 && ok;
    o->fd = -1;
    return ok ? st_ok : st_bad;
}

int placeout(outfile *o)
{
    if (!o->tmp)
        return st_ok;
    if (rename(o->tmp, o->dest) != 0)
        return st_bad;
    free(o->tmp);
    o->tmp = nullptr;
    return st_ok;
}

void dropout(outfile *o)
{
    if (o->fd >= 0)
        close(o->fd);
    if (o->tmp)
        unlink(o->tmp);
    free(o->tmp);
    free(o->dest);
    *o = outfile{-1, nullptr, nullptr};
}

int commitout(outfile *o)
{
    int st = finishout(o);
    if (st == st_ok)
        st = placeout(o);
    dropout(o);
    return st;
}

int writefile(const char *path, const void *buf, int64_t bytes)
{
    outfile o;
    int st = openout(path, &o);
    if (st != st_ok)
        return st;
    if (writeout(&o, buf, bytes) != st_ok) {
        dropout(&o);
        return st_bad;
    }
    return commitout(&o);
}

// A second, hidden name for the file at `dest`, so that it can be put
// back; null when there is no file or no link can be made.
static char *keepold(const char *dest)
{
    struct stat st;
    if (lstat(dest, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    char *t = tempname(dest);
    for (int tries = 0; t && tries < 100; tries++) {
        // mkostemp draws an unused random name; the link takes its place.
        memcpy(t + strlen(t) - 6, "XXXXXX", 6);
        int fd = mkostemp(t, O_CLOEXEC);
        if (fd < 0)
            break;
        close(fd);
        unlink(t);
        if (link(dest, t) == 0)
            return t;
        if (errno != EEXIST)
            break;
    }
    free(t);
    return nullptr;
}

int placepair(outfile *first, outfile *second)
{
    int st = finishout(first);
    if (st == st_ok)
        st = finishout(second);
    // Both destinations must still take a file before either is replaced.
    struct stat s1, s2;
    if (st == st_ok && ((first->tmp && stat(first->dest, &s1) == 0 && S_ISDIR(s1.st_mode)) ||
                        (second->tmp && stat(second->dest, &s2) == 0 && S_ISDIR(s2.st_mode))))
        st = st_bad;
    bool renamed = st == st_ok && first->tmp;
    struct stat o1;
    bool hadold = renamed && lstat(first->dest, &o1) == 0;
    char *old = hadold ? keepold(first->dest) : nullptr;
    if (st == st_ok)
        st = placeout(first);
    if (st == st_ok && placeout(second) != st_ok) {
        st = st_bad;
        // Put the first file back as it was, or remove it when it is new.
        if (old)
            rename(old, first->dest);
        else if (renamed && !hadold)
            unlink(first->dest);
    }
    if (old) {
        unlink(old);  // gone already when it was put back
        free(old);
    }
    dropout(first);
    dropout(second);
    return st;
}
