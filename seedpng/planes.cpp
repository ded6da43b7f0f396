#include "seedpng.h"

#include <cstdlib>

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

int32_t readplanes(planes *p, datafile *df)
{
    int64_t rowbytes = (int64_t)p->columns * 2, slicebytes = rowbytes * p->rows;
    if (preaddata(df, (int64_t)(p->at.z - 1) * slicebytes, p->axial, slicebytes) != st_ok)
        return p->at.z;
    for (int32_t z = 1; z <= p->slices; z++) {
        int64_t slice = (int64_t)(z - 1) * slicebytes;
        if (preaddata(df, slice + p->at.y * rowbytes, p->coronal + (int64_t)(z - 1) * p->columns,
                      rowbytes) != st_ok)
            return z;
        // One voxel from each row: a small read each, so that a picture
        // of a large scan reads a few megabytes, not the scan.
        int16_t *col = p->sagittal + (int64_t)(z - 1) * p->rows;
        for (int32_t y = 0; y < p->rows; y++)
            if (preaddata(df, slice + y * rowbytes + p->at.x * 2, col + y, 2) != st_ok)
                return z;
    }
    return 0;
}
