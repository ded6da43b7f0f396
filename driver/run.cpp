#include "driver.h"
#include "messages.h"
#include "../seedsearch/seedsearch.h"

#include <cstdio>
#include <cstdlib>

// The mask is streamed through roibuf in blocks of whole rows of about
// this many bytes: small enough to stay in cache and cost no page faults
// after the first block.
enum { roibytes = 256 * 1024 };

static int32_t roirows(const hdrvals &hv)
{
    return clip(roibytes / hv.columns, 1, hv.rows);
}

// The mask's centroid, or an exit status (message printed) when the mask
// cannot give one.
static int maskcentre(const char *prog, const char *im, const char *roifile, const hdrvals &img,
                      uint8_t *roibuf, triple *centre)
{
    hdrvals mh;
    int st = getheader(roifile, &mh);
    if (st != st_ok) {
        printf(MSG_ROIHEADER, prog, st, roifile);
        return ex_fail;
    }
    if (mh.slices != img.slices || mh.columns != img.columns || mh.rows != img.rows) {
        printf(MSG_ROISIZE, prog, im, roifile);
        return ex_fail;
    }
    if (mh.bpp != 1) {
        printf(MSG_ROIWIDTH, prog, mh.bpp, roifile);
        return ex_fail;
    }
    datafile df;
    st = opendata(roifile, 1, 1, &df);
    // A device (/dev/zero, /dev/urandom) can be positioned but is no mask.
    if (st == st_ok && !df.regular)
        st = st_seek;
    masksums m = {0, 0, 0, 0};
    int32_t k = roirows(img);
    for (int32_t z = 1; z <= img.slices && st == st_ok; z++) {
        for (int32_t y = 0; y < img.rows && st == st_ok; y += k) {
            int32_t n = img.rows - y < k ? img.rows - y : k;
            st = readdata(&df, roibuf, (int64_t)n * img.columns);
            if (st == st_ok)
                addmask(&m, roibuf, img.columns, y, n, z);
        }
    }
    closedata(&df);
    if (st != st_ok) {
        printf(MSG_ROISLICE, prog, st, roifile);
        return ex_fail;
    }
    if (m.n < 1) {
        printf(MSG_ROIEMPTY, prog, roifile);
        return ex_fail;
    }
    *centre = centroid(m);
    return ex_ok;
}

// Steps after the memory has been obtained: check the image data, find
// the centre, read the window, search, print, write.
static int search(const char *prog, const char *im, const char *roifile, char side,
                  const char *seedvroi, const hdrvals &hv, volume *v, uint8_t *roibuf,
                  datafile *df)
{
    int32_t bad = opencheck(im, hv, df);
    if (bad) {
        printf(MSG_SLICE, im, bad);
        return ex_fail;
    }
    triple centre = middle(hv);
    if (roifile) {
        int ex = maskcentre(prog, im, roifile, hv, roibuf, &centre);
        if (ex != ex_ok)
            return ex;
    }
    setwindow(v, centre);
    bad = loadwindow(v, df);
    if (bad) {
        printf(MSG_SLICE, im, bad);
        return ex_fail;
    }

    seedres r = findseed(*v, centre, side);
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
    uint8_t *roibuf = (uint8_t *)malloc((size_t)roirows(hv) * (size_t)hv.columns);
    if (!roibuf) {
        printf(MSG_ROIBUF);
        freevolume(&v);
        return ex_fail;
    }
    datafile df = {-1, false, 0};
    int ex = search(prog, im, roifile, side, seedvroi, hv, &v, roibuf, &df);
    closedata(&df);
    free(roibuf);
    freevolume(&v);
    return ex;
}
