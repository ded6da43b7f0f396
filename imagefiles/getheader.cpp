#include "imagefiles.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Keys in the order in which a line is searched; the first one found
// selects the value, even when a later key also stands in the line.
static const char *const keys[5] = {
    "Bytes per pixel", "Size of dimension[0]", "Size of dimension[1]",
    "Size of dimension[2]", "Number of channels",
};

enum { piecemax = 255 };

// One piece of a line: at most 255 characters, the line end included.
// CR LF reads as LF, so headers written on either platform read alike.
// Returns false at the end of the file or on a read error.
static bool getpiece(FILE *f, char *buf)
{
    int n = 0;
    while (n < piecemax) {
        int c = getc(f);
        if (c == EOF)
            break;
        if (c == '\r') {
            int d = getc(f);
            if (d == '\n')
                c = '\n';
            else if (d != EOF)
                ungetc(d, f);
        }
        buf[n++] = (char)c;
        if (c == '\n')
            break;
    }
    buf[n] = 0;
    return n > 0;
}

static bool isblank_d(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal integer as "%d" takes it: blanks, a sign, digits.  A number
// past the 32-bit range saturates, which no header value accepts, so it
// is invalid rather than wrapped.  False when no digit follows.
static bool getint(const char *s, int32_t *out)
{
    while (isblank_d(*s))
        s++;
    bool neg = false;
    if (*s == '+' || *s == '-')
        neg = *s++ == '-';
    if (*s < '0' || *s > '9')
        return false;
    int64_t v = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        if (v <= (int64_t)INT32_MAX + 1)
            v = v * 10 + (*s - '0');
    }
    if (neg)
        v = -v;
    if (v > INT32_MAX)
        v = INT32_MAX;
    if (v < INT32_MIN)
        v = INT32_MIN;
    *out = (int32_t)v;
    return true;
}

static bool valid(const hdrvals &h)
{
    auto size = [](int32_t s) { return s >= 1 && s <= 10000; };
    return (h.bpp == 1 || h.bpp == 2 || h.bpp == 8) && size(h.slices) &&
           size(h.columns) && size(h.rows) &&
           (h.channels == 1 || h.channels == 3 || h.channels == 4);
}

int getheader(const char *name, hdrvals *hv)
{
    *hv = hdrvals{0, 0, 0, 0, 1};
    char *fname = suffixed(name, ".hd", ".im");
    FILE *f = nullptr;
    int st = fname ? opentext(fname, &f) : st_open;
    free(fname);
    if (st != st_ok)
        return st;

    int32_t *slot[5] = {&hv->bpp, &hv->slices, &hv->columns, &hv->rows, &hv->channels};
    char line[piecemax + 1];
    while (getpiece(f, line)) {
        int k = 0;
        while (k < 5 && !strstr(line, keys[k]))
            k++;
        if (k == 5)
            continue;
        const char *eq = strchr(line, '=');
        if (eq)
            getint(eq + 1, slot[k]);
    }
    fclose(f);
    return valid(*hv) ? st_ok : st_bad;
}
