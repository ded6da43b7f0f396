#include "seedpng.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

// libpng reports errors by longjmp; this function holds nothing that
// needs a destructor, so the jump is safe.
static bool pngto(FILE *f, const picture &pic, uint8_t *row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)pic.width, (png_uint_32)pic.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
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
    size_t n = strlen(path);
    char *tmp = (char *)malloc(n + 8);
    uint8_t *row = (uint8_t *)malloc((size_t)pic.width * 3);
    int fd = -1;
    if (tmp && row) {
        memcpy(tmp, path, n);
        memcpy(tmp + n, ".XXXXXX", 8);
        fd = mkstemp(tmp);
    }
    FILE *f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!f && fd >= 0)
        close(fd);
    bool ok = f && pngto(f, pic, row);
    if (f) {
        ok = fflush(f) == 0 && fsync(fileno(f)) == 0 && ok;
        ok = fclose(f) == 0 && ok;
    }
    // mkstemp makes the file private; a picture is for everyone to see.
    ok = ok && chmod(tmp, 0644) == 0 && rename(tmp, path) == 0;
    if (!ok && fd >= 0)
        unlink(tmp);
    free(tmp);
    free(row);
    return ok;
}
