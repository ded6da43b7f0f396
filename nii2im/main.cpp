// nii2im [-m] [-a N] in out: a NIfTI-1 or NIfTI-2 file (.nii, .nii.gz,
// or a .hdr/.img pair) to the image pair out.hd and out.im, axial, x
// toward the patient's left, y toward the back, slices toward the head.
// -a N adds N to every value before rounding (CT in Hounsfield units:
// -a 1024 gives the non-negative numbers the seed measure is made for).
// -m writes a mask: one byte a voxel, 1 where the value is not 0.
#include "nii2im.h"
#include "../imagefiles/imagefiles.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const char *prog = "nii2im";

// Writes the pair whole or not at all.  Returns the exit status.
static int convert(const niihdr &h, const void *data, const axismap &m, bool mask, double add,
                   const char *in, const char *out)
{
    const int64_t *n = h.n;
    hdrvals hv = {mask ? 1 : 2, (int32_t)n[m.axis[2]], (int32_t)n[m.axis[0]], (int32_t)n[m.axis[1]], 1};
    int64_t pps = (int64_t)hv.columns * hv.rows;
    void *buf = malloc((size_t)(pps * hv.bpp));
    if (!buf) {
        printf("%s: can't malloc slice\n", prog);
        return -1;
    }
    int64_t clamped = 0;
    pairout po;
    int st = openpair(out, &hv, &po);
    for (int32_t z = 0; z < hv.slices && st == st_ok; z++) {
        for (int32_t y = 0; y < hv.rows; y++)
            for (int32_t x = 0; x < hv.columns; x++) {
                int64_t c[3], o[3] = {x, y, z};
                for (int a = 0; a < 3; a++)
                    c[m.axis[a]] = m.flip[a] ? n[m.axis[a]] - 1 - o[a] : o[a];
                double raw = rawvalue(h.datatype, data, c[0] + n[0] * (c[1] + n[1] * c[2]));
                double v = scaled(h, raw, add);
                int64_t i = (int64_t)y * hv.columns + x;
                if (mask)
                    ((uint8_t *)buf)[i] = v != 0 && !std::isnan(v);
                else
                    ((int16_t *)buf)[i] = toint16(v, &clamped);
            }
        st = putvoxels(&po, buf, pps * hv.bpp);
    }
    st = st == st_ok ? placeimage(&po) : (droppair(&po), st);
    free(buf);
    if (st != st_ok) {
        printf("%s: can't write %s\n", prog, out);
        return -1;
    }
    if (clamped)
        printf("%s: warning: %lld voxels of %s did not fit 16 bits and were clamped\n", prog,
               (long long)clamped, in);
    return 0;
}

// The options before the last two arguments: -m, -a N (an integer of at
// most 65535 either way, more than any 16-bit shift needs).
static bool getopts(int argc, char **argv, bool *mask, double *add)
{
    *mask = false;
    *add = 0;
    if (argc < 3)
        return false;
    bool seen = false;
    for (int i = 1; i < argc - 2; i++) {
        if (strcmp(argv[i], "-m") == 0 && !*mask) {
            *mask = true;
        } else if (strcmp(argv[i], "-a") == 0 && !seen && i + 1 < argc - 2) {
            char *end;
            errno = 0;
            long n = strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end || errno || n < -65535 || n > 65535)
                return false;
            *add = (double)n;
            seen = true;
        } else {
            return false;
        }
    }
    // An option where the input belongs is a mistake, not a file name; an
    // empty output name would write ".hd" and ".im" in the current folder.
    const char *in = argv[argc - 2];
    return strcmp(in, "-m") != 0 && strcmp(in, "-a") != 0 && argv[argc - 1][0] != 0;
}

int main(int argc, char **argv)
{
    prog = argc > 0 && argv[0] ? argv[0] : prog;
    bool mask;
    double add;
    if (!getopts(argc, argv, &mask, &add)) {
        printf(" usage: nii2im [-m] [-a N] in out\n");
        return 1;
    }
    const char *in = argv[argc - 2], *out = argv[argc - 1];
    // Every check is made here; nothing but these lines is printed.
    std::string hdr = headername(in);
    niihdr h;
    niifile f = {nullptr, -1};
    void *data = nullptr;
    int st = readheader(hdr, &h, &f);
    if (st == nii_ok)
        st = readvolume(hdr, h, &f, &data);
    closenii(&f);
    switch (st) {
    case nii_ok:
        break;
    case nii_notnifti:
        printf("%s: %s is not a NIfTI-1 or NIfTI-2 file\n", prog, in);
        return 1;
    case nii_sizes:
        printf("%s: %s has sizes %lld x %lld x %lld; each must lie in 1..10000\n", prog, in,
               (long long)h.n[0], (long long)h.n[1], (long long)h.n[2]);
        return 1;
    case nii_type:
        printf("%s: %s holds %s voxels, which have no single value\n", prog, in,
               nifti_datatype_string(h.datatype));
        return 1;
    case nii_memory:
        printf("%s: can't malloc volume\n", prog);
        return -1;
    default:
        printf("%s: can't read NIfTI file %s\n", prog, in);
        return 1;
    }
    if (h.series)
        printf("%s: warning: %s holds more than one volume; the first is written\n", prog, in);
    axismap m = orientation(h);
    if (!m.oriented)
        printf("%s: warning: %s has no usable orientation; written in stored order\n", prog, in);
    int ex = convert(h, data, m, mask, add, in, out);
    free(data);
    return ex;
}
