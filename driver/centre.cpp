#include "driver.h"

triple middle(const volume &v)
{
    return {v.columns / 2, v.rows / 2, v.slices / 2};
}

void addmask(masksums *m, const uint8_t *roibuf, int32_t columns, int32_t rows, int32_t z)
{
    int64_t slicen = 0;
    for (int32_t y = 0; y < rows; y++) {
        const uint8_t *row = roibuf + (int64_t)y * columns;
        // Per-row sums fit 32 bits (columns <= 10000), which lets the
        // compiler vectorise this loop.
        uint32_t n = 0, sx = 0;
        for (int32_t x = 0; x < columns; x++) {
            uint32_t on = row[x] != 0;
            n += on;
            sx += on * (uint32_t)x;
        }
        m->sx += sx;
        m->sy += (int64_t)n * y;
        slicen += n;
    }
    m->sz += slicen * z;
    m->n += slicen;
}

// The sums are exact integers below 2^53, so converting them and dividing
// in double gives the same quotient as summing in double voxel by voxel.
triple centroid(const masksums &m)
{
    double n = (double)m.n;
    return {(int32_t)((double)m.sx / n), (int32_t)((double)m.sy / n),
            (int32_t)((double)m.sz / n)};
}
