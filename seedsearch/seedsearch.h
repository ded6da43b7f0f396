// The search for the seed beside the search centre, and its seed box.
#ifndef QUORRAL_SEEDSEARCH_H
#define QUORRAL_SEEDSEARCH_H

#include "../common/volume.h"

// Lowest measure found by the search, and where.  meas is 9999.99 and
// the seed the centre when no candidate qualified.
struct seedres {
    triple seed;
    double meas;
};

// The measure of the neighbourhood of (x, y, z): 7 columns, 7 rows and
// 13 slices around it, those inside the image counting.  Lower is more
// homogeneous; NaN when nothing counts or the voxels are all 0.
double meas(const volume &v, int32_t x, int32_t y, int32_t z);

// Search beside `centre`: toward larger x for side 'l', smaller x for
// any other side.  Reads voxels of v within slices centre.z-13..+13 and
// rows centre.y-10..+10 only (see seedreach).
seedres findseed(const volume &v, triple centre, char side);

// Slices and rows that findseed can read, before clipping to the image.
enum { seedreachz = 7 + 6, seedreachy = 7 + 3 };

// Ends of the box around the seed's neighbourhood, in the order the seed
// box file takes them: x0, x1, y0, y1, z0, z1.
struct seedbox {
    double x0, x1, y0, y1, z0, z1;
};
seedbox boxof(triple seed);

#endif
