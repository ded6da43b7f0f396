// Helpers for the tests: a temporary folder, files written byte for
// byte, image pairs, and runs of the built programs.
#ifndef QUORRAL_TESTUTIL_H
#define QUORRAL_TESTUTIL_H

#include <gtest/gtest.h>

#include "../common/volume.h"

#include <cstdint>
#include <sys/types.h>
#include <string>
#include <vector>

// A fresh folder for each test, removed afterwards.
class tmpdir : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string &name) const { return dir + "/" + name; }
};

void putfile(const std::string &path, const std::string &bytes);
// The file's bytes; "<missing>" when it cannot be read.
std::string getfile(const std::string &path);
bool exists(const std::string &path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> listdir(const std::string &dir);

// Header text for the given values, one "key=value" line each, LF ends.
std::string headertext(int bpp, int slices, int columns, int rows, int channels = 1);

// An image of int16 voxels, indexed ((z - 1) * rows + y) * columns + x.
struct image {
    int32_t columns, rows, slices;
    std::vector<int16_t> vox;
    image(int32_t c, int32_t r, int32_t s, int16_t fill = 0);
    int16_t &at(int32_t x, int32_t y, int32_t z)
    {
        return vox[((size_t)(z - 1) * rows + y) * columns + x];
    }
};

// The whole image as the search sees it.
volume wholeview(image &im);
// 900 where x + y + z is odd, 10 where even: far from homogeneous.
void checker(image &im);
// The measure worked by hand: 40 x 30 x 30 of checker but for the
// neighbourhood of (27, 15, 15), all 100 except 137 at (24, 12, 9) and
// 91 at (30, 18, 21).  Its seed from the middle toward l is (27, 15, 15).
image byhand();
extern const double byhandmeas;
// Voxels lo .. lo + span - 1 from a fixed pseudo-random sequence.
void randomfill(image &im, uint32_t seed, int lo, int span);

// Writes base.hd and base.im.
void putimage(const std::string &base, const image &im);
// Writes base.hd and base.im for a 1-byte mask.
void putmask(const std::string &base, int32_t columns, int32_t rows, int32_t slices,
             const std::vector<uint8_t> &bytes);

struct runres {
    std::string out;  // everything on standard output
    std::string err;  // everything on standard error
    int status;       // exit status, 0..255; -1 for a signal
    long maxrsskb;    // peak resident memory of the child, KiB
};

// Runs the program with argv[0] = name and the given arguments, in the
// folder cwd, with standard output going to `outpath` when one is given,
// as user nobody when `nobody` is set and the tests run as root (so that
// file permissions hold).
runres runprog(const std::string &bin, const std::string &name,
               const std::vector<std::string> &args, const std::string &cwd = "",
               const std::string &outpath = "", bool nobody = false);

// Starts the program in the background in the folder cwd, its standard
// output thrown away.  With `hold` (a pipe) it waits until the pipe's
// write end is closed before it starts.
pid_t startprog(const std::string &bin, const std::string &name,
                const std::vector<std::string> &args, const std::string &cwd,
                const int *hold = nullptr);
// Its exit status, 0..255, or -1 for a signal.
int waitprog(pid_t pid);
// The names in a folder that do not begin with a dot: what an output glob
// would see.
std::vector<std::string> visiblenames(const std::string &dir);

// The seed box file that the tool writes for this seed.
std::string vroitext(int x, int y, int z);

#endif
