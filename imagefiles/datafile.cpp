#include "imagefiles.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int opendata(const char *name, int32_t bpp, int32_t width, datafile *df)
{
    df->fd = -1;
    if (bpp != width)
        return st_width;
    char *fname = suffixed(name, ".im", ".hd");
    int64_t size = -1;
    int fd = fname ? openin(fname, &size) : -1;
    free(fname);
    if (fd < 0)
        return st_open;
    // A pipe or a terminal cannot be positioned at a slice.
    if (lseek(fd, 0, SEEK_SET) < 0) {
        close(fd);
        return st_seek;
    }
    df->fd = fd;
    df->regular = size >= 0;
    df->size = size;
    return st_ok;
}

int readdata(datafile *df, void *buf, int64_t bytes)
{
    char *p = (char *)buf;
    while (bytes > 0) {
        ssize_t n = read(df->fd, p, (size_t)bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return st_bad;
        p += n;
        bytes -= n;
    }
    return st_ok;
}

int preaddata(datafile *df, int64_t pos, void *buf, int64_t bytes)
{
    char *p = (char *)buf;
    while (bytes > 0) {
        ssize_t n = pread(df->fd, p, (size_t)bytes, (off_t)pos);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return st_bad;
        p += n;
        pos += n;
        bytes -= n;
    }
    return st_ok;
}

int openin(const char *path, int64_t *size)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    *size = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? (int64_t)st.st_size : -1;
    return fd;
}

int opentext(const char *path, FILE **f)
{
    int64_t size = -1;
    int fd = openin(path, &size);
    *f = nullptr;
    if (fd < 0)
        return st_open;
    *f = size >= 0 ? fdopen(fd, "r") : nullptr;
    if (!*f) {
        close(fd);
        return size >= 0 ? st_open : st_bad;
    }
    return st_ok;
}

void closedata(datafile *df)
{
    if (df->fd >= 0)
        close(df->fd);
    df->fd = -1;
}

int32_t opencheck(const char *name, const hdrvals &hv, datafile *df)
{
    if (opendata(name, hv.bpp, 2, df) != st_ok || !df->regular)
        return 1;
    int64_t slicebytes = (int64_t)hv.columns * hv.rows * 2;
    int64_t held = df->size / slicebytes;
    return held < hv.slices ? (int32_t)held + 1 : 0;
}
