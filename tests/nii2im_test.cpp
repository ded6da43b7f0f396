// nii2im on NIfTI files that the test writes through the same library:
// every voxel checked against where it must land, the value rules, the
// file kinds, and broken files.
#include "testutil.h"
#include "../imagefiles/imagefiles.h"

#include <nifti2_io.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string bin = NII2IM_BIN;

// Input sizes 4 x 5 x 6, voxel (i, j, k) = i + 10 j + 100 k.
const int64_t nx = 4, ny = 5, nz = 6;

struct orient {
    int scode, qcode;
    double m[3][3];  // the sform's rotation, or for qform: qfac in m[0][0]
};

// Writes a NIfTI file from values at (i, j, k), any of the library's
// data types, with the given orientation.
void putnii(const std::string &path, int datatype, const orient &o,
            double (*value)(int64_t, int64_t, int64_t), int ftype = NIFTI_FTYPE_NIFTI1_1,
            int64_t nt = 1, double slope = 0, double inter = 0)
{
    int64_t dims[8] = {nt > 1 ? 4 : 3, nx, ny, nz, nt, 1, 1, 1};
    nifti_image *nim = nifti_make_new_nim(dims, datatype, 1);
    ASSERT_NE(nim, nullptr);
    for (int64_t t = 0; t < nt; t++)
        for (int64_t k = 0; k < nz; k++)
            for (int64_t j = 0; j < ny; j++)
                for (int64_t i = 0; i < nx; i++) {
                    int64_t at = i + nx * (j + ny * (k + nz * t));
                    double v = value(i, j, k) + 1000 * t;
                    char *p = (char *)nim->data + at * nim->nbyper;
                    switch (datatype) {
                    case DT_INT8: *(int8_t *)p = (int8_t)v; break;
                    case DT_UINT8: *(uint8_t *)p = (uint8_t)v; break;
                    case DT_UINT32: *(uint32_t *)p = (uint32_t)v; break;
                    case DT_INT16: *(int16_t *)p = (int16_t)v; break;
                    case DT_FLOAT32: *(float *)p = (float)v; break;
                    default: *(double *)p = v; break;
                    }
                }
    nim->scl_slope = slope;
    nim->scl_inter = inter;
    nim->sform_code = o.scode;
    nim->qform_code = o.qcode;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            nim->sto_xyz.m[r][c] = r < 3 && c < 3 ? o.m[r][c] : r == c;
    nim->quatern_b = nim->quatern_c = nim->quatern_d = 0;
    nim->qfac = o.qcode ? o.m[0][0] : 1;
    nim->nifti_type = ftype;
    ASSERT_EQ(nifti_set_filenames(nim, path.c_str(), 0, 1), 0);
    nifti_image_write(nim);
    nifti_image_free(nim);
}

double ijk(int64_t i, int64_t j, int64_t k)
{
    return (double)(i + 10 * j + 100 * k);
}

struct pair {
    hdrvals hv;
    std::vector<int16_t> vox;
    std::vector<uint8_t> bytes;
};

void getpair(const std::string &base, pair *p)
{
    ASSERT_EQ(getheader(base.c_str(), &p->hv), st_ok);
    std::string d = getfile(base + ".im");
    if (p->hv.bpp == 2) {
        p->vox.resize(d.size() / 2);
        memcpy(p->vox.data(), d.data(), d.size());
    } else {
        p->bytes.assign(d.begin(), d.end());
    }
}

class nii2im : public tmpdir {
protected:
    runres conv(const std::vector<std::string> &args) { return runprog(bin, "nii2im", args, dir); }
    std::vector<std::string> files() { return listdir(dir); }
};

TEST_F(nii2im, orientations)
{
    // Where output x (toward the left), y (toward the back) and slices
    // (toward the head) come from, worked out by hand from each matrix:
    // input axis (0 i, 1 j, 2 k) and whether it is read backwards.
    struct {
        const char *what;
        orient o;
        int axis[3];
        bool flip[3];
        const char *warning;
    } rows[] = {
        {"RAS sform", {1, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 1, 2}, {true, true, false}, ""},
        {"LPS sform", {1, 0, {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, {0, 1, 2}, {false, false, false}, ""},
        {"LPI sform: slices flipped", {1, 0, {{-1, 0, 0}, {0, -1, 0}, {0, 0, -1}}}, {0, 1, 2}, {false, false, true}, ""},
        {"permuted: i up, j left, k back", {1, 0, {{0, -1, 0}, {0, 0, -1}, {1, 0, 0}}}, {1, 2, 0}, {false, false, false}, ""},
        {"permuted and flipped: i right, j down, k front", {1, 0, {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}},
         {0, 2, 1}, {true, true, true}, ""},
        {"oblique, nearest axes", {1, 0, {{-0.9, 0.3, 0}, {-0.3, -0.9, 0}, {0, 0, 1}}}, {0, 1, 2}, {false, false, false}, ""},
        {"qform only, qfac -1", {0, 1, {{-1, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, {0, 1, 2}, {true, true, true}, ""},
        {"no orientation", {0, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 1, 2}, {false, false, false},
         "nii2im: warning: in.nii has no usable orientation; written in stored order\n"},
        {"sform of zeros", {1, 0, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}, {0, 1, 2}, {false, false, false},
         "nii2im: warning: in.nii has no usable orientation; written in stored order\n"},
    };
    for (const auto &r : rows) {
        putnii(path("in.nii"), DT_INT16, r.o, ijk);
        runres res = conv({"in.nii", "out"});
        EXPECT_EQ(res.out, r.warning) << r.what;
        EXPECT_EQ(res.err, "") << r.what;
        ASSERT_EQ(res.status, 0) << r.what;
        pair p;
        getpair(path("out"), &p);
        int64_t n[3] = {nx, ny, nz};
        EXPECT_EQ(p.hv.columns, n[r.axis[0]]) << r.what;
        EXPECT_EQ(p.hv.rows, n[r.axis[1]]) << r.what;
        EXPECT_EQ(p.hv.slices, n[r.axis[2]]) << r.what;
        ASSERT_EQ(p.vox.size(), (size_t)(nx * ny * nz)) << r.what;
        int bad = 0;
        for (int z = 0; z < p.hv.slices; z++)
            for (int y = 0; y < p.hv.rows; y++)
                for (int x = 0; x < p.hv.columns; x++) {
                    int64_t c[3], o[3] = {x, y, z};
                    for (int a = 0; a < 3; a++)
                        c[r.axis[a]] = r.flip[a] ? n[r.axis[a]] - 1 - o[a] : o[a];
                    bad += p.vox[((size_t)z * p.hv.rows + y) * p.hv.columns + x] != ijk(c[0], c[1], c[2]);
                }
        EXPECT_EQ(bad, 0) << r.what;
    }
}

const orient lps = {1, 0, {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}};

TEST_F(nii2im, valuesandtypes)
{
    // uint8 copied; int16 and float32 scaled by slope and intercept,
    // rounded to nearest; one value clamps.
    putnii(path("u8.nii"), DT_UINT8, lps, [](int64_t i, int64_t j, int64_t k) { return (double)(i * 60 + j + k); });
    ASSERT_EQ(conv({"u8.nii", "u8"}).status, 0);
    putnii(path("s16.nii"), DT_INT16, lps, ijk, NIFTI_FTYPE_NIFTI1_1, 1, 3, 7);
    ASSERT_EQ(conv({"s16.nii", "s16"}).status, 0);
    auto f = [](int64_t i, int64_t j, int64_t k) {
        return i == 3 && j == 4 && k == 5 ? 20000.0 : -(double)(i + 10 * j + 100 * k) - 0.3;
    };
    putnii(path("f32.nii"), DT_FLOAT32, lps, f, NIFTI_FTYPE_NIFTI1_1, 1, 2, -10);
    runres r = conv({"f32.nii", "f32"});
    EXPECT_EQ(r.out, "nii2im: warning: 1 voxels of f32.nii did not fit 16 bits and were clamped\n");
    EXPECT_EQ(r.status, 0);
    pair u8, s16, f32;
    getpair(path("u8"), &u8);
    getpair(path("s16"), &s16);
    getpair(path("f32"), &f32);
    // LPS: output (x, y, z) is input (x, y, z).
    EXPECT_EQ(u8.vox[1 + 4 * (2 + 5 * 3)], 60 + 2 + 3);
    EXPECT_EQ(u8.vox[3 + 4 * (4 + 5 * 5)], 180 + 4 + 5);
    EXPECT_EQ(s16.vox[1 + 4 * (2 + 5 * 3)], 3 * 321 + 7);
    // 2 * (-321.3) - 10 = -652.6 -> -653
    EXPECT_EQ(f32.vox[1 + 4 * (2 + 5 * 3)], -653);
    EXPECT_EQ(f32.vox[0], -11) << "2 * -0.3 - 10 = -10.6";
    EXPECT_EQ(f32.vox[3 + 4 * (4 + 5 * 5)], 32767);
}

// The value rules, each file converted and a few output voxels checked
// (LPS: output voxel x + 4 (y + 5 z) is input voxel (x, y, z)):
// - stored int16 with a fractional slope, as fMRI series come: stored
//   -31008 and 32322 with slope 0.0754 and intercept 3100.8 are 762.8
//   and 5537.9 (slope and intercept are held as float);
// - -a N added after scaling, before rounding and clamping;
// - non-finite floats: NaN is 0, the infinities clamp, and all count;
// - -m tests the value after all of that: NaN is outside, infinities in.
TEST_F(nii2im, valuerules)
{
    auto v = [](int64_t i, int64_t j, int64_t k) {
        return i == 0 && j == 0 && k == 0 ? -31008.0 : i == 1 && j == 0 && k == 0 ? 32322.0 : (double)(i + 10 * j + 100 * k) - 500;
    };
    putnii(path("fmri.nii"), DT_INT16, lps, v, NIFTI_FTYPE_NIFTI1_1, 1, 0.0754, 3100.8);
    putnii(path("hu.nii"), DT_INT16, lps, [](int64_t i, int64_t j, int64_t k) { return (double)(i + 10 * j + 100 * k) - 1024; });
    putnii(path("f.nii"), DT_FLOAT32, lps, [](int64_t i, int64_t, int64_t) { return i == 0 ? -2.5 : i == 1 ? 32767.0 : -0.4; });
    auto nonfinite = [](int64_t i, int64_t j, int64_t k) {
        const double first[6] = {NAN, INFINITY, -INFINITY, 40000, 2.5, -7};
        return k == 0 && i + 4 * j < 6 ? first[i + 4 * j] : 0.0;
    };
    putnii(path("inf.nii"), DT_FLOAT32, lps, nonfinite);
    const std::string clamped30 = "nii2im: warning: 30 voxels of f.nii did not fit 16 bits and were clamped\n";
    const std::string clamped4 = "nii2im: warning: 4 voxels of inf.nii did not fit 16 bits and were clamped\n";
    struct {
        std::vector<std::string> args;
        std::string out;
        std::vector<std::pair<int, int>> vox;  // output voxel, value
    } rows[] = {
        {{"fmri.nii", "o"}, "", {{0, 763}, {1, 5538}, {2, (int)std::lround((2 - 500) * 0.0754 + 3100.8)}}},
        {{"hu.nii", "o"}, "", {{2 + 4 * (3 + 5 * 4), 432 - 1024}}},
        {{"-a", "1024", "hu.nii", "o"}, "", {{2 + 4 * (3 + 5 * 4), 432}, {0, 0}}},
        {{"-a", "-1", "fmri.nii", "o"}, "", {{0, 762}}},
        // -2.5 + 2 = -0.5 rounds to even, 0; 32767 + 2 clamps.
        {{"-a", "2", "f.nii", "o"}, clamped30, {{0, 0}, {1, 32767}, {2, 2}}},
        {{"inf.nii", "o"}, clamped4, {{0, 0}, {1, 32767}, {2, -32768}, {3, 32767}, {4, 2}, {5, -7}, {6, 0}}},
        {{"-m", "inf.nii", "o"}, "", {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 0}}},
        {{"-m", "hu.nii", "o"}, "", {{2 + 4 * (3 + 5 * 4), 1}}},
        {{"-m", "-a", "1024", "hu.nii", "o"}, "", {{0, 0}, {1, 1}}},
        {{"-a", "1024", "-m", "hu.nii", "o"}, "", {{1, 1}}},
        {{"-m", "-a", "2", "f.nii", "o"}, "", {{0, 1}, {2, 1}}},
    };
    for (const auto &r : rows) {
        runres res = conv(r.args);
        std::string what;
        for (const std::string &a : r.args)
            what += a + " ";
        EXPECT_EQ(res.out, r.out) << what;
        EXPECT_EQ(res.err, "") << what;
        ASSERT_EQ(res.status, 0) << what;
        pair p;
        getpair(path("o"), &p);
        size_t n = p.hv.bpp == 1 ? p.bytes.size() : p.vox.size();
        ASSERT_EQ(n, (size_t)(nx * ny * nz)) << what;
        for (const auto &e : r.vox)
            EXPECT_EQ(p.hv.bpp == 1 ? p.bytes[e.first] : p.vox[e.first], e.second) << what << " voxel " << e.first;
    }
}

// The same file in the other byte order: header fields and voxels
// swapped.
void bigendian(const std::string &from, const std::string &to, int version, int nbyper)
{
    std::string b = getfile(from);
    size_t hsize = version == 1 ? 348 : 540;
    ASSERT_GT(b.size(), hsize + 4);
    swap_nifti_header(&b[0], version);
    for (size_t i = hsize + 4; i + nbyper <= b.size(); i += nbyper)
        std::reverse(b.begin() + i, b.begin() + i + nbyper);
    putfile(to, b);
}

// A copy of a file, gzip-compressed.
void gzipped(const std::string &from, const std::string &to)
{
    std::string b = getfile(from);
    gzFile z = gzopen(to.c_str(), "wb");
    ASSERT_NE(z, nullptr);
    ASSERT_EQ(gzwrite(z, b.data(), (unsigned)b.size()), (int)b.size());
    ASSERT_EQ(gzclose(z), Z_OK);
}

TEST_F(nii2im, filekindsandmask)
{
    // Every kind of file, every type, both byte orders: voxel (2, 3, 4)
    // is 432 (int8: 36) and nothing is printed on either output.
    struct {
        const char *name;
        int ftype, datatype;
    } kinds[] = {{"a.nii.gz", NIFTI_FTYPE_NIFTI1_1, DT_FLOAT32}, {"b.hdr", NIFTI_FTYPE_NIFTI1_2, DT_FLOAT32},
                 {"c.nii", NIFTI_FTYPE_NIFTI2_1, DT_FLOAT32}, {"d.hdr.gz", NIFTI_FTYPE_NIFTI2_2, DT_INT16},
                 {"e.nii", NIFTI_FTYPE_NIFTI1_1, DT_FLOAT64}, {"f.nii", NIFTI_FTYPE_NIFTI1_1, DT_INT8},
                 {"g.nii", NIFTI_FTYPE_NIFTI1_1, DT_UINT32}};
    auto small = [](int64_t i, int64_t j, int64_t k) { return (double)(i + 10 * j + k); };
    for (const auto &k : kinds) {
        putnii(path(k.name), k.datatype, lps, k.datatype == DT_INT8 ? small : ijk, k.ftype);
        runres r = conv({k.name, "o"});
        EXPECT_EQ(r.out, "") << k.name;
        EXPECT_EQ(r.err, "") << k.name;
        EXPECT_EQ(r.status, 0) << k.name;
        pair p;
        getpair(path("o"), &p);
        EXPECT_EQ(p.vox[2 + 4 * (3 + 5 * 4)], k.datatype == DT_INT8 ? 36 : 432) << k.name;
    }
    // Big-endian copies of single files, as written on other machines.
    const char *big[] = {"c.nii", "e.nii", "f.nii", "g.nii"};
    for (const char *name : big) {
        nifti_image *nim = nifti_image_read(path(name).c_str(), 0);
        ASSERT_NE(nim, nullptr);
        int nbyper = nim->nbyper, version = nim->nifti_type == NIFTI_FTYPE_NIFTI2_1 ? 2 : 1;
        nifti_image_free(nim);
        bigendian(path(name), path("big.nii"), version, nbyper);
        runres b = conv({"big.nii", "big"});
        EXPECT_EQ(b.out, "") << name;
        EXPECT_EQ(b.err, "") << name;
        EXPECT_EQ(b.status, 0) << name;
        ASSERT_EQ(conv({name, "o"}).status, 0);
        EXPECT_EQ(getfile(path("big.im")), getfile(path("o.im"))) << name;
        EXPECT_EQ(getfile(path("big.hd")), getfile(path("o.hd"))) << name;
    }
    // A pair named by its .img, and a pair whose .img is compressed.
    ASSERT_EQ(rename(path("b.img").c_str(), path("h.img").c_str()), 0);
    ASSERT_EQ(rename(path("b.hdr").c_str(), path("h.hdr").c_str()), 0);
    gzipped(path("h.img"), path("i.img.gz"));
    ASSERT_EQ(rename(path("h.hdr").c_str(), path("i.hdr").c_str()), 0);
    for (const char *name : {"i.img.gz", "i.hdr"}) {
        runres r = conv({name, "o"});
        EXPECT_EQ(r.out, "") << name;
        EXPECT_EQ(r.err, "") << name;
        pair p;
        getpair(path("o"), &p);
        EXPECT_EQ(p.vox[2 + 4 * (3 + 5 * 4)], 432) << name;
    }
    // A mask: 1 where the input is not 0.
    putnii(path("m.nii"), DT_FLOAT32, lps, [](int64_t i, int64_t, int64_t k) { return i == 1 && k > 2 ? 0.25 : 0.0; });
    ASSERT_EQ(conv({"-m", "m.nii", "mask.hd"}).status, 0);
    pair m;
    getpair(path("mask"), &m);
    EXPECT_EQ(m.hv.bpp, 1);
    ASSERT_EQ(m.bytes.size(), (size_t)(nx * ny * nz));
    int ones = 0;
    for (uint8_t b : m.bytes)
        ones += b;
    EXPECT_EQ(ones, 5 * 3);
    EXPECT_EQ(m.bytes[1 + 4 * (0 + 5 * 3)], 1);
    EXPECT_EQ(m.bytes[1 + 4 * (0 + 5 * 2)], 0);
}

TEST_F(nii2im, firstvolumeofaseries)
{
    putnii(path("s.nii"), DT_INT16, lps, ijk, NIFTI_FTYPE_NIFTI1_1, 3);
    runres r = conv({"s.nii", "o"});
    EXPECT_EQ(r.out, "nii2im: warning: s.nii holds more than one volume; the first is written\n");
    EXPECT_EQ(r.status, 0);
    pair p;
    getpair(path("o"), &p);
    EXPECT_EQ(p.hv.slices, nz);
    EXPECT_EQ(p.vox[2 + 4 * (3 + 5 * 4)], 432) << "volume 0, not 1000 more";
    // Two dimensions: the third size, 6, is past dim[0] and counts as 1.
    putnii(path("v.nii"), DT_INT16, lps, ijk);
    std::string b = getfile(path("v.nii"));
    b[40] = 2;  // dim[0]
    putfile(path("flat.nii"), b);
    r = conv({"flat.nii", "o"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    getpair(path("o"), &p);
    EXPECT_EQ(p.hv.slices, 1);
    ASSERT_EQ(p.vox.size(), (size_t)(nx * ny));
    EXPECT_EQ(p.vox[2 + 4 * 3], 32);
}

// good.nii with the 16-bit header field at byte `at` set to v.
void patch16(const std::string &good, const std::string &to, size_t at, int16_t v)
{
    std::string b = good;
    memcpy(&b[at], &v, 2);
    putfile(to, b);
}

TEST_F(nii2im, brokenfiles)
{
    putnii(path("good.nii"), DT_INT16, lps, ijk);
    std::string good = getfile(path("good.nii"));
    putfile(path("trunc.nii"), good.substr(0, good.size() - 10));
    std::string magic = good;
    memcpy(&magic[344], "xx1\0", 4);
    putfile(path("magic.nii"), magic);
    putfile(path("empty.nii"), "");
    putfile(path("text.nii"), std::string(400, 'x'));
    // dim[0..3] are 16-bit at byte 40, the type at byte 70.
    patch16(good, path("x0.nii"), 42, 0);
    patch16(good, path("z0.nii"), 46, 0);
    patch16(good, path("yneg.nii"), 44, -50);
    patch16(good, path("x10001.nii"), 42, 10001);
    patch16(good, path("ndim0.nii"), 40, 0);
    patch16(good, path("ndim8.nii"), 40, 8);
    patch16(good, path("complex.nii"), 70, DT_COMPLEX64);
    patch16(good, path("type999.nii"), 70, 999);
    // Pairs whose voxel file is a FIFO (which would block a plain open),
    // a folder, a device, or missing; and an input that is a FIFO.
    for (const char *b : {"fifo", "dir", "dev", "gone"}) {
        putnii(path(std::string(b) + ".hdr"), DT_INT16, lps, ijk, NIFTI_FTYPE_NIFTI1_2);
        ASSERT_EQ(unlink(path(std::string(b) + ".img").c_str()), 0);
    }
    ASSERT_EQ(mkfifo(path("fifo.img").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(path("dir.img").c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", path("dev.img").c_str()), 0);
    ASSERT_EQ(mkfifo(path("in.nii").c_str(), 0600), 0);
    const char *sizes = "; each must lie in 1..10000\n";
    struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } rows[] = {
        {{"trunc.nii", "o"}, "nii2im: can't read NIfTI file trunc.nii\n", 1},
        {{"magic.nii", "o"}, "nii2im: magic.nii is not a NIfTI-1 or NIfTI-2 file\n", 1},
        {{"text.nii", "o"}, "nii2im: text.nii is not a NIfTI-1 or NIfTI-2 file\n", 1},
        {{"empty.nii", "o"}, "nii2im: can't read NIfTI file empty.nii\n", 1},
        {{"none.nii", "o"}, "nii2im: can't read NIfTI file none.nii\n", 1},
        {{"x0.nii", "o"}, std::string("nii2im: x0.nii has sizes 0 x 5 x 6") + sizes, 1},
        {{"z0.nii", "o"}, std::string("nii2im: z0.nii has sizes 4 x 5 x 0") + sizes, 1},
        {{"yneg.nii", "o"}, std::string("nii2im: yneg.nii has sizes 4 x -50 x 6") + sizes, 1},
        {{"x10001.nii", "o"}, std::string("nii2im: x10001.nii has sizes 10001 x 5 x 6") + sizes, 1},
        {{"ndim0.nii", "o"}, std::string("nii2im: ndim0.nii has sizes 4 x 5 x 6") + sizes, 1},
        {{"ndim8.nii", "o"}, std::string("nii2im: ndim8.nii has sizes 4 x 5 x 6") + sizes, 1},
        {{"complex.nii", "o"}, "nii2im: complex.nii holds COMPLEX64 voxels, which have no single value\n", 1},
        {{"type999.nii", "o"}, "nii2im: can't read NIfTI file type999.nii\n", 1},
        {{"fifo.hdr", "o"}, "nii2im: can't read NIfTI file fifo.hdr\n", 1},
        {{"dir.hdr", "o"}, "nii2im: can't read NIfTI file dir.hdr\n", 1},
        {{"dev.hdr", "o"}, "nii2im: can't read NIfTI file dev.hdr\n", 1},
        {{"gone.hdr", "o"}, "nii2im: can't read NIfTI file gone.hdr\n", 1},
        {{"in.nii", "o"}, "nii2im: can't read NIfTI file in.nii\n", 1},
        {{"good.nii"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-x", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-m", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-a", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-a", "1.5", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-a", "", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-a", "70000", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-a", "1", "-a", "2", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"-m", "-m", "good.nii", "o"}, " usage: nii2im [-m] [-a N] in out\n", 1},
        {{"good.nii", "no/dir/o"}, "nii2im: can't write no/dir/o\n", 255},
    };
    std::vector<std::string> before = files();
    for (const auto &r : rows) {
        runres res = conv(r.args);
        EXPECT_EQ(res.out, r.out) << r.args[0];
        EXPECT_EQ(res.err, "") << r.args[0];
        EXPECT_EQ(res.status, r.status) << r.args[0];
        EXPECT_EQ(files(), before) << r.args[0];
    }
}

// ch2, a T1 MRI template of 181 x 217 x 181 voxels of 1 mm from Debian's
// package mricron-data, stored with an sform of +x right, +y front, +z up
// (RAS): nii2im flips x and y.  The middle is (90, 108, 90), deep in the
// brain at the level of the thalami.  Checked by hand on the picture of
// seedpng: both seeds lie in the thalamus beside the third ventricle, x
// = 98 on the patient's left and x = 82 on the right, symmetric about the
// midline at 90, in grey matter of T1 values about 95 to 125.
TEST_F(nii2im, realmri)
{
    const std::string ch2 = "/usr/share/mricron/templates/ch2.nii.gz";
    ASSERT_TRUE(exists(ch2)) << ch2 << " is missing: apt-get install mricron-data";
    runres r = runprog(bin, "nii2im", {ch2, "ch2"}, dir);
    ASSERT_EQ(r.out, "");
    ASSERT_EQ(r.status, 0);
    pair p;
    getpair(path("ch2"), &p);
    EXPECT_EQ(p.hv.columns, 181);
    EXPECT_EQ(p.hv.rows, 217);
    EXPECT_EQ(p.hv.slices, 181);
    struct {
        const char *side, *line;
        int x, y, z;
    } rows[] = {
        {"l", "quorral: seed found at x=98  y=106  z=85  meas=0.554955\n", 98, 106, 85},
        {"r", "quorral: seed found at x=82  y=106  z=85  meas=0.719114\n", 82, 106, 85},
    };
    for (const auto &e : rows) {
        runres q = runprog(QUORRAL_BIN, "quorral", {"ch2", e.side, "seed"}, dir);
        EXPECT_EQ(q.out, e.line);
        EXPECT_EQ(q.status, 0);
        EXPECT_EQ(getfile(path("seed.vroi")), vroitext(e.x, e.y, e.z));
        double sum = 0;
        for (int z = e.z - 6; z <= e.z + 6; z++)
            for (int y = e.y - 3; y <= e.y + 3; y++)
                for (int x = e.x - 3; x <= e.x + 3; x++)
                    sum += p.vox[((size_t)(z - 1) * 217 + y) * 181 + x];
        EXPECT_GT(sum / 637, 80) << e.side;
        EXPECT_LT(sum / 637, 140) << e.side;
    }
}

} // namespace
