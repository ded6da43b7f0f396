#include "seedpng.h"

#include <csetjmp>
#include <cstdlib>
#include <png.h>

// libpng hands the encoded bytes here, to go through the output file.
static void pngbytes(png_structp png, png_bytep data, png_size_t n)
{
    outfile *o = (outfile *)png_get_io_ptr(png);
    if (writeout(o, data, (int64_t)n) != st_ok)
        png_error(png, "write failed");
}

static void pngflush(png_structp) {}

// libpng's own lines would go to standard error: a failure is reported
// by the caller in one line of its own, and warnings change nothing in
// the picture, so both are kept quiet.
static void pngfail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

static void pngwarn(png_structp, png_const_charp) {}

// libpng reports errors by longjmp; this function holds nothing that
// needs a destructor, so the jump is safe.
static bool pngto(outfile *o, const picture &pic, uint8_t *row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngfail, pngwarn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, o, pngbytes, pngflush);
    png_set_IHDR(png, info, (png_uint_32)pic.width, (png_uint_32)pic.height, 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color pal[256];
    for (int i = 0; i < 256; i++) {
        uint32_t c = penrgb(i);
        pal[i] = {(png_byte)(c >> 16), (png_byte)(c >> 8), (png_byte)c};
    }
    png_set_PLTE(png, info, pal, 256);
    // Speed over size: the least compression (palette pictures are not
    // filtered).  Matching runs of one grey only would be as fast but
    // leaves a real scan's noise uncompressed: 455 KB for the head CT's
    // picture against 164 KB, which a cohort of thousands pays for.
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int32_t y = 0; y < pic.height; y++) {
        picturerow(pic, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writepng(const char *path, const picture &pic)
{
    uint8_t *row = (uint8_t *)malloc((size_t)pic.width);
    outfile o;
    if (!row || openout(path, &o) != st_ok) {
        free(row);
        return false;
    }
    bool ok = pngto(&o, pic, row);
    free(row);
    if (!ok) {
        dropout(&o);
        return false;
    }
    return commitout(&o) == st_ok;
}
