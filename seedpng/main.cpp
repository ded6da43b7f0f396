// seedpng im seedvroi png: a picture of the seed box that quorral wrote,
// over three planes of the image through the seed.
#include "seedpng.h"

#include <cstdio>
#include <cstdlib>

static int draw(const char *prog, const char *im, const char *seedvroi, const char *png,
                const hdrvals &hv, datafile *df)
{
    double box[6];
    int st = getvroi(seedvroi, box);
    if (st != st_ok) {
        printf(st == st_open ? "%s: can't read seed box file %s\n" : "%s: not a seed box file: %s\n",
               prog, seedvroi);
        return -1;
    }
    int32_t bad = opencheck(im, hv, df);
    if (bad) {
        printf("%s: can't read image %s slice: %d\n", prog, im, bad);
        return -1;
    }
    // A seed outside the image is drawn at the nearest plane inside.
    boxvox b = boxvoxels(box);
    triple at = {clip(b.seed.x, 0, hv.columns - 1), clip(b.seed.y, 0, hv.rows - 1),
                 clip(b.seed.z, 1, hv.slices)};
    planes p;
    if (!newplanes(&p, hv, at)) {
        printf("%s: can't malloc planes\n", prog);
        return -1;
    }
    int ex = 0;
    bad = readplanes(&p, df);
    // The picture's name: png, completed to ".png" when it does not end in it.
    char *name = suffixed(png, ".png", nullptr);
    if (bad) {
        printf("%s: can't read image %s slice: %d\n", prog, im, bad);
        ex = -1;
    } else {
        picture pic = layout(p, b);
        if (!name || !writepng(name, pic)) {
            printf("%s: can't write picture %s\n", prog, name ? name : png);
            ex = -1;
        }
        freepicture(&pic);
    }
    free(name);
    freeplanes(&p);
    return ex;
}

int main(int argc, char **argv)
{
    const char *prog = argc > 0 && argv[0] ? argv[0] : "seedpng";
    if (argc != 4) {
        printf(" usage: seedpng im seedvroi png\n");
        return 1;
    }
    const char *im = argv[1];
    hdrvals hv;
    if (getheader(im, &hv) != st_ok) {
        printf("%s: can't read header file: %s\n", prog, im);
        return 1;
    }
    if (hv.bpp != 2) {
        printf("%s: error, image %s is not in 2 bytes/pixel format: %d\n", prog, im, hv.bpp);
        return 1;
    }
    datafile df = {-1, false, 0};
    int ex = draw(prog, im, argv[2], argv[3], hv, &df);
    closedata(&df);
    return ex;
}
