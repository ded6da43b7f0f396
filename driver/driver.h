// The run of the tool, from its arguments to its exit status.
#ifndef QUORRAL_DRIVER_H
#define QUORRAL_DRIVER_H

#include "../common/volume.h"
#include "../imagefiles/imagefiles.h"

#include <cstdint>

// The whole run; prints one line and returns the exit status.
int run(int argc, char **argv);

// Obtain the voxel block of the whole image; false when it cannot be had.
bool newvolume(volume *v, const hdrvals &hv);
void freevolume(volume *v);

// Fill v from the data file of `im`, slice by slice through inbuf.
// Returns 0, or the first slice that cannot be read whole.
int32_t loadvolume(volume *v, const char *im, int16_t *inbuf);

// Middle of the image: the integer halves of the sizes.
triple middle(const volume &v);

// Sums of the coordinates of the mask's non-zero voxels, and their count.
struct masksums {
    int64_t sx, sy, sz, n;
};

// Add slice z of the mask (columns x rows bytes) to the sums.
void addmask(masksums *m, const uint8_t *roibuf, int32_t columns, int32_t rows, int32_t z);

// The truncated centroid; m.n must be at least 1.
triple centroid(const masksums &m);

#endif
