// nii2im: NIfTI files to the tool's image pairs.
#ifndef QUORRAL_NII2IM_H
#define QUORRAL_NII2IM_H

#include <nifti2_io.h>
#include <zlib.h>

#include <cstdint>
#include <string>

// What the header says, in the host's byte order and in double.
struct niihdr {
    int version;        // 1 or 2
    bool swap;          // stored in the other byte order
    bool single;        // voxels in the header's file, else in the .img
    int64_t dim[8];
    int64_t n[3];       // the first three sizes (1 past dim[0]), once checked
    bool series;        // more than one volume
    int datatype, nbyper;
    double voxoffset;   // where the voxels start, bytes
    double slope, inter;
    int qcode, scode;
    double quatern[6];  // b, c, d, then the offsets x, y, z
    double pixdim[8];
    double srow[3][4];
};

// An open file, read through zlib (plain or gzip-compressed).
struct niifile {
    gzFile z;
    int64_t size;  // bytes on disk
};

// Statuses of the reader, one for each failure line.
enum { nii_ok, nii_read, nii_notnifti, nii_sizes, nii_type, nii_memory };

// The header file of the name given: x.hdr for x.img, else the name.
std::string headername(const char *in);
// Reads and checks the header; f stays open for readvolume.  nii_read
// (missing, not a regular file, short, a code that names no type),
// nii_notnifti, nii_sizes (a size of the first three outside 1..10000,
// the number of dimensions outside 1..7) or nii_type.
int readheader(const std::string &hdr, niihdr *h, niifile *f);
// The first volume's voxels, in the host's byte order, malloc'd: from
// the same file, or from the pair's .img (or .img.gz).  nii_read or
// nii_memory.
int readvolume(const std::string &hdr, const niihdr &h, niifile *f, void **data);
void closenii(niifile *f);

// Where each output axis comes from: output x (toward the patient's
// left), y (toward the back) and slices (toward the head) are input axes
// axis[0..2] (0 i, 1 j, 2 k), read backwards where flip is set.
struct axismap {
    int axis[3];
    bool flip[3];
    bool oriented;  // false: no usable orientation, stored order kept
};
axismap orientation(const niihdr &h);

// Values: the voxel at linear index i of data of the given type, as a
// double, and that value after scaling (scl_slope and scl_inter when the
// slope is set, for every type) with `add` added.
double rawvalue(int datatype, const void *data, int64_t i);
double scaled(const niihdr &h, double raw, double add);
// Rounded to nearest and clamped to -32768..32767; *clamped counts the
// values that did not fit (NaN among them, written as 0; infinities
// become the nearest end).
int16_t toint16(double v, int64_t *clamped);

#endif
