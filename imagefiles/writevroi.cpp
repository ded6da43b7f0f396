#include "imagefiles.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

// The seed box file's lines end in CR LF on every platform.
int writevroi(const char *name, double x0, double x1, double y0, double y1,
              double z0, double z1)
{
    // Formatted before the file is opened: one write, nothing half-done
    // by a slow formatter.  Ten lines of at most ~330 bytes each.
    char text[4096];
    int n = snprintf(text, sizeof text,
                     "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\n"
                     "x0=%lf\r\nx1=%lf\r\ny0=%lf\r\ny1=%lf\r\nz0=%lf\r\nz1=%lf\r\n",
                     x0, x1, y0, y1, z0, z1);
    char *fname = suffixed(name, ".vroi", nullptr);
    FILE *f = fname && n > 0 && (size_t)n < sizeof text ? fopen(fname, "wb") : nullptr;
    if (!f) {
        free(fname);
        return st_open;
    }
    bool ok = fwrite(text, 1, (size_t)n, f) == (size_t)n;
    ok = fflush(f) == 0 && ok;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        // A partial seed box file would be taken for a whole one; remove
        // it when it is a plain file (a device or a link stays as it is).
        struct stat st;
        if (lstat(fname, &st) == 0 && S_ISREG(st.st_mode))
            unlink(fname);
    }
    free(fname);
    return ok ? st_ok : st_bad;
}
