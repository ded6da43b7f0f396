#include "seedpng.h"

#include <cstdlib>
#include <cstring>

bool newplanes(planes *p, const hdrvals &hv, triple at)
{
    *p = planes{hv.columns, hv.rows, hv.slices, at, nullptr, nullptr, nullptr, nullptr, 0};
    p->axial = (int16_t *)malloc((size_t)hv.rows * (size_t)hv.columns * 2);
    p->coronal = (int16_t *)malloc((size_t)hv.slices * (size_t)hv.columns * 2);
    p->sagittal = (int16_t *)malloc((size_t)hv.slices * (size_t)hv.rows * 2);
    // About 256 KiB of whole rows (at least one), which stays in the
    // cache between the copy into it and the look at it.
    int64_t rowbytes = (int64_t)hv.columns * 2;
    p->bufrows = (256 << 10) / rowbytes < 1 ? 1 : (256 << 10) / rowbytes;
    p->buf = (char *)malloc((size_t)(p->bufrows * rowbytes));
    if (p->axial && p->coronal && p->sagittal && p->buf)
        return true;
    freeplanes(p);
    return false;
}

void freeplanes(planes *p)
{
    free(p->axial);
    free(p->coronal);
    free(p->sagittal);
    free(p->buf);
    p->axial = p->coronal = p->sagittal = nullptr;
    p->buf = nullptr;
}

// Takes from rows first .. first + n - 1 of the file (counted over all
// slices) the seed's column voxel, and the whole row on the seed's row
// or slice.
static void takerows(planes *p, const char *rows, int64_t first, int64_t n)
{
    int64_t rowbytes = (int64_t)p->columns * 2, x = (int64_t)p->at.x * 2;
    int64_t z = first / p->rows, y = first % p->rows;
    const char *row = rows;
    int16_t *col = p->sagittal + first;
    for (int64_t i = 0; i < n; i++, row += rowbytes) {
        memcpy(col + i, row + x, 2);
        if (y == p->at.y)
            memcpy(p->coronal + z * p->columns, row, (size_t)rowbytes);
        if (z == p->at.z - 1)
            memcpy(p->axial + y * p->columns, row, (size_t)rowbytes);
        if (++y == p->rows) {
            y = 0;
            z++;
        }
    }
}

int32_t readplanes(planes *p, datafile *df)
{
    // The column plane needs one voxel of every row of every slice: the
    // file is read in order through the buffer of whole rows, a few large
    // reads a slice at the speed of copying the file, with memory bounded
    // whatever its size, and the other two planes taken on the way.
    // (Mapping the file instead costs a page table entry a page, which on
    // a virtual machine took several times longer than reading.)
    int64_t rowbytes = (int64_t)p->columns * 2;
    int64_t total = (int64_t)p->slices * p->rows, per = p->bufrows;
    for (int64_t first = 0; first < total; first += per) {
        int64_t n = per < total - first ? per : total - first;
        if (preaddata(df, first * rowbytes, p->buf, n * rowbytes) != st_ok)
            return (int32_t)(first / p->rows) + 1;
        takerows(p, p->buf, first, n);
    }
    return 0;
}
