// The image pair (header file and data file) and the seed box file.
#ifndef QUORRAL_IMAGEFILES_H
#define QUORRAL_IMAGEFILES_H

#include <cstdint>
#include <cstdio>

// Data files hold 16-bit voxels low byte first, which is their order in
// memory here: slices are read and written straight, unconverted.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "data files are read in memory order; this host is not little-endian"
#endif

// Status codes of the file operations.  These numbers reach the user in
// the tool's messages, so they never change.
enum {
    st_ok = 0,     // done
    st_open = 1,   // file cannot be opened or created
    st_bad = 2,    // header invalid; data file ends early or read fails;
                   // seed box file could not be written whole
    st_width = 3,  // bytes per pixel is not the reader's width
    st_seek = 5    // data file cannot be positioned at the slice
};

// Header values, in the order of the header keys.
struct hdrvals {
    int32_t bpp;       // "Bytes per pixel": 1, 2 or 8
    int32_t slices;    // "Size of dimension[0]": 1..10000
    int32_t columns;   // "Size of dimension[1]": 1..10000
    int32_t rows;      // "Size of dimension[2]": 1..10000
    int32_t channels;  // "Number of channels": 1, 3 or 4
};

// The file name that an operation opens: `name` with `own` suffix,
// replacing a final `replaced` suffix (may be null).  Malloc'd; null
// when memory cannot be had.
char *suffixed(const char *name, const char *own, const char *replaced);

// Open a file for reading without blocking (a FIFO with no writer would
// hold a plain open forever); -1 when it cannot be opened.  *size: its
// bytes when it is a regular file, else -1.
int openin(const char *path, int64_t *size);
// Open a text file so: st_ok, st_open (cannot be opened) or st_bad (not a
// regular file, the only kind read as text).
int opentext(const char *path, FILE **f);

// Read and validate the header file of `name`.  Anything but a regular
// file reads as empty, so it is invalid.  The values are set to
// their presets first; st_ok, st_open or st_bad.
int getheader(const char *name, hdrvals *hv);

// Read slice `slice` (from 1) of `pps` voxels from the data file of
// `name` into `buf`: signed 16-bit voxels (getslice2) or bytes
// (getslice1).  `bpp` must be the reader's width.
int getslice2(const char *name, int32_t bpp, int32_t pps, int32_t slice, int16_t *buf);
int getslice1(const char *name, int32_t bpp, int32_t pps, int32_t slice, uint8_t *buf);

// An open data file, for reading many slices or parts of slices with one
// open.  The statuses are those that the slice readers give.
struct datafile {
    int fd;
    bool regular;  // a regular file, whose size is known
    int64_t size;  // bytes, when regular
};
// st_width (bpp is not `width`; nothing opened), st_open, st_seek (the
// file cannot be positioned, as a pipe) or st_ok.
int opendata(const char *name, int32_t bpp, int32_t width, datafile *df);
// Read `bytes` bytes on from where the last read ended, or from byte
// `pos`; st_bad when the file ends first or reading fails.
int readdata(datafile *df, void *buf, int64_t bytes);
int preaddata(datafile *df, int64_t pos, void *buf, int64_t bytes);
void closedata(datafile *df);

// Open the image data file of `name` (2 bytes a voxel, sizes from hv)
// and find the first slice that it cannot hold whole: 1 when it cannot
// be opened or is not a regular file, 0 when it holds every slice.
int32_t opencheck(const char *name, const hdrvals &hv, datafile *df);

// An output file written whole or not at all: bytes go to an exclusive,
// hidden temporary file beside the destination (a link's final target;
// the link stays), synced and then renamed over it.  A device or a FIFO
// is written directly.  A failure at any step leaves the destination as
// it was and removes the temporary file.
struct outfile {
    int fd;
    char *dest;  // the file that is replaced
    char *tmp;   // the temporary file; null when written directly
};
// st_ok, or st_open: the destination is a folder or a file that may not
// be written, or no temporary file can be made beside it.
int openout(const char *path, outfile *o);
// st_ok or st_bad.
int writeout(outfile *o, const void *buf, int64_t bytes);
// Sync and close (st_ok or st_bad); then rename into place (st_ok or
// st_bad).  dropout removes what is left and frees; any state.
int finishout(outfile *o);
int placeout(outfile *o);
void dropout(outfile *o);
// finishout, placeout and dropout: st_ok or st_bad.
int commitout(outfile *o);
// The whole file at once: st_ok, st_open or st_bad.
int writefile(const char *path, const void *buf, int64_t bytes);
// Two files that belong together: both synced and checked before either
// is renamed; when the second cannot be placed the first is put back as
// it was.  Both are dropped; st_ok or st_bad.
int placepair(outfile *first, outfile *second);

// Write the seed box file of `name` (".vroi" appended when missing).
// st_ok, st_open (cannot be created) or st_bad (a write or the sync
// failed); on failure an existing file is left as it was.
int writevroi(const char *name, double x0, double x1, double y0, double y1,
              double z0, double z1);

// Read the seed box file of `name` (".vroi" appended when missing): the
// ten lines that writevroi writes, CR LF or LF, into x0, x1, y0, y1, z0,
// z1.  st_ok, st_open (missing), or st_bad for any other content (or a
// file that is not a regular file).
int getvroi(const char *name, double box[6]);

// Write an image pair, for the tool's helper programs: the header file
// of `name` from hv at once, then the data file's bytes in order, then
// both placed together (the data file first, so that a header in place
// always has its data).  st_ok, st_open or st_bad; a failed pair leaves
// an existing pair as it was.
struct pairout {
    outfile hd, im;
};
int openpair(const char *name, const hdrvals *hv, pairout *p);
int putvoxels(pairout *p, const void *buf, int64_t bytes);
int placeimage(pairout *p);
void droppair(pairout *p);
// All of it at once: `bytes` bytes of voxels.
int writeimage(const char *name, const hdrvals *hv, const void *data, int64_t bytes);

#endif
