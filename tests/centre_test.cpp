// The search centre: the middle of the image, and the mask sums, whose
// fast row loop must agree with a plain count for every row length.
#include "testutil.h"
#include "../driver/driver.h"

namespace {

TEST(centre, middle)
{
    triple c = middle(hdrvals{2, 3, 5, 4, 1});
    EXPECT_EQ(c.x, 2);
    EXPECT_EQ(c.y, 2);
    EXPECT_EQ(c.z, 1);
    c = middle(hdrvals{2, 1, 1, 1, 1});
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.z, 0);
}

TEST(centre, masksumsmatchaplaincount)
{
    uint32_t seed = 7;
    auto rnd = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int columns : {1, 2, 15, 16, 17, 31, 33, 100, 1024, 10000}) {
        for (int density : {0, 1, 50, 100}) {
            const int rows = 5;
            std::vector<uint8_t> m((size_t)columns * rows);
            for (uint8_t &b : m)
                b = (int)(rnd() % 100) < density ? (uint8_t)(1 + rnd() % 255) : 0;
            masksums got = {0, 0, 0, 0};
            addmask(&got, m.data(), columns, 3, rows, 9);
            masksums want = {0, 0, 0, 0};
            for (int y = 0; y < rows; y++)
                for (int x = 0; x < columns; x++)
                    if (m[(size_t)y * columns + x]) {
                        want.sx += x;
                        want.sy += y + 3;
                        want.sz += 9;
                        want.n++;
                    }
            EXPECT_EQ(got.sx, want.sx) << columns << " " << density;
            EXPECT_EQ(got.sy, want.sy) << columns << " " << density;
            EXPECT_EQ(got.sz, want.sz) << columns << " " << density;
            EXPECT_EQ(got.n, want.n) << columns << " " << density;
            // Every vector width this processor has, row by row.
            for (int vec : {1, 16, 32}) {
                if (vec > rowvector())
                    continue;
                uint64_t n = 0, sx = 0;
                for (int y = 0; y < rows; y++) {
                    uint64_t rn, rx;
                    rowsums(m.data() + (size_t)y * columns, columns, vec, &rn, &rx);
                    n += rn;
                    sx += rx;
                }
                EXPECT_EQ((int64_t)n, want.n) << columns << " " << density << " " << vec;
                EXPECT_EQ((int64_t)sx, want.sx) << columns << " " << density << " " << vec;
            }
        }
    }
}

TEST(centre, centroidtruncates)
{
    triple c = centroid(masksums{3, 7, 9, 4});
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 1);
    EXPECT_EQ(c.z, 2);
    // The largest sums an image can give stay exact.
    int64_t n = (int64_t)10000 * 10000 * 10000;
    c = centroid(masksums{n / 2 * 9999, n / 2 * 9999, n / 2 * 10001, n});
    EXPECT_EQ(c.x, 4999);
    EXPECT_EQ(c.z, 5000);
}

} // namespace
