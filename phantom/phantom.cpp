// Writes a synthetic CT-like head as an image pair: air around an
// elliptic skull, soft tissue inside with two darker ventricles, and a
// little noise.  Every voxel is a function of (x, y, z) alone, so the
// same sizes always give the same bytes, and slices are made one at a
// time, so large images cost no memory.
//
//   phantom [-m] name [columns rows slices]
//
// -m writes the mask of the soft tissue instead (1 byte per voxel).
#include "../imagefiles/imagefiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

static uint64_t mix(uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Noise in -amp..amp.
static int noise(int32_t x, int32_t y, int32_t z, int amp)
{
    uint64_t h = mix(((uint64_t)(uint32_t)x << 42) ^ ((uint64_t)(uint32_t)y << 21) ^ (uint32_t)z);
    return (int)(h % (uint64_t)(2 * amp + 1)) - amp;
}

enum tissue { air, bone, soft, csf };

static tissue what(double u, double v, double w)
{
    // u, v, w: position over the half sizes, -1..1 across the image.
    double r = sqrt((u * u) / (0.80 * 0.80) + (v * v) / (0.90 * 0.90) + (w * w) / (0.85 * 0.85));
    if (r > 1.0)
        return air;
    if (r > 0.92)
        return bone;
    for (double side : {-0.28, 0.28}) {
        double du = (u - side) / 0.06, dv = (v + 0.05) / 0.25, dw = w / 0.30;
        if (du * du + dv * dv + dw * dw <= 1.0)
            return csf;
    }
    return soft;
}

int main(int argc, char **argv)
{
    const char *prog = argv[0] ? argv[0] : "phantom";
    int a = 1;
    bool mask = argc > 1 && strcmp(argv[1], "-m") == 0;
    a += mask;
    if (argc != a + 1 && argc != a + 4) {
        printf(" usage: %s [-m] name [columns rows slices]\n", prog);
        return 1;
    }
    const char *name = argv[a];
    hdrvals hv = {mask ? 1 : 2, 96, 256, 256, 1};
    if (argc == a + 4) {
        hv.columns = atoi(argv[a + 1]);
        hv.rows = atoi(argv[a + 2]);
        hv.slices = atoi(argv[a + 3]);
    }
    if (hv.columns < 1 || hv.rows < 1 || hv.slices < 1 || hv.columns > 10000 ||
        hv.rows > 10000 || hv.slices > 10000) {
        printf("%s: sizes must lie in 1..10000\n", prog);
        return 1;
    }
    int64_t pps = (int64_t)hv.columns * hv.rows;
    void *buf = malloc((size_t)(pps * hv.bpp));
    if (!buf) {
        printf("%s: can't malloc slice\n", prog);
        return -1;
    }
    pairout out;
    int st = openpair(name, &hv, &out);
    for (int32_t z = 1; z <= hv.slices && st == st_ok; z++) {
        double w = (z - 0.5) / (hv.slices / 2.0) - 1.0;
        for (int32_t y = 0; y < hv.rows; y++) {
            double v = (y + 0.5) / (hv.rows / 2.0) - 1.0;
            for (int32_t x = 0; x < hv.columns; x++) {
                double u = (x + 0.5) / (hv.columns / 2.0) - 1.0;
                tissue t = what(u, v, w);
                int64_t i = (int64_t)y * hv.columns + x;
                if (mask) {
                    ((uint8_t *)buf)[i] = t == soft;
                    continue;
                }
                int val = t == air    ? -1000 + noise(x, y, z, 20)
                          : t == bone ? 1200 + noise(x, y, z, 80)
                          : t == csf  ? 8 + noise(x, y, z, 4)
                                      : 38 + (int)lround(6.0 * u) + noise(x, y, z, 5);
                ((int16_t *)buf)[i] = (int16_t)val;
            }
        }
        st = putvoxels(&out, buf, pps * hv.bpp);
    }
    free(buf);
    if (st == st_ok)
        st = placeimage(&out);
    else
        droppair(&out);
    if (st != st_ok) {
        printf("%s: can't write image %s\n", prog, name);
        return -1;
    }
    return 0;
}
