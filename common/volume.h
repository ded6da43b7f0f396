// The image held in memory and the coordinate triple shared by the driver
// and the seed search.
#ifndef QUORRAL_VOLUME_H
#define QUORRAL_VOLUME_H

#include <cstdint>

// x is a column and y a row, both from 0; z is a slice number, from 1.
struct triple {
    int32_t x, y, z;
};

// The image's sizes, and the voxels of slices zlo..zlo+nz-1, rows
// ylo..ylo+ny-1, all columns, in one block: slice after slice, row after
// row: voxel (x, y, z) is element ((z - zlo) * ny + (y - ylo)) * columns
// + x.  A whole image has zlo 1, nz slices, ylo 0 and ny rows.
struct volume {
    int32_t columns, rows, slices;
    int32_t zlo, nz, ylo, ny;
    int16_t *vox;
};

// v held to lo..hi.
inline int32_t clip(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

#endif
