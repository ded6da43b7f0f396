#include "driver.h"
#include "messages.h"
#include "../seedsearch/seedsearch.h"

#include <cstdio>
#include <cstdlib>

// The mask's centroid, or an exit status (message printed) when the mask
// cannot give one.
static int maskcentre(const char *prog, const char *imname, const char *roifile,
                      const hdrvals &img,
                      uint8_t *roibuf, triple *centre)
{
    hdrvals mh;
    int st = getheader(roifile, &mh);
    if (st != st_ok) {
        printf(MSG_ROIHEADER, prog, st, roifile);
        return ex_fail;
    }
    if (mh.slices != img.slices || mh.columns != img.columns || mh.rows != img.rows) {
        printf(MSG_ROISIZE, prog, imname, roifile);
        return ex_fail;
    }
    if (mh.bpp != 1) {
        printf(MSG_ROIWIDTH, prog, mh.bpp, roifile);
        return ex_fail;
    }
    masksums m = {0, 0, 0, 0};
    int32_t pps = img.columns * img.rows;
    for (int32_t z = 1; z <= img.slices; z++) {
        st = getslice1(roifile, 1, pps, z, roibuf);
        if (st != st_ok) {
            printf(MSG_ROISLICE, prog, st, roifile);
            return ex_fail;
        }
        addmask(&m, roibuf, img.columns, img.rows, z);
    }
    if (m.n < 1) {
        printf(MSG_ROIEMPTY, prog, roifile);
        return ex_fail;
    }
    *centre = centroid(m);
    return ex_ok;
}

// Steps after the memory has been obtained: load, centre, search, print,
// write.  Returns the exit status.
static int search(const char *prog, const char *im, const char *roifile, char side,
                  const char *seedvroi, const hdrvals &hv, volume *vp, int16_t *inbuf,
                  uint8_t *roibuf)
{
    volume &v = *vp;
    int32_t bad = loadvolume(vp, im, inbuf);
    if (bad) {
        printf(MSG_SLICE, im, bad);
        return ex_fail;
    }

    triple centre = middle(v);
    if (roifile) {
        int ex = maskcentre(prog, im, roifile, hv, roibuf, &centre);
        if (ex != ex_ok)
            return ex;
    }

    seedres r = findseed(v, centre, side);
    printf(MSG_SEED, prog, r.seed.x, r.seed.y, r.seed.z, r.meas);
    // A line that never arrived is a failed run: leave the seed box file
    // alone rather than report success.
    if (fflush(stdout) != 0)
        return ex_fail;
    seedbox b = boxof(r.seed);
    if (writevroi(seedvroi, b.x0, b.x1, b.y0, b.y1, b.z0, b.z1) != st_ok) {
        printf(MSG_VROI, prog, seedvroi);
        return ex_fail;
    }
    return ex_ok;
}

int run(int argc, char **argv)
{
    const char *prog = argc > 0 && argv[0] ? argv[0] : "quorral";
    if (argc != 4 && argc != 5) {
        printf(MSG_USAGE);
        return ex_usage;
    }
    bool masked = argc == 5;
    const char *im = argv[1];
    const char *roifile = masked ? argv[2] : nullptr;
    const char *sidearg = argv[masked ? 3 : 2];
    const char *seedvroi = argv[masked ? 4 : 3];

    char side = sidearg[0];
    if (side != 'l' && side != 'r') {
        printf(MSG_SIDE, prog, sidearg);
        return ex_usage;
    }
    hdrvals hv;
    if (getheader(im, &hv) != st_ok) {
        printf(MSG_HEADER, prog, im);
        return ex_usage;
    }
    if (hv.bpp != 2) {
        printf(MSG_WIDTH, prog, im, hv.bpp);
        return ex_usage;
    }

    volume v;
    if (!newvolume(&v, hv)) {
        printf(MSG_VOLUME);
        return ex_fail;
    }
    size_t pps = (size_t)hv.columns * (size_t)hv.rows;
    int16_t *inbuf = (int16_t *)malloc(pps * 2);
    if (!inbuf) {
        printf(MSG_INBUF);
        freevolume(&v);
        return ex_fail;
    }
    uint8_t *roibuf = (uint8_t *)malloc(pps);
    if (!roibuf) {
        printf(MSG_ROIBUF);
        free(inbuf);
        freevolume(&v);
        return ex_fail;
    }
    int ex = search(prog, im, roifile, side, seedvroi, hv, &v, inbuf, roibuf);
    free(roibuf);
    free(inbuf);
    freevolume(&v);
    return ex;
}
