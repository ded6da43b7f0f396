#include "driver.h"

triple middle(const hdrvals &hv)
{
    return {hv.columns / 2, hv.rows / 2, hv.slices / 2};
}

void addmask(masksums *m, const uint8_t *rowsbuf, int32_t columns, int32_t y0, int32_t nrows,
             int32_t z)
{
    int64_t n = 0;
    for (int32_t r = 0; r < nrows; r++) {
        const uint8_t *row = rowsbuf + (int64_t)r * columns;
        // Per-row sums fit 32 bits (columns <= 10000), which lets the
        // compiler vectorise this loop.
        uint32_t rn = 0, rx = 0;
        for (int32_t x = 0; x < columns; x++) {
            uint32_t on = row[x] != 0;
            rn += on;
            rx += on * (uint32_t)x;
        }
        m->sx += rx;
        m->sy += (int64_t)rn * (y0 + r);
        n += rn;
    }
    m->sz += n * z;
    m->n += n;
}

// The sums are exact integers below 2^53, so converting them and dividing
// in double gives the same quotient as summing in double voxel by voxel.
triple centroid(const masksums &m)
{
    double n = (double)m.n;
    return {(int32_t)((double)m.sx / n), (int32_t)((double)m.sy / n),
            (int32_t)((double)m.sz / n)};
}
