// The built tool as a user runs it: whole standard output, exit status
// and the seed box file's bytes.
#include "testutil.h"
#include "../common/volume.h"
#include "../seedsearch/seedsearch.h"

#include <cstdio>
#include <functional>
#include <unistd.h>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const std::string bin = QUORRAL_BIN;

class run : public tmpdir {
protected:
    runres tool(const std::vector<std::string> &args, const std::string &outpath = "")
    {
        return runprog(bin, "quorral", args, dir, outpath);
    }
    // Runs a case that must fail: exactly `out`, `status`, and no seed box
    // file created or changed.
    void fails(const std::vector<std::string> &args, const std::string &out, int status)
    {
        putfile(path("keep.vroi"), "earlier file\r\n");
        runres r = tool(args);
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.status, status) << out;
#ifndef QUORRAL_SANITIZED
        EXPECT_EQ(r.err, "");  // the sanitizers warn of refused huge blocks
#endif
        EXPECT_EQ(getfile(path("keep.vroi")), "earlier file\r\n") << out;
        EXPECT_FALSE(exists(path("new.vroi"))) << out;
    }
};

std::string seedline(int x, int y, int z, double meas, const std::string &prog = "quorral")
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s: seed found at x=%d  y=%d  z=%d  meas=%lf\n", prog.c_str(), x, y,
             z, meas);
    return buf;
}

TEST_F(run, commandlineerrors)
{
    const std::string usage = " usage: quorral im [roifile] l|r seedvroi\n";
    fails({}, usage, 1);
    fails({"a", "l"}, usage, 1);
    fails({"a", "m", "l", "keep", "extra"}, usage, 1);
    // The side is tested before any file is opened.
    fails({"none", "Right", "new"}, "quorral: wrong side, expecting l/r instead of Right\n", 1);
    fails({"none", "", "new"}, "quorral: wrong side, expecting l/r instead of \n", 1);
    fails({"none", "m", "x", "keep"}, "quorral: wrong side, expecting l/r instead of x\n", 1);
}

TEST_F(run, imageerrors)
{
    fails({"none", "l", "new"}, "quorral: can't read header file: none\n", 1);
    putfile(path("bad.hd"), "Bytes per pixel=2\nSize of dimension[0]=0\n");
    fails({"bad.im", "r", "keep"}, "quorral: can't read header file: bad.im\n", 1);
    putfile(path("one.hd"), headertext(1, 3, 5, 4));
    fails({"one", "l", "keep"}, "quorral: error, image one is not in 2 bytes/pixel format: 1\n", 1);
    putfile(path("eight.hd"), headertext(8, 3, 5, 4));
    fails({"eight", "l", "new"}, "quorral: error, image eight is not in 2 bytes/pixel format: 8\n", 1);

    // Data file missing, short by one byte, a directory.
    putfile(path("nodata.hd"), headertext(2, 3, 5, 4));
    fails({"nodata", "l", "new"}, "can't read image nodata slice: 1\n", 255);
    putfile(path("short.hd"), headertext(2, 3, 5, 4));
    putfile(path("short.im"), std::string(3 * 5 * 4 * 2 - 1, '\0'));
    fails({"short.hd", "l", "keep"}, "can't read image short.hd slice: 3\n", 255);
    putfile(path("dir.hd"), headertext(2, 3, 5, 4));
    mkdir(path("dir.im").c_str(), 0755);
    fails({"dir", "l", "keep"}, "can't read image dir slice: 1\n", 255);
}

TEST_F(run, hugeheaderwithsmalldata)
{
    // 10000^3 voxels claimed, 4 bytes held: the first slice is missing,
    // found at once without asking for memory of the image's size.
    putfile(path("huge.hd"), headertext(2, 10000, 10000, 10000));
    putfile(path("huge.im"), "tiny");
    fails({"huge", "l", "new"}, "can't read image huge slice: 1\n", 255);
}

// A sparse image of 10000 x 10000 x 12 (2.4 GB, slice 12 begins past
// 2^31 bytes) with a block of 100s around (5007, 5000, 12), the only
// candidate whose neighbourhood holds no 0: it is the seed only when
// slice 12 is read from the right place.  Only the window near the
// centre is held in memory.
TEST_F(run, imagepast2gib)
{
    putfile(path("big.hd"), headertext(2, 12, 10000, 10000));
    FILE *f = fopen(path("big.im").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const int16_t row[7] = {100, 100, 100, 100, 100, 100, 100};
    for (int z = 6; z <= 12; z++)
        for (int y = 4997; y <= 5003; y++) {
            ASSERT_EQ(fseeko(f, (((off_t)(z - 1) * 10000 + y) * 10000 + 5004) * 2, SEEK_SET), 0);
            ASSERT_EQ(fwrite(row, 2, 7, f), 7u);
        }
    ASSERT_EQ(ftruncate(fileno(f), (off_t)12 * 10000 * 10000 * 2), 0);
    fclose(f);
    runres r = tool({"big", "l", "box"});
    EXPECT_EQ(r.out, "quorral: seed found at x=5007  y=5000  z=12  meas=0.000000\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(getfile(path("box.vroi")), vroitext(5007, 5000, 12));
#ifndef QUORRAL_SANITIZED
    // (The sanitizers' own memory would swamp the figure.)
    EXPECT_LT(r.maxrsskb, 16 * 1024);
#endif
}

TEST_F(run, maskerrors)
{
    image im(5, 4, 3, 100);
    putimage(path("img"), im);
    std::vector<uint8_t> zeros(5 * 4 * 3, 0);
    fails({"img", "none", "l", "new"}, "quorral: getheader: error #1  file:none\n", 255);
    putfile(path("badm.hd"), "nothing\n");
    fails({"img", "badm", "l", "keep"}, "quorral: getheader: error #2  file:badm\n", 255);
    putmask(path("rows"), 5, 3, 3, zeros);
    fails({"img", "rows", "l", "keep"}, "quorral: incompatible images img and rows\n", 255);
    putfile(path("wide2.hd"), headertext(2, 4, 5, 4));
    fails({"img", "wide2", "l", "keep"}, "quorral: incompatible images img and wide2\n", 255);
    putfile(path("two.hd"), headertext(2, 3, 5, 4));
    fails({"img", "two", "l", "keep"}, "quorral: bytes/pixel = 2 in ROI file two\n", 255);
    putfile(path("eight.hd"), headertext(8, 3, 5, 4));
    fails({"img", "eight", "r", "new"}, "quorral: bytes/pixel = 8 in ROI file eight\n", 255);
    putfile(path("nodata.hd"), headertext(1, 3, 5, 4));
    fails({"img", "nodata", "l", "keep"}, "quorral: getslice1: error#1 file nodata\n", 255);
    putmask(path("short"), 5, 4, 3, std::vector<uint8_t>(5 * 4 * 3 - 1, 1));
    fails({"img", "short", "l", "keep"}, "quorral: getslice1: error#2 file short\n", 255);
    putmask(path("empty"), 5, 4, 3, zeros);
    fails({"img", "empty.im", "l", "keep"}, "quorral: empty ROI in file empty.im\n", 255);
    // The image is loaded first: its damage is reported over the mask's.
    putfile(path("img.im"), "x");
    fails({"img", "empty", "l", "keep"}, "can't read image img slice: 1\n", 255);
}

// In an image of zeros every measure is NaN and the seed is the search
// centre, so the seed line shows the centre.
TEST_F(run, searchcentres)
{
    image tiny(5, 4, 3, 0);
    putimage(path("tiny"), tiny);
    struct {
        const char *what;
        std::function<void(std::vector<uint8_t> &)> mark;  // null: no mask
        triple centre;
    } rows[] = {
        {"middle", nullptr, {2, 2, 1}},
        {"one voxel", [](std::vector<uint8_t> &m) { m[(2 * 4 + 3) * 5 + 4] = 1; }, {4, 3, 3}},
        {"byte 255 counts", [](std::vector<uint8_t> &m) { m[(0 * 4 + 1) * 5 + 3] = 255; }, {3, 1, 1}},
        {"truncated x", [](std::vector<uint8_t> &m) { m[5 + 1] = m[5 + 2] = 9; }, {1, 1, 1}},
        {"truncated z",
         [](std::vector<uint8_t> &m) {
             m[0] = 1;
             m[20] = 1;
             m[40] = 1;
             m[41] = 1;
         },
         {0, 0, 2}},
    };
    for (const auto &r : rows) {
        std::vector<std::string> args = {"tiny", "l", "out"};
        if (r.mark) {
            std::vector<uint8_t> m(5 * 4 * 3, 0);
            r.mark(m);
            putmask(path("m"), 5, 4, 3, m);
            args = {"tiny", "m", "left", "out"};
        }
        runres res = tool(args);
        EXPECT_EQ(res.out, seedline(r.centre.x, r.centre.y, r.centre.z, 9999.99)) << r.what;
        EXPECT_EQ(res.status, 0) << r.what;
        EXPECT_EQ(getfile(path("out.vroi")), vroitext(r.centre.x, r.centre.y, r.centre.z)) << r.what;
    }
}

TEST_F(run, onevoxelimage)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    runres r = tool({"dot", "r", "dot"});
    EXPECT_EQ(r.out, "quorral: seed found at x=0  y=0  z=0  meas=9999.990000\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(getfile(path("dot.vroi")),
              "Number of ROIs=1\r\nRoi Label=seed\r\nt0=0\r\nt1=0\r\nx0=-2.500000\r\nx1=3.500000\r\n"
              "y0=-2.500000\r\ny1=3.500000\r\nz0=-6.500000\r\nz1=5.500000\r\n");
}

// The search by hand: 40 x 30 x 30, middle (20, 15, 15).
TEST_F(run, seedbyhand)
{
    putimage(path("ct01"), byhand());
    putfile(path("seed.vroi"), "an older, longer file that must be replaced whole\r\n\r\n\r\n\r\n");
    runres r = runprog(bin, "./bin/quorral", {"ct01.im", "left", "seed.vroi"}, dir);
    const double meas = byhandmeas;
    EXPECT_EQ(r.out, seedline(27, 15, 15, meas, "./bin/quorral"));
    EXPECT_EQ(r.out, "./bin/quorral: seed found at x=27  y=15  z=15  meas=0.459798\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(getfile(path("seed.vroi")), vroitext(27, 15, 15));

    // With a mask whose centroid is the same middle.
    std::vector<uint8_t> m(40 * 30 * 30, 0);
    m[((size_t)(15 - 1) * 30 + 15) * 40 + 20] = 1;
    putmask(path("roi"), 40, 30, 30, m);
    r = tool({"ct01", "roi", "l", "s2"});
    EXPECT_EQ(r.out, seedline(27, 15, 15, meas));
    EXPECT_EQ(getfile(path("s2.vroi")), vroitext(27, 15, 15));
}

// The tool holds only the slices and rows that the search can reach.
// Against a search over the whole image in memory, with the search
// centre (a one-voxel mask) at every face, edge and corner, the seed
// line and the seed box file must come out the same.
TEST_F(run, windowmatcheswholeimage)
{
    struct {
        int columns, rows, slices;
    } sizes[] = {{40, 33, 45}, {9, 6, 4}, {25, 21, 27}};
    for (const auto &sz : sizes) {
        image im(sz.columns, sz.rows, sz.slices);
        randomfill(im, 12345, 80, 41);
        putimage(path("img"), im);
        volume whole = wholeview(im);
        int xs[] = {0, sz.columns / 2, sz.columns - 1};
        int ys[] = {0, 1, sz.rows / 2, sz.rows - 1};
        int zs[] = {1, 2, sz.slices / 2 + 1, sz.slices};
        for (int x : xs)
            for (int y : ys)
                for (int z : zs)
                    for (char side : {'l', 'r'}) {
                        std::vector<uint8_t> m((size_t)sz.columns * sz.rows * sz.slices, 0);
                        m[((size_t)(z - 1) * sz.rows + y) * sz.columns + x] = 1;
                        putmask(path("m"), sz.columns, sz.rows, sz.slices, m);
                        runres r = tool({"img", "m", std::string(1, side), "box"});
                        seedres want = findseed(whole, {x, y, z}, side);
                        std::string at = std::to_string(x) + "," + std::to_string(y) + "," +
                                         std::to_string(z) + side;
                        ASSERT_EQ(r.out, seedline(want.seed.x, want.seed.y, want.seed.z, want.meas)) << at;
                        ASSERT_EQ(getfile(path("box.vroi")),
                                  vroitext(want.seed.x, want.seed.y, want.seed.z))
                            << at;
                    }
        // And the middle, without a mask.
        runres r = tool({"img", "r", "box"});
        seedres want = findseed(whole, {sz.columns / 2, sz.rows / 2, sz.slices / 2}, 'r');
        EXPECT_EQ(r.out, seedline(want.seed.x, want.seed.y, want.seed.z, want.meas));
    }
}

TEST_F(run, seedboxfilethatcannotbewritten)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    const std::string line = "quorral: seed found at x=0  y=0  z=0  meas=9999.990000\n";
    runres r = tool({"dot", "r", "no/such/dir/box"});
    EXPECT_EQ(r.out, line + "quorral: can't write seed box file no/such/dir/box\n");
    EXPECT_EQ(r.status, 255);
    ASSERT_EQ(symlink("/dev/full", path("full.vroi").c_str()), 0);
    r = tool({"dot", "r", "full"});
    EXPECT_EQ(r.out, line + "quorral: can't write seed box file full\n");
    EXPECT_EQ(r.status, 255);
}

TEST_F(run, readonlyseedboxfile)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    putfile(path("other.vroi"), "another run's box\r\n");
    putfile(path("ro.vroi"), "kept\r\n");
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(chmod(path("ro.vroi").c_str(), 0444), 0);
    runres r = runprog(bin, "quorral", {"dot", "r", "ro"}, dir, "", true);
    EXPECT_EQ(r.out, "quorral: seed found at x=0  y=0  z=0  meas=9999.990000\n"
                     "quorral: can't write seed box file ro\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(getfile(path("ro.vroi")), "kept\r\n");
    EXPECT_EQ(getfile(path("other.vroi")), "another run's box\r\n");
    // A file that may be written in a folder that may not: rewritten in
    // place, as a plain write would.
    putfile(path("open.vroi"), "old\r\n");
    ASSERT_EQ(chmod(path("open.vroi").c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    r = runprog(bin, "quorral", {"dot", "r", "open"}, dir, "", true);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(getfile(path("open.vroi")), vroitext(0, 0, 0));
}

// Hostile headers and data files: one line, its status, no seed box file.
TEST_F(run, badinputs)
{
    const std::string good = headertext(2, 3, 5, 4);
    const std::string data(3 * 5 * 4 * 2, '\x01');
    std::string garbage;
    for (int i = 0; i < 4096; i++)
        garbage += (char)((i * 7919 + 13) % 256);
    struct {
        const char *what;
        std::string hd;
        std::string im;  // "<dir>": a folder
        std::string out;
        int status;
    } rows[] = {
        {"binary garbage", garbage, data, "quorral: can't read header file: x\n", 1},
        {"garbage after a good header", good + garbage, data,
         "quorral: seed found at x=2  y=2  z=1  meas=9999.990000\n", 0},
        {"NUL bytes", std::string("Bytes per pixel=2\0\0\n", 20) + "Size of dimension[0]=3" +
                          std::string("\0=7\n", 4) + "Size of dimension[1]=5\nSize of dimension[2]=4\n",
         data, "quorral: seed found at x=2  y=2  z=1  meas=9999.990000\n", 0},
        {"NUL hides a key", std::string("\0Bytes per pixel=2\n", 19) + "Size of dimension[0]=3\n"
                                                                      "Size of dimension[1]=5\nSize of dimension[2]=4\n",
         data, "quorral: can't read header file: x\n", 1},
        {"10,000-character line", std::string(10000, 'a') + "\n" + good, data,
         "quorral: seed found at x=2  y=2  z=1  meas=9999.990000\n", 0},
        {"10,000-character key line", "Bytes per pixel=" + std::string(10000, '9') + "\n" +
                                           "Size of dimension[0]=3\nSize of dimension[1]=5\nSize of dimension[2]=4\n",
         data, "quorral: can't read header file: x\n", 1},
        {"size past 32 bits", "Bytes per pixel=2\nSize of dimension[0]=4294967299\n"
                              "Size of dimension[1]=5\nSize of dimension[2]=4\n",
         data, "quorral: can't read header file: x\n", 1},
        {"width past 32 bits", "Bytes per pixel=4294967298\nSize of dimension[0]=3\n"
                               "Size of dimension[1]=5\nSize of dimension[2]=4\n",
         data, "quorral: can't read header file: x\n", 1},
        {"empty header", "", data, "quorral: can't read header file: x\n", 1},
        {"empty data file", good, "", "can't read image x slice: 1\n", 255},
        {"data file a folder", good, "<dir>", "can't read image x slice: 1\n", 255},
        {"header a folder", "<dir>", data, "quorral: can't read header file: x\n", 1},
    };
    for (const auto &r : rows) {
        std::string sub = path(std::string("c") + std::to_string(&r - rows));
        ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
        if (r.hd == "<dir>")
            mkdir((sub + "/x.hd").c_str(), 0755);
        else
            putfile(sub + "/x.hd", r.hd);
        if (r.im == "<dir>")
            mkdir((sub + "/x.im").c_str(), 0755);
        else
            putfile(sub + "/x.im", r.im);
        runres res = runprog(bin, "quorral", {"x", "l", "box"}, sub);
        EXPECT_EQ(res.out, r.out) << r.what;
        EXPECT_EQ(res.status, r.status) << r.what;
        EXPECT_EQ(exists(sub + "/box.vroi"), r.status == 0) << r.what;
    }
}

TEST_F(run, lostseedlineisafailure)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    runres r = tool({"dot", "r", "box"}, "/dev/full");
    EXPECT_EQ(r.status, 255);
    EXPECT_FALSE(exists(path("box.vroi")));
}

// A write that fails part-way (here: no file may grow past 0 bytes)
// leaves the earlier seed box file byte for byte, and no other file.
TEST_F(run, failedwritekeepstheearlierfile)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    putfile(path("seed.vroi"), "old\r\n");
    runres r = runprog("/bin/sh", "sh", {"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", bin, "dot", "r", "seed"}, dir);
    EXPECT_EQ(r.out, bin + ": seed found at x=0  y=0  z=0  meas=9999.990000\n" + bin +
                         ": can't write seed box file seed\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(getfile(path("seed.vroi")), "old\r\n");
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"dot.hd", "dot.im", "seed.vroi"}));
}

// Runs that share one seed box name, side by side: each leaves one whole
// file, never one run's text with the other's tail.
TEST_F(run, sharedoutputname)
{
    image big(64, 64, 32);
    randomfill(big, 7, 100, 50);
    putimage(path("big"), big);
    putimage(path("dot"), image(1, 1, 1, 500));
    runres r = tool({"big", "l", "want"});
    ASSERT_EQ(r.status, 0);
    const std::string a = getfile(path("want.vroi")), b = vroitext(0, 0, 0);
    ASSERT_NE(a, b);
    for (int round = 0; round < 150; round++) {
        pid_t kids[4];
        for (int k = 0; k < 4; k++)
            kids[k] = startprog(bin, "quorral", {k % 2 ? "big" : "dot", k % 2 ? "l" : "r", "same"}, dir);
        for (pid_t k : kids)
            ASSERT_EQ(waitprog(k), 0);
        std::string got = getfile(path("same.vroi"));
        ASSERT_TRUE(got == a || got == b) << "round " << round << ": " << got;
    }
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"big.hd", "big.im", "dot.hd", "dot.im",
                                                      "same.vroi", "want.vroi"}));
}

// A seed box name that is a link: the file it leads to is replaced (or
// created), the link stays.  A device is written as it is.
TEST_F(run, seedboxfilethroughalink)
{
    putimage(path("dot"), image(1, 1, 1, 500));
    ASSERT_EQ(mkdir(path("real").c_str(), 0755), 0);
    putfile(path("real/old.vroi"), "old\r\n");
    ASSERT_EQ(symlink("real/old.vroi", path("link.vroi").c_str()), 0);
    ASSERT_EQ(symlink("real/new.vroi", path("dangling.vroi").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", path("null.vroi").c_str()), 0);
    ASSERT_EQ(symlink("/dev/stdout", path("out.vroi").c_str()), 0);
    // Standard output is appended to, after the seed line, never replaced.
    runres r = tool({"dot", "r", "out"}, path("log"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(getfile(path("log")), "quorral: seed found at x=0  y=0  z=0  meas=9999.990000\n" +
                                        vroitext(0, 0, 0));
    for (const char *name : {"link", "dangling", "null", "out"}) {
        runres r = tool({"dot", "r", name});
        EXPECT_EQ(r.status, 0) << name;
        struct stat st;
        ASSERT_EQ(lstat(path(std::string(name) + ".vroi").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
    }
    EXPECT_EQ(getfile(path("real/old.vroi")), vroitext(0, 0, 0));
    EXPECT_EQ(getfile(path("real/new.vroi")), vroitext(0, 0, 0));
    EXPECT_EQ(listdir(path("real")), (std::vector<std::string>{"new.vroi", "old.vroi"}));
}

// FIFOs as header, data, mask header or mask data: never a hang, the
// usual message for a file that cannot be read that way.
TEST_F(run, fifoinputs)
{
    image im(5, 4, 3, 100);
    std::vector<uint8_t> m(5 * 4 * 3, 1);
    struct {
        const char *what, *fifo;
        std::vector<std::string> args;
        std::string out;
        int status;
    } rows[] = {
        {"image header", "img.hd", {"img", "l", "new"}, "quorral: can't read header file: img\n", 1},
        {"image data", "img.im", {"img", "l", "new"}, "can't read image img slice: 1\n", 255},
        {"mask header", "m.hd", {"img", "m", "l", "new"}, "quorral: getheader: error #2  file:m\n", 255},
        {"mask data", "m.im", {"img", "m", "l", "new"}, "quorral: getslice1: error#5 file m\n", 255},
        {"mask data a device", "m.im", {"img", "m", "l", "new"}, "quorral: getslice1: error#5 file m\n", 255},
    };
    for (const auto &r : rows) {
        for (const char *n : {"img.hd", "img.im", "m.hd", "m.im"})
            unlink(path(n).c_str());
        putimage(path("img"), im);
        putmask(path("m"), 5, 4, 3, m);
        ASSERT_EQ(unlink(path(r.fifo).c_str()), 0);
        if (std::string(r.what).find("device") != std::string::npos)
            ASSERT_EQ(symlink("/dev/zero", path(r.fifo).c_str()), 0);
        else
            ASSERT_EQ(mkfifo(path(r.fifo).c_str(), 0644), 0);
        fails(r.args, r.out, r.status);
    }
}

// A mask of slices larger than the buffer it streams through, its voxels
// only in the lower rows (the last, partial block of rows): the centroid
// shows where each block's rows were placed.
TEST_F(run, maskpastthestreamingbuffer)
{
    const int columns = 1000, rows = 600, slices = 2;
    putimage(path("zero"), image(columns, rows, slices));
    std::vector<uint8_t> m((size_t)columns * rows * slices, 0);
    m[((size_t)(2 - 1) * rows + 590) * columns + 700] = 1;
    m[((size_t)(1 - 1) * rows + 531) * columns + 101] = 1;
    m[((size_t)(2 - 1) * rows + 560) * columns + 400] = 1;
    putmask(path("m"), columns, rows, slices, m);
    runres r = tool({"zero", "m", "l", "box"});
    // Sums 1201, 1681, 5 over 3 voxels.
    EXPECT_EQ(r.out, seedline(400, 560, 1, 9999.99));
    EXPECT_EQ(r.status, 0);
}

// Pairs written to one name side by side: the header always describes
// the data file beside it.  Two names for one file are refused.
TEST_F(run, sharedpairname)
{
    for (int round = 0; round < 200; round++) {
        pid_t kids[2] = {startprog(PHANTOM_BIN, "phantom", {"p", "64", "64", "32"}, dir),
                         startprog(PHANTOM_BIN, "phantom", {"p", "2", "2", "2"}, dir)};
        for (pid_t k : kids)
            ASSERT_EQ(waitprog(k), 0);
        std::string hd = getfile(path("p.hd"));
        size_t im = getfile(path("p.im")).size();
        ASSERT_TRUE((hd == headertext(2, 32, 64, 64) && im == 64 * 64 * 32 * 2) ||
                    (hd == headertext(2, 2, 2, 2) && im == 2 * 2 * 2 * 2))
            << "round " << round << ": " << im << " bytes under " << hd;
    }
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"p.hd", "p.im"}));

    putfile(path("o.im"), "data");
    ASSERT_EQ(symlink("o.im", path("o.hd").c_str()), 0);
    runres r = runprog(PHANTOM_BIN, "phantom", {"o", "3", "3", "3"}, dir);
    EXPECT_EQ(r.out, "phantom: can't write image o\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(getfile(path("o.im")), "data");
}

// A killed writer (here phantom, writing a large pair) leaves no file
// that a glob of outputs would pick up: either nothing or the whole pair.
TEST_F(run, killedwriterleavesnovisiblefile)
{
    for (int delay : {0, 20, 60, 150}) {
        std::string sub = path("k" + std::to_string(delay));
        ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
        pid_t kid = startprog(PHANTOM_BIN, "phantom", {"head", "512", "512", "200"}, sub);
        usleep(delay * 1000);
        kill(kid, SIGKILL);
        waitprog(kid);
        std::vector<std::string> visible = visiblenames(sub);
        if (!visible.empty()) {
            EXPECT_EQ(visible, (std::vector<std::string>{"head.hd", "head.im"})) << delay;
            EXPECT_EQ(getfile(sub + "/head.im").size(), (size_t)512 * 512 * 200 * 2) << delay;
        }
    }
}

} // namespace
