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
#include <sys/file.h>
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

// The folder part of `path` as a name of its own ("." for none).
// Malloc'd; null when memory cannot be had.
static char *folderof(const char *path)
{
    size_t k = folderlen(path);
    return k ? dupstr(path, k) : dupstr(".", 1);
}

// A name under /proc or /dev/fd stands for a descriptor (/dev/stdout,
// say): what it leads to is not a file to be replaced.
static bool magicname(const char *p)
{
    return strncmp(p, "/proc/", 6) == 0 || strncmp(p, "/dev/fd/", 8) == 0;
}

// Whether the kernel would refuse to follow this link for us: a link in
// a sticky folder that anyone may write, owned neither by us nor by the
// folder's owner (one planted in /tmp, say).
static bool plantedlink(const char *link, const struct stat &ls)
{
    char *folder = folderof(link);
    struct stat fs;
    bool planted = !folder || (stat(folder, &fs) == 0 && (fs.st_mode & S_ISVTX) &&
                               (fs.st_mode & S_IWOTH) && ls.st_uid != geteuid() &&
                               ls.st_uid != fs.st_uid);
    free(folder);
    return planted;
}

// The file that a write to `path` lands in: `path` itself, or the end of
// its chain of symbolic links (which need not exist yet).  Malloc'd; null
// on a loop, a planted link, a failed read or no memory.  *magic: the
// chain passes through a descriptor's name.
static char *finaltarget(const char *path, bool *magic)
{
    *magic = magicname(path);
    char *cur = dupstr(path, strlen(path));
    for (int hops = 0; cur && hops < 40; hops++) {
        struct stat st;
        if (lstat(cur, &st) != 0)
            return errno == ENOENT ? cur : (free(cur), nullptr);
        if (!S_ISLNK(st.st_mode))
            return cur;
        char link[4096];
        ssize_t n = readlink(cur, link, sizeof link);
        if (n <= 0 || (size_t)n >= sizeof link || plantedlink(cur, st)) {
            free(cur);
            return nullptr;
        }
        size_t keep = link[0] == '/' ? 0 : folderlen(cur);
        char *next = (char *)malloc(keep + (size_t)n + 1);
        if (next) {
            memcpy(next, cur, keep);
            memcpy(next + keep, link, (size_t)n);
            next[keep + (size_t)n] = 0;
            *magic = *magic || magicname(next);
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

// Devices and FIFOs are written as they are.  A descriptor's name is
// appended to, so that what went there before (the seed line on
// standard output, say) stays.
static int opendirect(const char *path, bool append, outfile *o)
{
    o->fd = open(path, O_WRONLY | (append ? O_APPEND : O_TRUNC) | O_NOCTTY | O_CLOEXEC);
    return o->fd >= 0 ? st_ok : st_open;
}

int openout(const char *path, outfile *o)
{
    *o = outfile{-1, nullptr, nullptr};
    struct stat st;
    bool existed = stat(path, &st) == 0;
    if (!existed && errno != ENOENT)
        return st_open;
    if (existed) {
        if (S_ISDIR(st.st_mode))
            return st_open;
        if (!S_ISREG(st.st_mode))
            return opendirect(path, false, o);
        // A file that may not be written stays as it is; one gone since
        // (moved aside by a run placing its own) is made anew.
        if (access(path, W_OK) != 0) {
            if (errno != ENOENT)
                return st_open;
            existed = false;
        }
    }
    mode_t mode = existed ? st.st_mode & 07777 : 0;
    if (!existed) {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool magic = false;
    o->dest = finaltarget(path, &magic);
    if (!o->dest)
        return st_open;
    if (magic) {
        free(o->dest);
        o->dest = nullptr;
        return opendirect(path, true, o);
    }
    o->tmp = tempname(o->dest);
    if (o->tmp)
        o->fd = mkostemp(o->tmp, O_CLOEXEC);
    // A file we may write in a folder we may not: rewritten in place, as a
    // plain write would, since no temporary file can stand beside it.
    if (o->fd < 0 && existed && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        free(o->tmp);
        o->tmp = nullptr;
        if (opendirect(o->dest, false, o) == st_ok)
            return st_ok;
    }
    if (o->fd < 0 || fchmod(o->fd, mode) != 0) {
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

// Moves the regular file at `dest` aside to a hidden name beside it, to
// be put back or removed; null when there is none.  *failed: there is
// one and it could not be moved.
static char *moveaside(const char *dest, bool *failed)
{
    struct stat st;
    *failed = false;
    if (lstat(dest, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    char *t = tempname(dest);
    int fd = t ? mkostemp(t, O_CLOEXEC) : -1;
    if (fd >= 0) {
        close(fd);
        if (rename(dest, t) == 0)
            return t;
        unlink(t);
    }
    free(t);
    *failed = true;
    return nullptr;
}

// The older file moved aside: back in its place after a failure, else
// removed.
static void putback(char *aside, const char *dest, bool back)
{
    if (!aside)
        return;
    if (back)
        rename(aside, dest);
    else
        unlink(aside);
    free(aside);
}

// Pairs are placed one at a time in a folder, so that runs writing the
// same pair side by side never leave one's header with the other's data.
// Without a lock (a file system that has none) they are placed all the
// same.
static int lockfolder(const char *dest)
{
    char *folder = folderof(dest);
    int fd = folder ? open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    free(folder);
    while (fd >= 0 && flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            return -1;
        }
    }
    return fd;
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
    int lock = st == st_ok ? lockfolder(first->dest ? first->dest : second->dest ? second->dest : ".") : -1;
    // Both older files go aside, the second's first: a run killed between
    // the renames then leaves a pair without its second file, which fails
    // loudly, never the new first file beside the old second.
    bool failed = false;
    char *aside2 = st == st_ok && second->tmp ? moveaside(second->dest, &failed) : nullptr;
    char *aside1 = st == st_ok && !failed && first->tmp ? moveaside(first->dest, &failed) : nullptr;
    if (failed)
        st = st_bad;
    bool renamed = st == st_ok && first->tmp;
    if (st == st_ok)
        st = placeout(first);
    if (st == st_ok && placeout(second) != st_ok) {
        st = st_bad;
        if (renamed)
            unlink(first->dest);
    }
    putback(aside1, first->dest, st != st_ok);
    putback(aside2, second->dest, st != st_ok);
    if (lock >= 0)
        close(lock);
    dropout(first);
    dropout(second);
    return st;
}
