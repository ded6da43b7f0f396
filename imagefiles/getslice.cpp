#include "imagefiles.h"

#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

// Both slice readers: only the voxel width differs.  Positions are 64-bit
// so that slices past 2 GiB are read, not wrapped.
static int getslice(const char *name, int32_t bpp, int32_t width, int32_t pps,
                    int32_t slice, void *buf)
{
    if (bpp != width)
        return st_width;
    char *fname = suffixed(name, ".im", ".hd");
    FILE *f = fname ? fopen(fname, "rb") : nullptr;
    free(fname);
    if (!f)
        return st_open;
    int64_t pos = ((int64_t)slice - 1) * pps * width;
    if (slice < 1 || fseeko(f, (off_t)pos, SEEK_SET) != 0) {
        fclose(f);
        return st_seek;
    }
    size_t got = fread(buf, (size_t)width, (size_t)pps, f);
    fclose(f);
    return got == (size_t)pps ? st_ok : st_bad;
}

int getslice2(const char *name, int32_t bpp, int32_t pps, int32_t slice, int16_t *buf)
{
    return getslice(name, bpp, 2, pps, slice, buf);
}

int getslice1(const char *name, int32_t bpp, int32_t pps, int32_t slice, uint8_t *buf)
{
    return getslice(name, bpp, 1, pps, slice, buf);
}
