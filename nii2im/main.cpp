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
#include <unistd.h>

static const char *prog = "nii2im";

// Writes the pair whole or not at all.  Returns the exit status.
static int convert(const nifti_image *nim, const void *data, const axismap &m, bool mask,
                   double add, const char *in, const char *out)
{
    int64_t n[3] = {nim->nx, nim->ny, nim->nz};
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
                double raw = rawvalue(nim->datatype, data, c[0] + n[0] * (c[1] + n[1] * c[2]));
                double v = scaled(nim, raw, add);
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
    // The library opens files with a plain open, which a FIFO would hold
    // forever: only a regular file is read.
    bool regular = false;
    int fd = openin(in, &regular);
    if (fd >= 0)
        close(fd);
    if (!regular) {
        printf("%s: can't read NIfTI file %s\n", prog, in);
        return 1;
    }
    nifti_set_debug_level(0);
    // Without the magic of either version the library falls back to the
    // older ANALYZE format, whose orientation and scaling mean other
    // things: refuse it.
    int nver = -1;
    void *h = nifti_read_header(in, &nver, 1);
    bool readable = h != nullptr;
    free(h);
    if (readable && nver != 1 && nver != 2) {
        printf("%s: %s is not a NIfTI-1 or NIfTI-2 file\n", prog, in);
        return 1;
    }
    nifti_image *nim = readable ? nifti_image_read(in, 0) : nullptr;
    if (!nim) {
        printf("%s: can't read NIfTI file %s\n", prog, in);
        return 1;
    }
    int64_t n3 = nim->nx * nim->ny * nim->nz;
    if (nim->nx < 1 || nim->ny < 1 || nim->nz < 1 || nim->nx > 10000 || nim->ny > 10000 ||
        nim->nz > 10000 || nim->nvox < n3) {
        printf("%s: %s has sizes %lld x %lld x %lld; each must lie in 1..10000\n", prog, in,
               (long long)nim->nx, (long long)nim->ny, (long long)nim->nz);
        nifti_image_free(nim);
        return 1;
    }
    if (!knowntype(nim->datatype)) {
        printf("%s: %s holds %s voxels, which have no single value\n", prog, in,
               nifti_datatype_string(nim->datatype));
        nifti_image_free(nim);
        return 1;
    }
    // Only the first volume of a series is read.
    int64_t first = 0;
    nifti_brick_list nbl = {0, 0, nullptr};
    bool series = nim->nvox > n3;
    const void *data = nullptr;
    if (series) {
        nifti_image_free(nim);
        nim = nifti_image_read_bricks(in, 1, &first, &nbl);
        data = nim && nbl.nbricks == 1 ? nbl.bricks[0] : nullptr;
    } else if (nifti_image_load(nim) == 0) {
        data = nim->data;
    }
    if (!data) {
        printf("%s: can't read NIfTI file %s\n", prog, in);
        if (series)
            nifti_free_NBL(&nbl);
        nifti_image_free(nim);
        return 1;
    }
    if (series)
        printf("%s: warning: %s holds more than one volume; the first is written\n", prog, in);
    axismap m = orientation(nim);
    if (!m.oriented)
        printf("%s: warning: %s has no usable orientation; written in stored order\n", prog, in);
    int ex = convert(nim, data, m, mask, add, in, out);
    if (series)
        nifti_free_NBL(&nbl);
    nifti_image_free(nim);
    return ex;
}
