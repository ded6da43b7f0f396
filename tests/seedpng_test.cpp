// seedpng as a user runs it: the picture decoded and checked pixel by
// pixel, and its failures.
#include "testutil.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string bin = SEEDPNG_BIN;

struct rgbimage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> px;
    // The colour of the pixel at (x, y) as 0xRRGGBB.
    uint32_t at(uint32_t x, uint32_t y) const
    {
        const uint8_t *p = &px[((size_t)y * width + x) * 3];
        return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    }
};

bool readpng(const std::string &path, rgbimage *out)
{
    png_image img = {};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGB;
    out->width = img.width;
    out->height = img.height;
    out->px.resize(PNG_IMAGE_SIZE(img));
    return png_image_finish_read(&img, nullptr, out->px.data(), 0, nullptr) != 0;
}

uint32_t greyof(int g)
{
    return (uint32_t)g << 16 | (uint32_t)g << 8 | (uint32_t)g;
}

class seedpng : public tmpdir {
protected:
    // 20 columns, 16 rows, 12 slices: scale ceil(256 / 12) = 22, panels
    // 440, 440 and 352 pixels wide with gaps of 4.
    static const int scale = 22, gap = 4;
    image im{20, 16, 12, 40};
    runres draw(const std::string &vroi, const std::string &png = "pic")
    {
        putimage(path("ct"), im);
        putfile(path("s.vroi"), vroi);
        return runprog(bin, "seedpng", {"ct", "s", png}, dir);
    }
    // Centre pixel of voxel (h, v) of panel k (0 axial, 1 row, 2 column).
    static uint32_t px(const rgbimage &p, int k, int h, int v)
    {
        int x0 = k == 0 ? 0 : k == 1 ? 20 * scale + gap : 40 * scale + 2 * gap;
        return p.at((uint32_t)(x0 + h * scale + scale / 2), (uint32_t)(v * scale + scale / 2));
    }
    bool leftovers()
    {
        for (const std::string &f : listdir(dir))
            if (f.find(".png.") != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(seedpng, panelsboxandseed)
{
    // Hounsfield units: row 0 of every slice is air, 32 of the 752
    // voxels shown, more than 1%: a soft-tissue window.
    for (int z = 1; z <= 12; z++)
        for (int x = 0; x < 20; x++)
            im.at(x, 0, z) = -1000;
    im.at(9, 7, 6) = 240;
    im.at(3, 2, 6) = -160;
    im.at(15, 8, 2) = 140;
    im.at(15, 8, 12) = 240;
    runres r = draw(vroitext(10, 8, 6));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    rgbimage p;
    ASSERT_TRUE(readpng(path("pic.png"), &p));
    EXPECT_EQ(p.width, (uint32_t)((20 + 20 + 16) * scale + 2 * gap));
    EXPECT_EQ(p.height, (uint32_t)(16 * scale));

    // Slice 6: box columns 7..13, rows 5..11; the seed at (10, 8).
    EXPECT_EQ(px(p, 0, 10, 8), 0x00ff00u);
    EXPECT_EQ(px(p, 0, 7, 8), 0xff0000u);
    EXPECT_EQ(px(p, 0, 13, 11), 0xff0000u);
    EXPECT_EQ(px(p, 0, 10, 5), 0xff0000u);
    EXPECT_EQ(px(p, 0, 9, 7), greyof(255)) << "240 HU, inside the box";
    EXPECT_EQ(px(p, 0, 8, 6), greyof(128)) << "40 HU";
    EXPECT_EQ(px(p, 0, 3, 2), greyof(0)) << "-160 HU";
    EXPECT_EQ(px(p, 0, 6, 8), greyof(128)) << "just outside the box";
    EXPECT_EQ(px(p, 0, 6, 0), greyof(0)) << "row 0, at the top";
    // Row 8: columns across, slices down from the last (panel row 0) to
    // slice 1 (panel row 11); box slices 0..12 clipped to 1..12, so its
    // top and bottom are the panel's.
    EXPECT_EQ(px(p, 1, 10, 12 - 6), 0x00ff00u);
    EXPECT_EQ(px(p, 1, 7, 12 - 4), 0xff0000u);
    EXPECT_EQ(px(p, 1, 10, 0), 0xff0000u);
    EXPECT_EQ(px(p, 1, 10, 11), 0xff0000u);
    EXPECT_EQ(px(p, 1, 15, 12 - 2), greyof(191)) << "140 HU on slice 2, near the bottom";
    EXPECT_EQ(px(p, 1, 15, 0), greyof(255)) << "240 HU on the last slice, at the top";
    // Column 10: rows across, slices down as above.
    EXPECT_EQ(px(p, 2, 8, 12 - 6), 0x00ff00u);
    EXPECT_EQ(px(p, 2, 5, 12 - 5), 0xff0000u);
    EXPECT_EQ(px(p, 2, 9, 0), 0xff0000u) << "top row of the clipped box is slice 12";
    EXPECT_EQ(px(p, 2, 9, 12 - 8), greyof(128)) << "inside the box";
    EXPECT_EQ(px(p, 2, 4, 4), greyof(128));
    EXPECT_EQ(px(p, 2, 0, 12 - 3), greyof(0)) << "row 0 of slice 3";
    // Below the row panels (12 slices) the picture is black.
    EXPECT_EQ(p.at(20 * scale + gap + 5, 13 * scale), 0u);
}

TEST_F(seedpng, percentilesforotherimages)
{
    // Not Hounsfield units: the 1st and 99th percentiles, here 1000 and
    // 2000, are black and white.
    for (int z = 1; z <= 12; z++)
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 20; x++)
                im.at(x, y, z) = x < 10 ? 1000 : 2000;
    im.at(2, 3, 6) = 1500;
    // One stray voxel far below the rest (here -596, as on a real MRI)
    // moves neither the percentiles nor to a Hounsfield window.
    im.at(4, 4, 6) = -596;
    ASSERT_EQ(draw(vroitext(10, 8, 6), "pic.png").status, 0);
    rgbimage p;
    ASSERT_TRUE(readpng(path("pic.png"), &p));
    EXPECT_EQ(px(p, 0, 1, 1), greyof(0));
    EXPECT_EQ(px(p, 0, 18, 1), greyof(255));
    EXPECT_EQ(px(p, 0, 2, 3), greyof(128));
    EXPECT_EQ(px(p, 0, 4, 4), greyof(0));
}

TEST_F(seedpng, seedoutsidetheimage)
{
    // 3 columns beyond the last one and 6 slices below the first.  One
    // value throughout: mid grey.
    ASSERT_EQ(draw(vroitext(22, 8, -5)).status, 0);
    rgbimage p;
    ASSERT_TRUE(readpng(path("pic.png"), &p));
    // The slice panel shows slice 1; the box, columns 19..25, clipped to
    // column 19; the seed mark at the edge.
    EXPECT_EQ(px(p, 0, 19, 8), 0x00ff00u);
    EXPECT_EQ(px(p, 0, 19, 5), 0xff0000u);
    EXPECT_EQ(px(p, 0, 18, 8), greyof(128));
    // The column panel shows column 19: box rows 5..11, slices -11..1,
    // slice 1 at the bottom.
    EXPECT_EQ(px(p, 2, 8, 11), 0x00ff00u);
    EXPECT_EQ(px(p, 2, 5, 11), 0xff0000u);
    EXPECT_EQ(px(p, 2, 8, 10), greyof(128));
}

// One whole scale for all panels: up until every panel is 256 pixels
// high, but never a picture past 4096 pixels either way; thin or huge
// images scaled down.
TEST_F(seedpng, picturesizes)
{
    struct {
        int columns, rows, slices;
        uint32_t width, height;
    } rows[] = {
        {3, 2, 1, (3 + 3 + 2) * 256 + 8, 2 * 256},            // the full 256
        {64, 64, 1, (64 + 64 + 64) * 21 + 8, 64 * 21},        // one slice: 21, not 256
        {64, 64, 2, (64 + 64 + 64) * 21 + 8, 64 * 21},        // two slices
        {256, 256, 1, (256 + 256 + 256) * 5 + 8, 256 * 5},    // 5, not 256
        {4000, 3, 2, 2000 + 2000 + 2 + 8, 2},                 // every second voxel
        {2, 3, 9000, 1 + 1 + 1 + 8, 3000},                    // every third
    };
    for (const auto &r : rows) {
        im = image(r.columns, r.rows, r.slices, 40);
        runres res = draw(vroitext(r.columns / 2, r.rows / 2, (r.slices + 1) / 2));
        EXPECT_EQ(res.out, "") << r.columns << "x" << r.rows << "x" << r.slices;
        ASSERT_EQ(res.status, 0);
        rgbimage p;
        ASSERT_TRUE(readpng(path("pic.png"), &p));
        EXPECT_EQ(p.width, r.width) << r.columns << "x" << r.rows << "x" << r.slices;
        EXPECT_EQ(p.height, r.height) << r.columns << "x" << r.rows << "x" << r.slices;
        EXPECT_LE(p.width, 4096u);
        EXPECT_LE(p.height, 4096u);
    }
}

// The row and column planes of an image of 9.8 MB, more than one window
// of the reader, whose second window starts off a page boundary (rows of
// 2000 bytes): every voxel shown is checked.  Voxels are 1000 where
// x + y + 3 z is a multiple of 5, else 0: black and white.
TEST_F(seedpng, planesreadinwindows)
{
    const int c = 1000, r = 700, sl = 7, sx = 421, sy = 333;
    im = image(c, r, sl);
    auto value = [](int x, int y, int z) { return (x + y + 3 * z) % 5 == 0 ? 1000 : 0; };
    for (int z = 1; z <= sl; z++)
        for (int y = 0; y < r; y++)
            for (int x = 0; x < c; x++)
                im.at(x, y, z) = (int16_t)value(x, y, z);
    ASSERT_EQ(draw(vroitext(sx, sy, 4)).status, 0);
    rgbimage p;
    ASSERT_TRUE(readpng(path("pic.png"), &p));
    ASSERT_EQ(p.width, (uint32_t)(2 * c + r + 2 * gap)) << "one pixel a voxel";
    int bad = 0, marks = 0;
    auto check = [&](uint32_t x, uint32_t y, int v) {
        uint32_t got = p.at(x, y);
        if (got == 0xff0000u || got == 0x00ff00u)
            marks++;
        else
            bad += got != greyof(v ? 255 : 0);
    };
    for (int z = 1; z <= sl; z++) {
        for (int x = 0; x < c; x++)
            check((uint32_t)(c + gap + x), (uint32_t)(sl - z), value(x, sy, z));
        for (int y = 0; y < r; y++)
            check((uint32_t)(2 * c + 2 * gap + y), (uint32_t)(sl - z), value(sx, y, z));
    }
    EXPECT_EQ(bad, 0);
    EXPECT_LT(marks, 60) << "only the box's outline and the seed";
}

TEST_F(seedpng, failures)
{
    const std::string ok = vroitext(10, 8, 6);
    std::string nine = ok.substr(0, ok.rfind("z1="));
    struct {
        const char *what;
        std::vector<std::string> args;
        std::string vroi;
        std::string out;
        int status;
    } rows[] = {
        {"usage", {"ct", "s"}, ok, " usage: seedpng im seedvroi png\n", 1},
        {"no image", {"none", "s", "pic"}, ok, "seedpng: can't read header file: none\n", 1},
        {"no seed box file", {"ct", "none", "pic"}, ok, "seedpng: can't read seed box file none\n", 255},
        {"nine lines", {"ct", "s", "pic"}, nine, "seedpng: not a seed box file: s\n", 255},
        {"eleven lines", {"ct", "s", "pic"}, ok + "x=1\r\n", "seedpng: not a seed box file: s\n", 255},
        {"a number missing", {"ct", "s", "pic"}, "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\nx0=\r\n",
         "seedpng: not a seed box file: s\n", 255},
        {"picture folder missing", {"ct", "s", "no/dir/pic"}, ok, "seedpng: can't write picture no/dir/pic.png\n", 255},
    };
    putimage(path("ct"), im);
    for (const auto &r : rows) {
        putfile(path("s.vroi"), r.vroi);
        runres res = runprog(bin, "seedpng", r.args, dir);
        EXPECT_EQ(res.out, r.out) << r.what;
        EXPECT_EQ(res.err, "") << r.what;
        EXPECT_EQ(res.status, r.status) << r.what;
        EXPECT_FALSE(exists(path("pic.png"))) << r.what;
    }
    // A damaged data file.
    putfile(path("s.vroi"), ok);
    putfile(path("ct.im"), std::string(20 * 16 * 2 * 5 + 3, '\0'));
    runres res = runprog(bin, "seedpng", {"ct", "s", "pic"}, dir);
    EXPECT_EQ(res.out, "seedpng: can't read image ct slice: 6\n");
    EXPECT_EQ(res.status, 255);
    // A picture whose writes fail (a link to a full device, written
    // directly): libpng's error stays off standard error.
    putimage(path("ct"), im);
    ASSERT_EQ(symlink("/dev/full", path("full.png").c_str()), 0);
    res = runprog(bin, "seedpng", {"ct", "s", "full"}, dir);
    EXPECT_EQ(res.out, "seedpng: can't write picture full.png\n");
    EXPECT_EQ(res.err, "");
    EXPECT_EQ(res.status, 255);
    // A picture that cannot be written whole leaves nothing behind.
    ASSERT_EQ(mkdir(path("ro").c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    res = runprog(bin, "seedpng", {"ct", "s", "ro/pic"}, dir, "", true);
    EXPECT_EQ(res.out, "seedpng: can't write picture ro/pic.png\n");
    EXPECT_EQ(res.status, 255);
    EXPECT_FALSE(leftovers());
}

} // namespace
