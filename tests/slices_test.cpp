// The slice readers and the seed box writer.
#include "testutil.h"
#include "../imagefiles/imagefiles.h"

#include <sys/stat.h>

namespace {

class slices : public tmpdir {};

// 2 slices of 3 voxels: bytes chosen to show the byte order.
const std::string twoslices = std::string("\xff\xff\x00\x80\x34\x12", 6) + std::string("\x01\x00\x02\x00\x03\x00", 6);

TEST_F(slices, readsbyteorderandslicepositions)
{
    putfile(path("a.im"), twoslices);
    int16_t buf[3] = {9, 9, 9};
    ASSERT_EQ(getslice2(path("a").c_str(), 2, 3, 1, buf), st_ok);
    EXPECT_EQ(buf[0], -1);
    EXPECT_EQ(buf[1], -32768);
    EXPECT_EQ(buf[2], 4660);
    ASSERT_EQ(getslice2(path("a.hd").c_str(), 2, 3, 2, buf), st_ok);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[2], 3);
    uint8_t b[6];
    ASSERT_EQ(getslice1(path("a.im").c_str(), 1, 6, 2, b), st_ok);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[5], 0x00);
}

TEST_F(slices, statuscodes)
{
    putfile(path("a.im"), twoslices);
    putfile(path("short.im"), twoslices.substr(0, 11));
    putfile(path("long.im"), twoslices + "extra");
    mkdir(path("d.im").c_str(), 0755);
    int16_t buf[3] = {9, 9, 9};
    uint8_t b[6];
    struct {
        const char *what;
        int got, want;
    } rows[] = {
        {"width 1 to getslice2, no file", getslice2(path("none").c_str(), 1, 3, 1, buf), st_width},
        {"width 2 to getslice1, no file", getslice1(path("none").c_str(), 2, 3, 1, b), st_width},
        {"missing file", getslice2(path("none").c_str(), 2, 3, 1, buf), st_open},
        {"slice 0", getslice2(path("a").c_str(), 2, 3, 0, buf), st_seek},
        {"slice -5", getslice1(path("a").c_str(), 1, 3, -5, b), st_seek},
        {"slice past the end", getslice2(path("a").c_str(), 2, 3, 3, buf), st_bad},
        {"slice far past the end", getslice2(path("a").c_str(), 2, 3, 2000000, buf), st_bad},
        {"one byte short: last slice", getslice2(path("short").c_str(), 2, 3, 2, buf), st_bad},
        {"one byte short: first slice", getslice2(path("short").c_str(), 2, 3, 1, buf), st_ok},
        {"longer file reads alike", getslice2(path("long").c_str(), 2, 3, 2, buf), st_ok},
        {"directory", getslice2(path("d").c_str(), 2, 3, 1, buf), st_bad},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.got, r.want) << r.what;
}

TEST_F(slices, untouchedbufferafterearlyfailure)
{
    int16_t buf[3] = {9, 9, 9};
    putfile(path("a.im"), twoslices);
    EXPECT_EQ(getslice2(path("a").c_str(), 2, 3, 0, buf), st_seek);
    EXPECT_EQ(getslice2(path("none").c_str(), 2, 3, 1, buf), st_open);
    EXPECT_EQ(buf[0], 9);
    EXPECT_EQ(buf[2], 9);
}

TEST_F(slices, slicepast2gib)
{
    // A sparse file: 10000 x 10000 voxels of 2 bytes a slice, slice 12
    // begins at 22 * 10^8 bytes, past 2^31.
    const int32_t pps = 100000000;
    int64_t at = (int64_t)11 * pps * 2;
    FILE *f = fopen(path("big.im").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, at, SEEK_SET), 0);
    int16_t first = 1234;
    fwrite(&first, 2, 1, f);
    ASSERT_EQ(fseeko(f, at + (int64_t)pps * 2 - 2, SEEK_SET), 0);
    int16_t last = -77;
    fwrite(&last, 2, 1, f);
    fclose(f);
    std::vector<int16_t> buf((size_t)pps);
    ASSERT_EQ(getslice2(path("big").c_str(), 2, pps, 12, buf.data()), st_ok);
    EXPECT_EQ(buf[0], 1234);
    EXPECT_EQ(buf[(size_t)pps - 1], -77);
    EXPECT_EQ(getslice2(path("big").c_str(), 2, pps, 13, buf.data()), st_bad);
}

class vroi : public tmpdir {};

TEST_F(vroi, exactbytes)
{
    ASSERT_EQ(writevroi(path("s").c_str(), 97.5, 103.5, 117.5, 123.5, 23.5, 35.5), st_ok);
    EXPECT_EQ(getfile(path("s.vroi")),
              "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\nx0=97.500000\r\n"
              "x1=103.500000\r\ny0=117.500000\r\ny1=123.500000\r\nz0=23.500000\r\nz1=35.500000\r\n");
    // Negative ends carry a minus sign; an existing file is replaced.
    ASSERT_EQ(writevroi(path("s.vroi").c_str(), -0.5, 5.5, -2.5, 3.5, -6.5, 5.5), st_ok);
    EXPECT_EQ(getfile(path("s.vroi")), vroitext(2, 0, 0));
}

TEST_F(vroi, failures)
{
    EXPECT_EQ(writevroi(path("no/such/dir/s").c_str(), 0, 0, 0, 0, 0, 0), st_open);
    ASSERT_EQ(symlink("/dev/full", path("full.vroi").c_str()), 0);
    EXPECT_EQ(writevroi(path("full").c_str(), 0, 0, 0, 0, 0, 0), st_bad);
    EXPECT_TRUE(exists(path("full.vroi"))) << "the link stays";
}

} // namespace
