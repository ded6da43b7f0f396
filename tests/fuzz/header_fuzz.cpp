// The header reader over arbitrary bytes: no crash, no leak, and a valid
// status always comes with valid values.
#include "../../imagefiles/imagefiles.h"

#include "fuzzdir.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static std::string hd;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hd = fuzzdir() + "h";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen((hd + ".hd").c_str(), "wb");
    if (!f)
        abort();
    fwrite(data, 1, size, f);
    fclose(f);
    hdrvals hv;
    int st = getheader(hd.c_str(), &hv);
    if (st != st_ok && st != st_bad)
        abort();
    if (st == st_ok) {
        auto size1 = [](int32_t s) { return s >= 1 && s <= 10000; };
        if (!(hv.bpp == 1 || hv.bpp == 2 || hv.bpp == 8) || !size1(hv.slices) ||
            !size1(hv.columns) || !size1(hv.rows) ||
            !(hv.channels == 1 || hv.channels == 3 || hv.channels == 4))
            abort();
    }
    return 0;
}
