#include "imagefiles.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// One line of at most 255 characters with its end (CR LF or LF) removed;
// false at the end of the file, on a longer line or a missing line end.
static bool getline(FILE *f, char *buf, size_t room)
{
    if (!fgets(buf, (int)room, f))
        return false;
    size_t n = strlen(buf);
    if (n == 0 || buf[n - 1] != '\n')
        return false;
    buf[--n] = 0;
    if (n > 0 && buf[n - 1] == '\r')
        buf[--n] = 0;
    return true;
}

int getvroi(const char *name, double box[6])
{
    char *fname = suffixed(name, ".vroi", nullptr);
    FILE *f = nullptr;
    int st = fname ? opentext(fname, &f) : st_open;
    free(fname);
    if (st != st_ok)
        return st;
    static const char *const fixed[4] = {"Number of ROIs=1", "Roi Label=seed", "t0=0", "t1=0"};
    static const char *const keys[6] = {"x0=", "x1=", "y0=", "y1=", "z0=", "z1="};
    char line[256];
    bool ok = true;
    for (int i = 0; i < 4 && ok; i++)
        ok = getline(f, line, sizeof line) && strcmp(line, fixed[i]) == 0;
    for (int i = 0; i < 6 && ok; i++) {
        ok = getline(f, line, sizeof line) && strncmp(line, keys[i], 3) == 0;
        char *end = nullptr;
        if (ok)
            box[i] = strtod(line + 3, &end);
        ok = ok && end != line + 3 && *end == 0 && std::isfinite(box[i]) && fabs(box[i]) < 1e6;
    }
    // Nothing may follow the tenth line.
    ok = ok && getc(f) == EOF && !ferror(f);
    fclose(f);
    return ok ? st_ok : st_bad;
}
