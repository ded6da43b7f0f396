#include "imagefiles.h"

#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

int putheader(const char *name, const hdrvals *hv)
{
    char *fname = suffixed(name, ".hd", ".im");
    FILE *f = fname ? fopen(fname, "w") : nullptr;
    free(fname);
    if (!f)
        return st_open;
    int n = fprintf(f,
                    "Bytes per pixel=%d\nSize of dimension[0]=%d\n"
                    "Size of dimension[1]=%d\nSize of dimension[2]=%d\n"
                    "Number of channels=%d\n",
                    hv->bpp, hv->slices, hv->columns, hv->rows, hv->channels);
    bool ok = n > 0;
    ok = fclose(f) == 0 && ok;
    return ok ? st_ok : st_bad;
}

int putslice(const char *name, int32_t bpp, int64_t pps, int32_t slice, const void *buf)
{
    char *fname = suffixed(name, ".im", ".hd");
    FILE *f = fname ? fopen(fname, slice == 1 ? "wb" : "r+b") : nullptr;
    free(fname);
    if (!f)
        return st_open;
    int64_t bytes = pps * bpp;
    bool ok = fseeko(f, (off_t)((int64_t)(slice - 1) * bytes), SEEK_SET) == 0;
    ok = ok && fwrite(buf, 1, (size_t)bytes, f) == (size_t)bytes;
    ok = fclose(f) == 0 && ok;
    return ok ? st_ok : st_bad;
}
