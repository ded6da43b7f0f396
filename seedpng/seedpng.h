// seedpng: a picture of where the seed landed, for quality control.
#ifndef QUORRAL_SEEDPNG_H
#define QUORRAL_SEEDPNG_H

#include "../common/volume.h"
#include "../imagefiles/imagefiles.h"

#include <cstdint>

// The three planes through a voxel of the image: the slice at its z
// (rows x columns), the plane at its row (slices x columns) and the plane
// at its column (slices x rows), each row after row; and a buffer of
// bufrows whole rows for reading them.
struct planes {
    int32_t columns, rows, slices;
    triple at;  // inside the image
    int16_t *axial, *coronal, *sagittal;
    char *buf;
    int64_t bufrows;
};

// Obtain the planes' memory; false when it cannot be had.
bool newplanes(planes *p, const hdrvals &hv, triple at);
void freeplanes(planes *p);
// Read the planes from the data file, in order through the buffer.
// Returns 0, or the first slice that could not be read.
int32_t readplanes(planes *p, datafile *df);

// The voxels that a seed box names, as inclusive ranges, and the seed at
// its middle.  Not clipped to the image.
struct boxvox {
    int32_t xa, xb, ya, yb, za, zb;
    triple seed;
};
boxvox boxvoxels(const double box[6]);

// Grey levels: values at or below lo are black, at or above hi white.
struct greywin {
    int32_t lo, hi;
};
// Over the voxels of the three planes: a soft-tissue window (level 40,
// width 400) when the values look like Hounsfield units (the 1st
// percentile is -500 or lower, so that a few stray voxels do not decide),
// else the 1st to 99th percentile.
greywin greylevels(const planes &p);
uint8_t grey(const greywin &w, int32_t v);
// The palette entry of that grey.
uint8_t greypen(uint8_t g);

// The picture's palette: grey levels by their own number, but for two
// entries that show the marks drawn over the grey (greys 1 and 254 are
// drawn as 0 and 255: one byte a pixel instead of three, a third of the
// work for the compressor).
enum : uint8_t { boxpen = 1, seedpen = 254 };
enum : uint32_t { boxcolour = 0xff0000, seedcolour = 0x00ff00 };
uint32_t penrgb(int pen);

// The picture: the three panels side by side with a gap between them,
// the slice planes head up (the last slice at the top).  One scale for
// all panels, so that pixels stay square and the panels line up: each
// voxel `zoom` pixels wide, or each pixel `skip` voxels wide, whichever
// is not 1.  Small images are scaled up until every panel is at least 256
// pixels high, but no picture is wider or higher than maxside; a large
// one is scaled down to fit.
enum { maxside = 4096, minpanel = 256 };
struct picture {
    const planes *p;
    boxvox box;
    greywin win;
    uint8_t *greys;  // pen of every value from -32768 on; null: worked out each time
    int32_t zoom, skip, gap, width, height;
};
picture layout(const planes &p, const boxvox &box);
void freepicture(picture *pic);
// Pixels that n voxels take.
int32_t pixels(const picture &pic, int32_t n);
// One row of the picture as palette entries (width bytes).
void picturerow(const picture &pic, int32_t py, uint8_t *row);

// Write a picture to `path` as PNG through a temporary file in the same
// folder, renamed into place only when whole.  False on any failure, with
// no file left behind.
bool writepng(const char *path, const picture &pic);

#endif
