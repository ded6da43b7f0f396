// nii2im where batch runs meet it: a pair that cannot be written whole,
// inputs that are not files, a killed run, links planted under names a
// run might write.  The input is a real MRI template (Debian's package
// mricron-data).
#include "testutil.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string bin = NII2IM_BIN;
const std::string ch2 = "/usr/share/mricron/templates/ch2.nii.gz";

class nii2imbatch : public tmpdir {
protected:
    void SetUp() override
    {
        tmpdir::SetUp();
        ASSERT_TRUE(exists(ch2)) << ch2 << " is missing: apt-get install mricron-data";
    }
};

TEST_F(nii2imbatch, pairwholeornothing)
{
    // The header's name is a folder: the older data file stays as it was.
    putfile(path("out.im"), "older data");
    ASSERT_EQ(mkdir(path("out.hd").c_str(), 0755), 0);
    runres r = runprog(bin, "nii2im", {ch2, "out"}, dir);
    EXPECT_EQ(r.out, "nii2im: can't write out\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(getfile(path("out.im")), "older data");
    EXPECT_EQ(listdir(dir), (std::vector<std::string>{"out.hd", "out.im"}));

    // Usage lines; a FIFO as input never blocks.
    ASSERT_EQ(mkfifo(path("f.nii").c_str(), 0644), 0);
    struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } rows[] = {
        {{ch2, ""}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-m", ch2}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"f.nii", "x"}, "nii2im: can't read NIfTI file f.nii\n", 1},
        {{"-m", "f.nii", "x"}, "nii2im: can't read NIfTI file f.nii\n", 1},
    };
    for (const auto &row : rows) {
        r = runprog(bin, "nii2im", row.args, dir);
        EXPECT_EQ(r.out, row.out) << row.args[1];
        EXPECT_EQ(r.status, row.status) << row.args[1];
    }
    EXPECT_EQ(visiblenames(dir), (std::vector<std::string>{"f.nii", "out.hd", "out.im"}));
}

// Links planted, before the run starts, under the names that a run of
// this process number once wrote through: none is followed.
TEST_F(nii2imbatch, plantedlinksarenotfollowed)
{
    putfile(path("victim"), "precious");
    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    pid_t kid = startprog(bin, "nii2im", {ch2, "out"}, dir, hold);
    close(hold[0]);
    std::string pid = std::to_string(kid);
    for (const std::string &n : {"out.part" + pid + ".hd", "out.part" + pid + ".im"})
        ASSERT_EQ(symlink("victim", path(n).c_str()), 0);
    close(hold[1]);
    EXPECT_EQ(waitprog(kid), 0);
    EXPECT_EQ(getfile(path("victim")), "precious");
    EXPECT_EQ(getfile(path("out.im")).size(), (size_t)181 * 217 * 181 * 2);
}

// Killed at any moment, a run leaves either no visible file or the whole
// pair, never a part that a glob of outputs would pick up.
TEST_F(nii2imbatch, killedrunleavesnovisiblefile)
{
    for (int delay : {0, 30, 80, 200}) {
        std::string sub = path("k" + std::to_string(delay));
        ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
        pid_t kid = startprog(bin, "nii2im", {ch2, "out"}, sub);
        usleep(delay * 1000);
        kill(kid, SIGKILL);
        waitprog(kid);
        std::vector<std::string> v = visiblenames(sub);
        if (!v.empty()) {
            EXPECT_EQ(v, (std::vector<std::string>{"out.hd", "out.im"})) << delay;
            EXPECT_EQ(getfile(sub + "/out.im").size(), (size_t)181 * 217 * 181 * 2) << delay;
        }
    }
}

} // namespace
