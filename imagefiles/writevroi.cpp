#include "imagefiles.h"

#include <cstdio>
#include <cstdlib>

// The seed box file's lines end in CR LF on every platform.
int writevroi(const char *name, double x0, double x1, double y0, double y1,
              double z0, double z1)
{
    // Ten lines of at most ~330 bytes each, formatted whole before
    // anything is opened.
    char text[4096];
    int n = snprintf(text, sizeof text,
                     "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\n"
                     "x0=%lf\r\nx1=%lf\r\ny0=%lf\r\ny1=%lf\r\nz0=%lf\r\nz1=%lf\r\n",
                     x0, x1, y0, y1, z0, z1);
    char *fname = suffixed(name, ".vroi", nullptr);
    int st = fname && n > 0 && (size_t)n < sizeof text ? writefile(fname, text, n) : st_open;
    free(fname);
    return st;
}
