#include "seedsearch.h"

// Range of the neighbourhood times its count, over its sum: range over
// mean for a positive sum.  The maximum starts at 0 and the minimum at
// 99999, so an all-negative neighbourhood has range 0 - min; an empty one
// or an all-zero one gives 0/0 = NaN, which no comparison takes.  The sum
// of at most 637 voxels is exact in 32 bits, so the order in which voxels
// are visited (here row by row, for the cache) changes nothing.
double meas(const volume &v, int32_t x, int32_t y, int32_t z)
{
    int32_t x0 = clip(x - 3, 0, v.columns), x1 = clip(x + 4, 0, v.columns);
    int32_t y0 = clip(y - 3, 0, v.rows), y1 = clip(y + 4, 0, v.rows);
    int32_t z0 = clip(z - 6, 1, v.slices + 1), z1 = clip(z + 7, 1, v.slices + 1);
    int32_t n = 0, mn = 99999, mx = 0, sum = 0;
    for (int32_t zi = z0; zi < z1; zi++) {
        for (int32_t yi = y0; yi < y1; yi++) {
            const int16_t *row = &v.vox[((int64_t)(zi - v.zlo) * v.ny + (yi - v.ylo)) * v.columns];
            for (int32_t xi = x0; xi < x1; xi++) {
                int32_t val = row[xi];
                sum += val;
                mn = val < mn ? val : mn;
                mx = val > mx ? val : mx;
            }
        }
    }
    if (x1 > x0 && y1 > y0 && z1 > z0)
        n = (x1 - x0) * (y1 - y0) * (z1 - z0);
    return (double)((mx - mn) * n) / (double)sum;
}

seedres findseed(const volume &v, triple c, char side)
{
    seedres best = {c, 9999.99};
    int32_t xfrom = side == 'l' ? c.x + 7 : c.x - 14;
    for (int32_t x = xfrom; x <= xfrom + 7; x++) {
        for (int32_t y = c.y - 7; y <= c.y + 7; y++) {
            for (int32_t z = c.z - 7; z <= c.z + 7; z++) {
                int32_t dx = x - c.x, dy = y - c.y, dz = z - c.z;
                if (dx * dx + dy * dy + dz * dz > 100)
                    continue;
                double m = meas(v, x, y, z);
                // Strict and ordered: ties keep the first, NaN never wins.
                if (m < best.meas) {
                    best.meas = m;
                    best.seed = {x, y, z};
                }
            }
        }
    }
    return best;
}

seedbox boxof(triple s)
{
    return {(double)(s.x - 3) + 0.5, (double)(s.x + 3) + 0.5,
            (double)(s.y - 3) + 0.5, (double)(s.y + 3) + 0.5,
            (double)(s.z - 6) - 0.5, (double)(s.z + 6) - 0.5};
}
