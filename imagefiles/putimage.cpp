#include "imagefiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

static bool sameplace(const outfile *a, const outfile *b)
{
    if (!a->dest || !b->dest)
        return false;
    struct stat sa, sb;
    if (stat(a->dest, &sa) == 0 && stat(b->dest, &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return strcmp(a->dest, b->dest) == 0;
}

int openpair(const char *name, const hdrvals *hv, pairout *p)
{
    p->hd = outfile{-1, nullptr, nullptr};
    p->im = outfile{-1, nullptr, nullptr};
    char text[512];
    int n = snprintf(text, sizeof text,
                     "Bytes per pixel=%d\nSize of dimension[0]=%d\n"
                     "Size of dimension[1]=%d\nSize of dimension[2]=%d\n"
                     "Number of channels=%d\n",
                     hv->bpp, hv->slices, hv->columns, hv->rows, hv->channels);
    char *hd = suffixed(name, ".hd", ".im"), *im = suffixed(name, ".im", ".hd");
    int st = hd && im && n > 0 ? st_ok : st_open;
    if (st == st_ok)
        st = openout(hd, &p->hd);
    if (st == st_ok)
        st = openout(im, &p->im);
    // Two names for one file (the header a link to the data file, say)
    // would leave the header text where the voxels belong.
    if (st == st_ok && sameplace(&p->hd, &p->im))
        st = st_open;
    if (st == st_ok)
        st = writeout(&p->hd, text, n);
    free(hd);
    free(im);
    if (st != st_ok)
        droppair(p);
    return st;
}

int putvoxels(pairout *p, const void *buf, int64_t bytes)
{
    return writeout(&p->im, buf, bytes);
}

int placeimage(pairout *p)
{
    return placepair(&p->im, &p->hd);
}

void droppair(pairout *p)
{
    dropout(&p->hd);
    dropout(&p->im);
}

int writeimage(const char *name, const hdrvals *hv, const void *data, int64_t bytes)
{
    pairout p;
    int st = openpair(name, hv, &p);
    if (st != st_ok)
        return st;
    if (putvoxels(&p, data, bytes) != st_ok) {
        droppair(&p);
        return st_bad;
    }
    return placeimage(&p);
}
