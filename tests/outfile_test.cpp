// The writer that every output goes through: whole files or none, the
// destination untouched on failure, pairs placed together.
#include "testutil.h"
#include "../imagefiles/imagefiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

class outfiles : public tmpdir {
protected:
    // Opens `name` and writes `text` to it, unplaced.
    void start(const std::string &name, const std::string &text, outfile *o)
    {
        ASSERT_EQ(openout(path(name).c_str(), o), st_ok) << name;
        ASSERT_EQ(writeout(o, text.data(), (int64_t)text.size()), st_ok) << name;
    }
};

mode_t modeof(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(outfiles, wholeornothing)
{
    // A new file takes the usual mode; a replaced one keeps its own.
    mode_t mask = umask(022);
    ASSERT_EQ(writefile(path("new").c_str(), "abc", 3), st_ok);
    EXPECT_EQ(modeof(path("new")), 0644u);
    putfile(path("own"), "old");
    ASSERT_EQ(chmod(path("own").c_str(), 0600), 0);
    ASSERT_EQ(writefile(path("own").c_str(), "newer", 5), st_ok);
    EXPECT_EQ(getfile(path("own")), "newer");
    EXPECT_EQ(modeof(path("own")), 0600u);
    umask(mask);

    // Dropped before it is placed: the old file stays, no file is left.
    outfile o;
    start("own", "never", &o);
    dropout(&o);
    EXPECT_EQ(getfile(path("own")), "newer");
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"new", "own"}));

    // What cannot take a file.
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    EXPECT_EQ(writefile(path("folder").c_str(), "x", 1), st_open);
    EXPECT_EQ(writefile(path("no/such/file").c_str(), "x", 1), st_open);
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"folder", "new", "own"}));
}

TEST_F(outfiles, pairs)
{
    // Both new, then both replaced.
    outfile a, b;
    start("p.im", "data1", &a);
    start("p.hd", "head1", &b);
    ASSERT_EQ(placepair(&a, &b), st_ok);
    start("p.im", "data2", &a);
    start("p.hd", "head2", &b);
    ASSERT_EQ(placepair(&a, &b), st_ok);
    EXPECT_EQ(getfile(path("p.im")), "data2");
    EXPECT_EQ(getfile(path("p.hd")), "head2");

    // The second cannot be placed (its temporary file is gone): the first
    // is put back as it was.
    start("p.im", "data3", &a);
    start("p.hd", "head3", &b);
    ASSERT_EQ(unlink(b.tmp), 0);
    EXPECT_EQ(placepair(&a, &b), st_bad);
    EXPECT_EQ(getfile(path("p.im")), "data2");
    EXPECT_EQ(getfile(path("p.hd")), "head2");

    // The same for a pair that did not exist: nothing is left.
    start("q.im", "data", &a);
    start("q.hd", "head", &b);
    ASSERT_EQ(unlink(b.tmp), 0);
    EXPECT_EQ(placepair(&a, &b), st_bad);

    // The second's name became a folder: neither is replaced.
    start("p.im", "data4", &a);
    start("p.hd", "head4", &b);
    ASSERT_EQ(rename(path("p.hd").c_str(), path("saved").c_str()), 0);
    ASSERT_EQ(mkdir(path("p.hd").c_str(), 0755), 0);
    EXPECT_EQ(placepair(&a, &b), st_bad);
    EXPECT_EQ(getfile(path("p.im")), "data2");
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"p.hd", "p.im", "saved"}));
}

// The image pair writer: a pair that cannot be written whole leaves the
// older pair as it was.
TEST_F(outfiles, imagepair)
{
    hdrvals hv = {2, 1, 2, 1, 1};
    const int16_t vox[2] = {7, -7};
    ASSERT_EQ(writeimage(path("img").c_str(), &hv, vox, 4), st_ok);
    EXPECT_EQ(getfile(path("img.hd")), headertext(2, 1, 2, 1));
    EXPECT_EQ(getfile(path("img.im")), std::string("\x07\x00\xf9\xff", 4));
    const std::string hd = getfile(path("img.hd")), im = getfile(path("img.im"));
    ASSERT_EQ(rename(path("img.hd").c_str(), path("keep").c_str()), 0);
    ASSERT_EQ(mkdir(path("img.hd").c_str(), 0755), 0);
    hdrvals other = {2, 1, 1, 1, 1};
    EXPECT_EQ(writeimage(path("img").c_str(), &other, vox, 2), st_open);
    EXPECT_EQ(getfile(path("img.im")), im);
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"img.hd", "img.im", "keep"}));
}

} // namespace
