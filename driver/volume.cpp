#include "driver.h"
#include "../seedsearch/seedsearch.h"

#include <cstdlib>

static int32_t span(int32_t size, int32_t reach)
{
    return size < 2 * reach + 1 ? size : 2 * reach + 1;
}

bool newvolume(volume *v, const hdrvals &hv)
{
    *v = volume{hv.columns, hv.rows, hv.slices, 1, 0, 0, 0, nullptr};
    size_t bytes = (size_t)span(hv.slices, seedreachz) * (size_t)span(hv.rows, seedreachy) *
                   (size_t)hv.columns * 2;
    v->vox = (int16_t *)malloc(bytes);
    return v->vox != nullptr;
}

void freevolume(volume *v)
{
    free(v->vox);
    v->vox = nullptr;
}

void setwindow(volume *v, triple c)
{
    int32_t zlo = clip(c.z - seedreachz, 1, v->slices), zhi = clip(c.z + seedreachz, 1, v->slices);
    int32_t ylo = clip(c.y - seedreachy, 0, v->rows - 1), yhi = clip(c.y + seedreachy, 0, v->rows - 1);
    v->zlo = zlo;
    v->nz = zhi >= zlo ? zhi - zlo + 1 : 0;
    v->ylo = ylo;
    v->ny = yhi >= ylo ? yhi - ylo + 1 : 0;
}

int32_t loadwindow(volume *v, datafile *df)
{
    int64_t rowbytes = (int64_t)v->columns * 2;
    int64_t slicebytes = rowbytes * v->rows;
    int64_t bytes = rowbytes * v->ny;
    for (int32_t i = 0; i < v->nz; i++) {
        int32_t z = v->zlo + i;
        int64_t pos = (int64_t)(z - 1) * slicebytes + v->ylo * rowbytes;
        if (bytes && preaddata(df, pos, v->vox + i * bytes / 2, bytes) != st_ok)
            return z;
    }
    return 0;
}
