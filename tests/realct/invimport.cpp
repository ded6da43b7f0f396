// Turns an unpacked project of the public head CT used by the tests into
// image pairs:
//
//   invimport dir out
//
// dir holds main.plist and matrix.dat (signed 16-bit, low byte first,
// shape slices x rows x columns) and mask_N.plist / mask_N.dat (one byte
// a voxel, shape one larger on every axis: the extra first slice, row
// and column are a border that the data show to hold no voxel of the
// scan, so they are dropped; bytes of 128 or more are inside).  Written:
// out (the scan), out-maskN (each mask, 1 inside, 0 outside) and
// out-soft (1 where the scan lies in 0..80, soft tissue).
#include "../../imagefiles/imagefiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static bool slurp(const std::string &path, std::vector<char> *out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// The three integers of the array after <key>KEY</key>.
static bool shapeof(const std::string &plist, const char *key, int32_t s[3])
{
    std::vector<char> text;
    if (!slurp(plist, &text))
        return false;
    std::string t(text.begin(), text.end());
    size_t at = t.find(std::string("<key>") + key + "</key>");
    for (int i = 0; i < 3; i++) {
        at = at == std::string::npos ? at : t.find("<integer>", at);
        if (at == std::string::npos)
            return false;
        at += 9;
        s[i] = atoi(t.c_str() + at);
    }
    return true;
}

static bool putbytes(const std::string &name, const int32_t s[3], const std::vector<uint8_t> &m)
{
    hdrvals hv = {1, s[0], s[2], s[1], 1};
    return writeimage(name.c_str(), &hv, m.data(), (int64_t)m.size()) == st_ok;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        printf(" usage: invimport dir out\n");
        return 1;
    }
    std::string dir = argv[1], out = argv[2];
    int32_t s[3];
    std::vector<char> ct;
    if (!shapeof(dir + "/main.plist", "shape", s) || !slurp(dir + "/matrix.dat", &ct) ||
        ct.size() < (size_t)s[0] * s[1] * s[2] * 2) {
        printf("invimport: can't read the scan in %s\n", dir.c_str());
        return -1;
    }
    size_t n = (size_t)s[0] * s[1] * s[2];
    hdrvals hv = {2, s[0], s[2], s[1], 1};
    if (writeimage(out.c_str(), &hv, ct.data(), (int64_t)n * 2) != st_ok) {
        printf("invimport: can't write %s\n", out.c_str());
        return -1;
    }

    std::vector<uint8_t> soft(n);
    for (size_t i = 0; i < n; i++) {
        int16_t v;
        memcpy(&v, &ct[2 * i], 2);
        soft[i] = v >= 0 && v <= 80;
    }
    if (!putbytes(out + "-soft", s, soft)) {
        printf("invimport: can't write %s-soft\n", out.c_str());
        return -1;
    }

    for (int k = 0;; k++) {
        std::string base = dir + "/mask_" + std::to_string(k);
        int32_t ms[3];
        std::vector<char> raw;
        if (!shapeof(base + ".plist", "mask_shape", ms))
            break;
        if (ms[0] != s[0] + 1 || ms[1] != s[1] + 1 || ms[2] != s[2] + 1 || !slurp(base + ".dat", &raw) ||
            raw.size() < (size_t)ms[0] * ms[1] * ms[2]) {
            printf("invimport: can't read mask %d in %s\n", k, dir.c_str());
            return -1;
        }
        std::vector<uint8_t> m(n);
        for (int32_t z = 0; z < s[0]; z++)
            for (int32_t y = 0; y < s[1]; y++)
                for (int32_t x = 0; x < s[2]; x++)
                    m[((size_t)z * s[1] + y) * s[2] + x] =
                        (uint8_t)raw[((size_t)(z + 1) * ms[1] + y + 1) * ms[2] + x + 1] >= 128;
        if (!putbytes(out + "-mask" + std::to_string(k), s, m)) {
            printf("invimport: can't write %s-mask%d\n", out.c_str(), k);
            return -1;
        }
    }
    return 0;
}
