// The header reader: keys, the first "=", "%d"-style numbers, presets,
// validity, pieces of 255 characters, line ends.
#include "testutil.h"
#include "../imagefiles/imagefiles.h"

namespace {

struct hcase {
    const char *what;
    std::string text;
    int status;
    hdrvals want;
};

const std::string good = "Size of dimension[0]=3\nSize of dimension[1]=5\nSize of dimension[2]=4\n";

std::vector<hcase> cases()
{
    std::string longline = "Bytes per pixel" + std::string(300 - 17, ' ') + "=2";
    return {
        {"plain header", headertext(2, 40, 256, 200), 0, {2, 40, 256, 200, 1}},
        {"CR LF line ends", "Bytes per pixel=2\r\nSize of dimension[0]=3\r\nSize of dimension[1]=5\r\n"
                            "Size of dimension[2]=4\r\nNumber of channels=3\r\n", 0, {2, 3, 5, 4, 3}},
        {"no channels line keeps preset 1", "Bytes per pixel=8\n" + good, 0, {8, 3, 5, 4, 1}},
        {"no final line end", "Bytes per pixel=1\n" + good + "Number of channels=4", 0, {1, 3, 5, 4, 4}},
        {"empty file", "", 2, {0, 0, 0, 0, 1}},
        {"colon instead of =", "Bytes per pixel: 2\n" + good, 2, {0, 3, 5, 4, 1}},
        {"lower-case key", "bytes per pixel=2\n" + good, 2, {0, 3, 5, 4, 1}},
        {"= without number keeps earlier", "Bytes per pixel=2\nBytes per pixel= x\n" + good, 0, {2, 3, 5, 4, 1}},
        {"later number wins", "Bytes per pixel=8\n" + good + "Bytes per pixel=2\n", 0, {2, 3, 5, 4, 1}},
        {"blanks, sign, fraction, trailing text", "Bytes per pixel= \t+2.5 bytes\n" + good, 0, {2, 3, 5, 4, 1}},
        {"= before the key counts", "x=2 Bytes per pixel=8\n" + good, 0, {2, 3, 5, 4, 1}},
        {"first key of the order wins", "Number of channels=3 Bytes per pixel=2\n" + good, 2, {3, 3, 5, 4, 1}},
        {"other lines ignored, any order", "comment\n" + good + "foo=9\nBytes per pixel=2\n", 0, {2, 3, 5, 4, 1}},
        {"sizes 1 and 10000", headertext(2, 1, 10000, 1), 0, {2, 1, 10000, 1, 1}},
        {"size 0", headertext(2, 0, 5, 4), 2, {2, 0, 5, 4, 1}},
        {"size 10001", headertext(2, 3, 10001, 4), 2, {2, 3, 10001, 4, 1}},
        {"negative size", headertext(2, 3, 5, -4), 2, {2, 3, 5, -4, 1}},
        {"bytes per pixel 4", headertext(4, 3, 5, 4), 2, {4, 3, 5, 4, 1}},
        {"channels 2", headertext(2, 3, 5, 4, 2), 2, {2, 3, 5, 4, 2}},
        {"leading zeros", "Bytes per pixel=0000000002\n" + good, 0, {2, 3, 5, 4, 1}},
        {"2^32+1 does not wrap to 1", "Bytes per pixel=2\nSize of dimension[0]=4294967297\n"
                                     "Size of dimension[1]=5\nSize of dimension[2]=4\n", 2,
         {2, INT32_MAX, 5, 4, 1}},
        {"huge negative", "Bytes per pixel=-99999999999999999999\n" + good, 2, {INT32_MIN, 3, 5, 4, 1}},
        {"overflow then a good line", "Bytes per pixel=2\nSize of dimension[0]=99999999999\n" + good, 0,
         {2, 3, 5, 4, 1}},
        {"300-character line: key and = in different pieces", "Bytes per pixel=1\n" + longline + "\n" + good, 0,
         {1, 3, 5, 4, 1}},
        {"NUL ends what a line shows", std::string("Bytes per pixel", 15) + std::string(1, '\0') + "=2\n" + good, 2,
         {0, 3, 5, 4, 1}},
    };
}

class header : public tmpdir {};

TEST_F(header, table)
{
    for (const hcase &c : cases()) {
        putfile(path("h.hd"), c.text);
        hdrvals hv = {7, 7, 7, 7, 7};
        int st = getheader(path("h").c_str(), &hv);
        EXPECT_EQ(st, c.status) << c.what;
        EXPECT_EQ(hv.bpp, c.want.bpp) << c.what;
        EXPECT_EQ(hv.slices, c.want.slices) << c.what;
        EXPECT_EQ(hv.columns, c.want.columns) << c.what;
        EXPECT_EQ(hv.rows, c.want.rows) << c.what;
        EXPECT_EQ(hv.channels, c.want.channels) << c.what;
    }
}

TEST_F(header, missingfilegivespresets)
{
    hdrvals hv = {7, 7, 7, 7, 7};
    EXPECT_EQ(getheader(path("none").c_str(), &hv), st_open);
    EXPECT_EQ(hv.bpp, 0);
    EXPECT_EQ(hv.slices, 0);
    EXPECT_EQ(hv.channels, 1);
}

TEST_F(header, pieceboundary)
{
    // The first piece is 255 characters; "=2" right after it is a piece
    // of its own with no key, so the value stays at 1.
    std::string key = "Bytes per pixel";
    putfile(path("h.hd"), "Bytes per pixel=1\n" + key + std::string(255 - key.size(), ' ') + "=2\n" + good);
    hdrvals hv;
    EXPECT_EQ(getheader(path("h").c_str(), &hv), st_ok);
    EXPECT_EQ(hv.bpp, 1);
    // Two characters less and "=2" ends the first piece.
    putfile(path("h.hd"), "Bytes per pixel=1\n" + key + std::string(253 - key.size(), ' ') + "=2\n" + good);
    EXPECT_EQ(getheader(path("h").c_str(), &hv), st_ok);
    EXPECT_EQ(hv.bpp, 2);
}

TEST(suffix, table)
{
    struct {
        const char *in, *hd, *im, *vroi;
    } rows[] = {
        {"ct01", "ct01.hd", "ct01.im", "ct01.vroi"},
        {"ct01.hd", "ct01.hd", "ct01.im", "ct01.hd.vroi"},
        {"ct01.im", "ct01.hd", "ct01.im", "ct01.im.vroi"},
        {"ct01.IM", "ct01.IM.hd", "ct01.IM.im", "ct01.IM.vroi"},
        {"scan.im.hd", "scan.im.hd", "scan.im.im", "scan.im.hd.vroi"},
        {"box.vroi", "box.vroi.hd", "box.vroi.im", "box.vroi"},
        {"box.VROI", "box.VROI.hd", "box.VROI.im", "box.VROI.vroi"},
        {"a", "a.hd", "a.im", "a.vroi"},
        {"im", "im.hd", "im.im", "im.vroi"},
        {".im", ".hd", ".im", ".im.vroi"},
        {"", ".hd", ".im", ".vroi"},
    };
    for (const auto &r : rows) {
        char *hd = suffixed(r.in, ".hd", ".im");
        char *im = suffixed(r.in, ".im", ".hd");
        char *vr = suffixed(r.in, ".vroi", nullptr);
        EXPECT_STREQ(hd, r.hd) << r.in;
        EXPECT_STREQ(im, r.im) << r.in;
        EXPECT_STREQ(vr, r.vroi) << r.in;
        free(hd);
        free(im);
        free(vr);
    }
}

} // namespace
