#include "seedsearch.h"

// Range of the neighbourhood times its count, over its sum: range over
// mean for a positive sum.  The maximum starts at 0 and the minimum at
// 99999, so an all-negative neighbourhood has range 0 - min; an empty one
// or an all-zero one gives 0/0 = NaN, which no comparison takes.
double meas(const volume &v, int32_t x, int32_t y, int32_t z)
{
    int32_t n = 0, mn = 99999, mx = 0;
    double sum = 0;
    for (int32_t xi = x - 3; xi <= x + 3; xi++) {
        if (xi < 0 || xi >= v.columns)
            continue;
        for (int32_t yi = y - 3; yi <= y + 3; yi++) {
            if (yi < 0 || yi >= v.rows)
                continue;
            for (int32_t zi = z - 6; zi <= z + 6; zi++) {
                if (zi < 1 || zi > v.slices)
                    continue;
                int32_t val = voxel(v, xi, yi, zi);
                n++;
                sum += val;
                if (val < mn)
                    mn = val;
                if (val > mx)
                    mx = val;
            }
        }
    }
    return (double)((mx - mn) * n) / sum;
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
