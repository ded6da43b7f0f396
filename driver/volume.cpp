#include "driver.h"

#include <cstdlib>
#include <cstring>

bool newvolume(volume *v, const hdrvals &hv)
{
    *v = volume{hv.columns, hv.rows, hv.slices, 1, hv.slices, 0, hv.rows, nullptr};
    // Up to 2 * 10^12 bytes: computed in 64 bits, and refused where
    // size_t cannot hold it.
    uint64_t bytes = (uint64_t)hv.columns * (uint64_t)hv.rows * (uint64_t)hv.slices * 2;
    if (bytes > SIZE_MAX)
        return false;
    v->vox = (int16_t *)malloc((size_t)bytes);
    return v->vox != nullptr;
}

void freevolume(volume *v)
{
    free(v->vox);
    v->vox = nullptr;
}

int32_t loadvolume(volume *v, const char *im, int16_t *inbuf)
{
    int64_t pps = (int64_t)v->columns * v->rows;
    for (int32_t z = 1; z <= v->slices; z++) {
        if (getslice2(im, 2, (int32_t)pps, z, inbuf) != st_ok)
            return z;
        memcpy(v->vox + (z - 1) * pps, inbuf, (size_t)pps * 2);
    }
    return 0;
}
