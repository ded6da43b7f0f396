// The run of the tool, from its arguments to its exit status.
#ifndef QUORRAL_DRIVER_H
#define QUORRAL_DRIVER_H

#include "../common/volume.h"
#include "../imagefiles/imagefiles.h"

#include <cstdint>

// The whole run; prints one line and returns the exit status.
int run(int argc, char **argv);

// The search reads only slices and rows near the search centre, so the
// volume holds just that window: at most 27 slices of 21 rows.  Obtain
// the block for the largest window the image allows; false when it
// cannot be had.
bool newvolume(volume *v, const hdrvals &hv);
void freevolume(volume *v);
// Place the window around the search centre, clipped to the image.
void setwindow(volume *v, triple centre);
// Fill the window from the image's data file, one read per slice.
// Returns 0, or the slice that could not be read.
int32_t loadwindow(volume *v, datafile *df);

// Middle of the image: the integer halves of the sizes.
triple middle(const hdrvals &hv);

// Sums of the coordinates of the mask's non-zero voxels, and their count.
struct masksums {
    int64_t sx, sy, sz, n;
};

// Add rows y0 .. y0 + nrows - 1 of mask slice z (columns bytes each).
void addmask(masksums *m, const uint8_t *rowsbuf, int32_t columns, int32_t y0, int32_t nrows,
             int32_t z);

// Count and sum of x of the non-zero bytes of one row, in vector steps of
// `vec` bytes: 32 (AVX2), 16 (SSE2) or 1; rowvector() is the widest this
// processor has.
int rowvector();
void rowsums(const uint8_t *row, int32_t columns, int vec, uint64_t *count, uint64_t *sumx);

// The truncated centroid; m.n must be at least 1.
triple centroid(const masksums &m);

#endif
