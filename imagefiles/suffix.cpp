#include "imagefiles.h"

#include <cstdlib>
#include <cstring>

static bool endswith(const char *s, size_t n, const char *suf)
{
    size_t k = strlen(suf);
    return n >= k && memcmp(s + n - k, suf, k) == 0;
}

char *suffixed(const char *name, const char *own, const char *replaced)
{
    size_t n = strlen(name);
    size_t k = strlen(own);
    char *out = (char *)malloc(n + k + 1);
    if (!out)
        return nullptr;
    memcpy(out, name, n + 1);
    if (replaced && endswith(out, n, replaced)) {
        n -= strlen(replaced);
        memcpy(out + n, own, k + 1);
        return out;
    }
    if (!endswith(out, n, own))
        memcpy(out + n, own, k + 1);
    return out;
}
