// A NIfTI file's header and first volume, read here rather than through
// the library's loader: that prints on standard error, zeroes non-finite
// floats and opens files with a plain open, which a FIFO holds forever.
// Of the library only the header layouts and constants are used.
#include "nii2im.h"
#include "../imagefiles/imagefiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(nifti_1_header) == 348, "NIfTI-1 header layout");
static_assert(sizeof(nifti_2_header) == 540, "NIfTI-2 header layout");

void closenii(niifile *f)
{
    if (f->z)
        gzclose(f->z);
    f->z = nullptr;
}

// Opens a regular file without blocking and reads it through zlib, which
// reads uncompressed files as they are.
static bool openz(const std::string &name, niifile *f)
{
    int fd = openin(name.c_str(), &f->size);
    f->z = fd >= 0 && f->size >= 0 ? gzdopen(fd, "rb") : nullptr;
    if (!f->z) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    gzbuffer(f->z, 1 << 17);
    return true;
}

static bool readz(niifile *f, void *buf, int64_t bytes)
{
    char *p = (char *)buf;
    while (bytes > 0) {
        unsigned n = bytes > (1 << 30) ? 1u << 30 : (unsigned)bytes;
        int got = gzread(f->z, p, n);
        if (got <= 0)
            return false;
        p += got;
        bytes -= got;
    }
    return true;
}

static bool skipz(niifile *f, int64_t bytes)
{
    char buf[4096];
    while (bytes > 0) {
        int64_t n = bytes < (int64_t)sizeof buf ? bytes : (int64_t)sizeof buf;
        if (!readz(f, buf, n))
            return false;
        bytes -= n;
    }
    return true;
}

// A field of the header at byte `off`, in the file's byte order.
template <typename T> static T field(const char *b, size_t off, bool swap)
{
    char t[sizeof(T)];
    memcpy(t, b + off, sizeof t);
    if (swap)
        std::reverse(t, t + sizeof t);
    T v;
    memcpy(&v, t, sizeof v);
    return v;
}

static int32_t swapped(int32_t v)
{
    return field<int32_t>((const char *)&v, 0, true);
}

// The bytes a voxel of a type with a single value takes; 0 for the
// library's other types (complex, RGB, 128-bit float, bits); -1 for
// codes that name no type.
static int bytesper(int dt)
{
    switch (dt) {
    case DT_INT8: case DT_UINT8: return 1;
    case DT_INT16: case DT_UINT16: return 2;
    case DT_INT32: case DT_UINT32: case DT_FLOAT32: return 4;
    case DT_INT64: case DT_UINT64: case DT_FLOAT64: return 8;
    case DT_BINARY: case DT_COMPLEX64: case DT_RGB24: case DT_FLOAT128:
    case DT_COMPLEX128: case DT_COMPLEX256: case DT_RGBA32: return 0;
    default: return -1;
    }
}

static void getv1(const char *b, bool sw, niihdr *h)
{
    typedef nifti_1_header n1;
    for (int a = 0; a < 8; a++) {
        h->dim[a] = field<int16_t>(b, offsetof(n1, dim) + 2 * a, sw);
        h->pixdim[a] = field<float>(b, offsetof(n1, pixdim) + 4 * a, sw);
    }
    h->datatype = field<int16_t>(b, offsetof(n1, datatype), sw);
    h->voxoffset = field<float>(b, offsetof(n1, vox_offset), sw);
    h->slope = field<float>(b, offsetof(n1, scl_slope), sw);
    h->inter = field<float>(b, offsetof(n1, scl_inter), sw);
    h->qcode = field<int16_t>(b, offsetof(n1, qform_code), sw);
    h->scode = field<int16_t>(b, offsetof(n1, sform_code), sw);
    const size_t q[6] = {offsetof(n1, quatern_b), offsetof(n1, quatern_c), offsetof(n1, quatern_d),
                         offsetof(n1, qoffset_x), offsetof(n1, qoffset_y), offsetof(n1, qoffset_z)};
    for (int i = 0; i < 6; i++)
        h->quatern[i] = field<float>(b, q[i], sw);
    const size_t s[3] = {offsetof(n1, srow_x), offsetof(n1, srow_y), offsetof(n1, srow_z)};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            h->srow[r][c] = field<float>(b, s[r] + 4 * c, sw);
}

static void getv2(const char *b, bool sw, niihdr *h)
{
    typedef nifti_2_header n2;
    for (int a = 0; a < 8; a++) {
        h->dim[a] = field<int64_t>(b, offsetof(n2, dim) + 8 * a, sw);
        h->pixdim[a] = field<double>(b, offsetof(n2, pixdim) + 8 * a, sw);
    }
    h->datatype = field<int16_t>(b, offsetof(n2, datatype), sw);
    h->voxoffset = (double)field<int64_t>(b, offsetof(n2, vox_offset), sw);
    h->slope = field<double>(b, offsetof(n2, scl_slope), sw);
    h->inter = field<double>(b, offsetof(n2, scl_inter), sw);
    h->qcode = field<int32_t>(b, offsetof(n2, qform_code), sw);
    h->scode = field<int32_t>(b, offsetof(n2, sform_code), sw);
    const size_t q[6] = {offsetof(n2, quatern_b), offsetof(n2, quatern_c), offsetof(n2, quatern_d),
                         offsetof(n2, qoffset_x), offsetof(n2, qoffset_y), offsetof(n2, qoffset_z)};
    for (int i = 0; i < 6; i++)
        h->quatern[i] = field<double>(b, q[i], sw);
    const size_t s[3] = {offsetof(n2, srow_x), offsetof(n2, srow_y), offsetof(n2, srow_z)};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            h->srow[r][c] = field<double>(b, s[r] + 8 * c, sw);
}

// Checks that the number of dimensions lies in 1..7 and the first three
// sizes in 1..10000 (a size past the number counts as 1; without a valid
// number the sizes are kept as stored, for the message).
static bool sizesfit(niihdr *h)
{
    bool ndim = h->dim[0] >= 1 && h->dim[0] <= 7, ok = ndim;
    for (int a = 1; a <= 3; a++) {
        h->n[a - 1] = ndim && a > h->dim[0] ? 1 : h->dim[a];
        ok = ok && h->n[a - 1] >= 1 && h->n[a - 1] <= 10000;
    }
    h->series = false;
    for (int a = 4; ok && a <= h->dim[0]; a++)
        h->series = h->series || h->dim[a] > 1;
    return ok;
}

static bool endswith(const std::string &s, const char *suf)
{
    size_t n = strlen(suf);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suf) == 0;
}

// The other file of a pair: x.hdr's x.img and x.img's x.hdr (in the
// same case), with ".gz" kept; empty when the name is neither.
static std::string partner(const std::string &name)
{
    bool gz = endswith(name, ".gz");
    std::string stem = gz ? name.substr(0, name.size() - 3) : name;
    const char *other = endswith(stem, ".hdr") ? ".img" : endswith(stem, ".img") ? ".hdr" : nullptr;
    if (!other)
        return "";
    std::string ext = other;
    if (stem[stem.size() - 1] == 'R' || stem[stem.size() - 1] == 'G')
        for (char &c : ext)
            c = (char)toupper((unsigned char)c);
    return stem.substr(0, stem.size() - 4) + ext + (gz ? ".gz" : "");
}

// The partner, or when there is no such file and the name with ".gz"
// added or dropped is one, that.
static std::string findpartner(const std::string &name)
{
    std::string p = partner(name);
    struct stat st;
    if (p.empty() || lstat(p.c_str(), &st) == 0 || errno != ENOENT)
        return p;
    std::string q = endswith(p, ".gz") ? p.substr(0, p.size() - 3) : p + ".gz";
    return lstat(q.c_str(), &st) == 0 ? q : p;
}

std::string headername(const char *in)
{
    bool img = endswith(in, ".img") || endswith(in, ".img.gz");
    return img ? findpartner(in) : std::string(in);
}

int readheader(const std::string &hdr, niihdr *h, niifile *f)
{
    if (!openz(hdr, f))
        return nii_read;
    char b[540];
    if (!readz(f, b, 348))
        return nii_read;
    int32_t size = field<int32_t>(b, 0, false);
    h->swap = size == swapped(348) || size == swapped(540);
    h->version = size == 540 || size == swapped(540) ? 2 : 1;
    if (h->version == 2 && !readz(f, b + 348, 540 - 348))
        return nii_read;
    // The magic: voxels in this file ("n+1", "n+2") or in the .img file
    // ("ni1", "ni2").  Without it, an older ANALYZE file, whose
    // orientation and scaling mean other things.
    const char *magic = h->version == 1 ? b + offsetof(nifti_1_header, magic) : b + 4;
    bool known = (size == 348 || size == 540 || h->swap) && magic[0] == 'n' &&
                 (magic[1] == '+' || magic[1] == 'i') && magic[2] == '0' + h->version &&
                 magic[3] == 0;
    if (!known)
        return nii_notnifti;
    h->single = magic[1] == '+';
    if (h->version == 1)
        getv1(b, h->swap, h);
    else
        getv2(b, h->swap, h);
    if (!sizesfit(h))
        return nii_sizes;
    h->nbyper = bytesper(h->datatype);
    if (h->nbyper < 0)
        return nii_read;
    if (h->nbyper == 0)
        return nii_type;
    return nii_ok;
}

int readvolume(const std::string &hdr, const niihdr &h, niifile *f, void **data)
{
    *data = nullptr;
    int64_t hsize = h.version == 1 ? 348 : 540;
    double off = h.voxoffset;
    if (!(off >= 0 && off < 9e18))
        return nii_read;
    int64_t skip = (int64_t)off;
    if (h.single) {
        if (skip < hsize)
            return nii_read;
        skip -= hsize;
    } else {
        // The voxels of a pair; anything but a regular file is refused.
        closenii(f);
        std::string img = findpartner(hdr);
        if (img.empty() || !openz(img, f))
            return nii_read;
    }
    int64_t bytes = h.n[0] * h.n[1] * h.n[2] * h.nbyper;
    // A plain file too short for its sizes fails here, before the memory.
    if (gzdirect(f->z) && f->size - (h.single ? hsize : 0) - skip < bytes)
        return nii_read;
    if (!skipz(f, skip))
        return nii_read;
    void *buf = malloc((size_t)bytes);
    if (!buf)
        return nii_memory;
    if (!readz(f, buf, bytes)) {
        free(buf);
        return nii_read;
    }
    if (h.swap && h.nbyper > 1)
        for (int64_t i = 0; i < bytes; i += h.nbyper)
            std::reverse((char *)buf + i, (char *)buf + i + h.nbyper);
    *data = buf;
    return nii_ok;
}
