#include "seedpng.h"

#include <csetjmp>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

bool newplanes(planes *p, const hdrvals &hv, triple at)
{
    *p = planes{hv.columns, hv.rows, hv.slices, at, nullptr, nullptr, nullptr};
    p->axial = (int16_t *)malloc((size_t)hv.rows * (size_t)hv.columns * 2);
    p->coronal = (int16_t *)malloc((size_t)hv.slices * (size_t)hv.columns * 2);
    p->sagittal = (int16_t *)malloc((size_t)hv.slices * (size_t)hv.rows * 2);
    if (p->axial && p->coronal && p->sagittal)
        return true;
    freeplanes(p);
    return false;
}

void freeplanes(planes *p)
{
    free(p->axial);
    free(p->coronal);
    free(p->sagittal);
    p->axial = p->coronal = p->sagittal = nullptr;
}

// The file is mapped a window of whole rows at a time: a file shortened
// while it is read raises SIGBUS on the mapping, which ends the read as
// a failed one instead of the run.
static sigjmp_buf busjump;

static void onbus(int)
{
    siglongjmp(busjump, 1);
}

// Takes from rows first .. first + n - 1 of the file (counted over all
// slices) the seed's column voxel and, on the seed's row, the whole row.
static void takerows(planes *p, const char *rows, int64_t first, int64_t n)
{
    int64_t rowbytes = (int64_t)p->columns * 2;
    for (int64_t i = 0; i < n; i++) {
        int64_t r = first + i, z = r / p->rows, y = r % p->rows;
        const char *row = rows + i * rowbytes;
        // Each voxel is a cache miss of its own: ask for later ones early.
        if (i + 16 < n)
            __builtin_prefetch(row + 16 * rowbytes + (int64_t)p->at.x * 2);
        memcpy(p->sagittal + r, row + (int64_t)p->at.x * 2, 2);
        if (y == p->at.y)
            memcpy(p->coronal + z * p->columns, row, (size_t)rowbytes);
    }
}

int32_t readplanes(planes *p, datafile *df)
{
    int64_t rowbytes = (int64_t)p->columns * 2, slicebytes = rowbytes * p->rows;
    if (preaddata(df, (int64_t)(p->at.z - 1) * slicebytes, p->axial, slicebytes) != st_ok)
        return p->at.z;
    // The row and column planes need one row and one voxel of every row
    // of every slice: read by mapping the file, which costs a page fault
    // where reading would copy every byte, in windows of about 8 MiB so
    // that memory stays bounded whatever the image's size.
    int64_t total = (int64_t)p->slices * p->rows, page = sysconf(_SC_PAGESIZE);
    int64_t per = (8 << 20) / rowbytes;
    per = per < 1 ? 1 : per;
    struct sigaction bus = {}, old;
    bus.sa_handler = onbus;
    sigemptyset(&bus.sa_mask);
    sigaction(SIGBUS, &bus, &old);
    // volatile: read again after a jump back from the handler.
    volatile int64_t first = 0;
    void *volatile map = MAP_FAILED;
    volatile size_t len = 0;
    int32_t bad = 0;
    if (sigsetjmp(busjump, 1)) {
        bad = (int32_t)(first / p->rows) + 1;
    } else {
        for (; first < total; first += per) {
            int64_t n = per < total - first ? per : total - first;
            int64_t at = first * rowbytes, start = at / page * page;
            len = (size_t)(at - start + n * rowbytes);
            map = mmap(nullptr, len, PROT_READ, MAP_SHARED | MAP_POPULATE, df->fd, (off_t)start);
            if (map == MAP_FAILED) {
                bad = (int32_t)(first / p->rows) + 1;
                break;
            }
            madvise(map, len, MADV_SEQUENTIAL);
            takerows(p, (const char *)map + (at - start), first, n);
            munmap(map, len);
            map = MAP_FAILED;
        }
    }
    if (map != MAP_FAILED)
        munmap(map, len);
    sigaction(SIGBUS, &old, nullptr);
    return bad;
}
