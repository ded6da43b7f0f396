// The seed search on volumes built in memory.
#include "testutil.h"
#include "../seedsearch/seedsearch.h"

#include <cmath>

namespace {

void expectseed(const seedres &r, int x, int y, int z, double meas)
{
    EXPECT_EQ(r.seed.x, x);
    EXPECT_EQ(r.seed.y, y);
    EXPECT_EQ(r.seed.z, z);
    EXPECT_EQ(r.meas, meas);
}

TEST(findseed, uniformvolumes)
{
    const triple c = {20, 15, 15};
    image hundred(40, 30, 30, 100);
    expectseed(findseed(wholeview(hundred), c, 'l'), 27, 8, 14, 0);
    // Offsets -14..-11 hold no candidate: column 10 has only the centre row.
    expectseed(findseed(wholeview(hundred), c, 'r'), 10, 15, 15, 0);
    // Any letter but 'l' searches to the right side of the image.
    expectseed(findseed(wholeview(hundred), c, 'x'), 10, 15, 15, 0);

    image neg(40, 30, 30, -10);
    expectseed(findseed(wholeview(neg), c, 'l'), 27, 8, 14, -1);

    image zero(40, 30, 30, 0);
    expectseed(findseed(wholeview(zero), c, 'l'), 20, 15, 15, 9999.99);
    seedbox b = boxof({20, 15, 15});
    EXPECT_EQ(b.x0, 17.5);
    EXPECT_EQ(b.x1, 23.5);
    EXPECT_EQ(b.y0, 12.5);
    EXPECT_EQ(b.y1, 18.5);
    EXPECT_EQ(b.z0, 8.5);
    EXPECT_EQ(b.z1, 20.5);
}

TEST(findseed, measurebyhand)
{
    image im = byhand();
    seedres r = findseed(wholeview(im), {20, 15, 15}, 'l');
    expectseed(r, 27, 15, 15, byhandmeas);
    EXPECT_LT(r.meas, 0.46);
    EXPECT_GT(r.meas, 0.45);
    seedbox b = boxof(r.seed);
    EXPECT_EQ(b.x0, 24.5);
    EXPECT_EQ(b.x1, 30.5);
    EXPECT_EQ(b.z0, 8.5);
    EXPECT_EQ(b.z1, 20.5);
}

TEST(findseed, seedoutsidethevolume)
{
    image im(25, 30, 30);
    checker(im);
    for (int z = 1; z <= 30; z++)
        for (int y = 0; y < 30; y++)
            im.at(23, y, z) = im.at(24, y, z) = 100;
    seedres r = findseed(wholeview(im), {16, 15, 15}, 'l');
    expectseed(r, 26, 15, 15, 0);
    seedbox b = boxof(r.seed);
    EXPECT_EQ(b.x0, 23.5);
    EXPECT_EQ(b.x1, 29.5);
}

TEST(findseed, onevoxelvolume)
{
    image im(1, 1, 1, 500);
    seedres r = findseed(wholeview(im), {0, 0, 0}, 'l');
    expectseed(r, 0, 0, 0, 9999.99);
    seedbox b = boxof(r.seed);
    EXPECT_EQ(b.x0, -2.5);
    EXPECT_EQ(b.x1, 3.5);
    EXPECT_EQ(b.y0, -2.5);
    EXPECT_EQ(b.z0, -6.5);
    EXPECT_EQ(b.z1, 5.5);
}

// How many voxels a candidate counts near the last column: with all
// voxels 1 but a single 2 in its neighbourhood, the measure is n / (n + 1).
TEST(findseed, countsattheedge)
{
    image im(40, 30, 30, 1);
    im.at(39, 15, 15) = 2;
    volume v = wholeview(im);
    struct {
        int x, n;
    } rows[] = {{39, 4 * 7 * 13}, {41, 2 * 7 * 13}, {42, 7 * 13}};
    for (const auto &r : rows)
        EXPECT_EQ(meas(v, r.x, 15, 15), (double)r.n / (r.n + 1)) << r.x;
    EXPECT_TRUE(std::isnan(meas(v, 43, 15, 15)));
    // At the last row and the first slice: 7 x 4 x 7 voxels.
    im.at(20, 29, 1) = 2;
    EXPECT_EQ(meas(v, 20, 29, 1), 196.0 / 197);
    EXPECT_TRUE(std::isnan(meas(v, 20, 15, -6)));
}

TEST(findseed, negativesumbeatsuniform)
{
    image im(40, 30, 30, 100);
    // A block of -5 around a later candidate: its measure is negative.
    for (int z = 9; z <= 21; z++)
        for (int y = 12; y <= 18; y++)
            for (int x = 26; x <= 32; x++)
                im.at(x, y, z) = -5;
    seedres r = findseed(wholeview(im), {20, 15, 15}, 'l');
    expectseed(r, 29, 15, 15, -1);
}

TEST(findseed, measuresatorabovetheboundarenevertaken)
{
    // -51 everywhere but one 32767 in every 7 x 7 x 13 block: each
    // neighbourhood has sum 32767 - 636 * 51 = 331 and range 32818, a
    // measure of about 63158, the lowest of the search but not below
    // 9999.99.
    image im(40, 30, 30, -51);
    for (int z = 13; z <= 30; z += 13)
        for (int y = 0; y < 30; y += 7)
            for (int x = 0; x < 40; x += 7)
                im.at(x, y, z) = 32767;
    expectseed(findseed(wholeview(im), {20, 15, 15}, 'l'), 20, 15, 15, 9999.99);
    EXPECT_EQ(meas(wholeview(im), 27, 15, 15), 32818.0 * 637 / 331);
}

} // namespace
