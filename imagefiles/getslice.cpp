#include "imagefiles.h"

// Both slice readers: only the voxel width differs.  Positions are 64-bit
// so that slices past 2 GiB are read, not wrapped.
static int getslice(const char *name, int32_t bpp, int32_t width, int32_t pps,
                    int32_t slice, void *buf)
{
    datafile df;
    int st = opendata(name, bpp, width, &df);
    if (st != st_ok)
        return st;
    if (slice < 1)
        st = st_seek;
    else
        st = preaddata(&df, ((int64_t)slice - 1) * pps * width, buf, (int64_t)pps * width);
    closedata(&df);
    return st;
}

int getslice2(const char *name, int32_t bpp, int32_t pps, int32_t slice, int16_t *buf)
{
    return getslice(name, bpp, 2, pps, slice, buf);
}

int getslice1(const char *name, int32_t bpp, int32_t pps, int32_t slice, uint8_t *buf)
{
    return getslice(name, bpp, 1, pps, slice, buf);
}
