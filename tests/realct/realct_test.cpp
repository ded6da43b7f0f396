// A real head CT from Debian's package invesalius-examples (108 slices
// of 256 x 256, -1024..3033 HU), imported by invimport, through the built
// tool: with l and r, without a mask, with both of the scan's masks and
// with a soft-tissue threshold mask.  scripts/test.sh installs the
// package.
#include "../testutil.h"

#include <nifti2_io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const std::string inv3 = "/usr/share/doc/invesalius-examples/examples/Cranium.inv3";
const int slices = 108, rows = 256, columns = 256;

class realct : public tmpdir {
protected:
    std::vector<int16_t> ct;
    void SetUp() override
    {
        tmpdir::SetUp();
        ASSERT_TRUE(exists(inv3)) << inv3 << " is missing: apt-get install invesalius-examples";
        ASSERT_EQ(std::system(("mkdir '" + dir + "/inv' && tar -xzf '" + inv3 + "' -C '" + dir +
                               "/inv' --strip-components=1")
                                  .c_str()),
                  0);
        runres r = runprog(INVIMPORT_BIN, "invimport", {"inv", "ct"}, dir);
        ASSERT_EQ(r.out, "");
        ASSERT_EQ(r.status, 0);
        std::string bytes = getfile(path("ct.im"));
        ASSERT_EQ(bytes.size(), (size_t)slices * rows * columns * 2);
        ct.resize(bytes.size() / 2);
        memcpy(ct.data(), bytes.data(), bytes.size());
    }
    int16_t at(int x, int y, int z) const { return ct[((size_t)(z - 1) * rows + y) * columns + x]; }
};

// The masks of the package are the scan thresholded at the ranges their
// own files name (226..3071 and -142..2986): every voxel agrees once the
// masks' extra first slice, row and column are dropped, which shows the
// import lines them up with the scan.
TEST_F(realct, masksmatchtheirthresholds)
{
    struct {
        const char *name;
        int lo, hi;
    } masks[] = {{"ct-mask0.im", 226, 3071}, {"ct-mask1.im", -142, 2986}, {"ct-soft.im", 0, 80}};
    for (const auto &m : masks) {
        std::string b = getfile(path(m.name));
        ASSERT_EQ(b.size(), ct.size()) << m.name;
        size_t off = 0;
        for (size_t i = 0; i < ct.size(); i++)
            off += (b[i] != 0) != (ct[i] >= m.lo && ct[i] <= m.hi);
        EXPECT_EQ(off, 0u) << m.name;
    }
}

// Expected seeds, checked once by hand:
// - Without a mask the centre is the middle, (128, 128, 54), in the
//   brain a little below the lateral ventricles.  With l the seed's
//   neighbourhood holds -25..37 HU, mean -0.1: fluid-like tissue whose
//   sum is just below zero, and a negative sum beats every positive
//   measure (meas -580.8).  With r: -8..47 HU, mean 21.6, brain.
// - The bone mask (mask0) has its centroid at (130.5, 103.4, 50.9), the
//   soft-and-bone mask (mask1) at (130.4, 111.3, 47.2), the soft-tissue
//   threshold at (130.4, 110.4, 49.3): all inside the skull, above the
//   middle.  Their seeds' neighbourhoods hold 5..47 HU with means of 25
//   to 26: brain parenchyma, no bone, no air.
struct expect {
    const char *mask;
    const char *side;
    const char *line;
    int x, y, z;
};
const expect cases[] = {
    {"", "l", "quorral: seed found at x=135  y=129  z=60  meas=-580.794118\n", 135, 129, 60},
    {"", "r", "quorral: seed found at x=119  y=125  z=52  meas=2.546148\n", 119, 125, 52},
    {"ct-mask0", "l", "quorral: seed found at x=138  y=108  z=52  meas=1.569255\n", 138, 108, 52},
    {"ct-mask0", "r", "quorral: seed found at x=123  y=110  z=51  meas=1.542746\n", 123, 110, 51},
    {"ct-mask1", "l", "quorral: seed found at x=138  y=108  z=52  meas=1.569255\n", 138, 108, 52},
    {"ct-mask1", "r", "quorral: seed found at x=123  y=111  z=53  meas=1.478750\n", 123, 111, 53},
    {"ct-soft", "l", "quorral: seed found at x=138  y=108  z=52  meas=1.569255\n", 138, 108, 52},
    {"ct-soft", "r", "quorral: seed found at x=123  y=111  z=53  meas=1.478750\n", 123, 111, 53},
};

TEST_F(realct, seeds)
{
    for (const expect &e : cases) {
        std::vector<std::string> args = {"ct", e.side, "seed"};
        if (*e.mask)
            args = {"ct", e.mask, e.side, "seed"};
        runres r = runprog(QUORRAL_BIN, "quorral", args, dir);
        EXPECT_EQ(r.out, e.line) << e.mask << " " << e.side;
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(getfile(path("seed.vroi")), vroitext(e.x, e.y, e.z));

        // The seed lies in soft tissue: nothing of bone or air around it.
        int lo = 99999, hi = -99999;
        double sum = 0;
        for (int z = e.z - 6; z <= e.z + 6; z++)
            for (int y = e.y - 3; y <= e.y + 3; y++)
                for (int x = e.x - 3; x <= e.x + 3; x++) {
                    int v = at(x, y, z);
                    lo = v < lo ? v : lo;
                    hi = v > hi ? v : hi;
                    sum += v;
                }
        EXPECT_GT(lo, -50) << e.line;
        EXPECT_LT(hi, 100) << e.line;
        EXPECT_GT(sum / 637, -5) << e.line;
        EXPECT_LT(sum / 637, 40) << e.line;
    }
}

// The scan as users get it: a NIfTI file in Hounsfield units (written
// here through Debian's NIfTI library, with an sform of +i left, +j
// back, +k up, so that nii2im keeps the stored order), imported by
// nii2im without and with -a 1024 and searched with l.
TEST_F(realct, niftiinhounsfieldunits)
{
    int64_t dims[8] = {3, columns, rows, slices, 1, 1, 1, 1};
    nifti_image *nim = nifti_make_new_nim(dims, DT_INT16, 1);
    ASSERT_NE(nim, nullptr);
    memcpy(nim->data, ct.data(), ct.size() * 2);
    nim->sform_code = 1;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            nim->sto_xyz.m[r][c] = r == c ? (r < 2 ? -1 : 1) : 0;
    ASSERT_EQ(nifti_set_filenames(nim, path("ct.nii.gz").c_str(), 0, 1), 0);
    nifti_image_write(nim);
    nifti_image_free(nim);
    struct {
        std::vector<std::string> args;
        const char *line;
        int x, y, z;
        double mean;  // of the neighbourhood, in HU
        int lo, hi;   // its least and greatest voxel, in HU
    } rows[] = {
        // In HU: the seed of the pair itself, where the sum is barely
        // negative (fluid-like, -25..37 HU, mean -0.1).
        {{"ct.nii.gz", "hu"}, "quorral: seed found at x=135  y=129  z=60  meas=-580.794118\n", 135, 129, 60, -0.11, -25, 37},
        // Shifted by 1024: brain, -13..43 HU, mean 17.8, a measure of 0.054.
        {{"-a", "1024", "ct.nii.gz", "hu"}, "quorral: seed found at x=135  y=123  z=51  meas=0.053752\n", 135, 123, 51, 17.83, -13, 43},
    };
    for (const auto &r : rows) {
        runres n = runprog(NII2IM_BIN, "nii2im", r.args, dir);
        ASSERT_EQ(n.out, "");
        ASSERT_EQ(n.err, "");
        ASSERT_EQ(n.status, 0);
        if (r.args.size() == 2)
            EXPECT_EQ(getfile(path("hu.im")), getfile(path("ct.im"))) << "the stored order and values kept";
        else
            EXPECT_EQ(getfile(path("hu.im")).size(), ct.size() * 2);
        runres q = runprog(QUORRAL_BIN, "quorral", {"hu", "l", "seed"}, dir);
        EXPECT_EQ(q.out, r.line);
        EXPECT_EQ(getfile(path("seed.vroi")), vroitext(r.x, r.y, r.z));
        double sum = 0;
        int lo = 99999, hi = -99999;
        for (int z = r.z - 6; z <= r.z + 6; z++)
            for (int y = r.y - 3; y <= r.y + 3; y++)
                for (int x = r.x - 3; x <= r.x + 3; x++) {
                    sum += at(x, y, z);
                    lo = std::min(lo, (int)at(x, y, z));
                    hi = std::max(hi, (int)at(x, y, z));
                }
        EXPECT_NEAR(sum / 637, r.mean, 0.005) << r.line;
        EXPECT_EQ(lo, r.lo) << r.line;
        EXPECT_EQ(hi, r.hi) << r.line;
    }
}

} // namespace
