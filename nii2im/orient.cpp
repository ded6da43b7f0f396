#include "nii2im.h"

#include <cmath>

// The output's direction codes for x, y and slices, and their opposites.
static const int want[3] = {NIFTI_R2L, NIFTI_A2P, NIFTI_I2S};
static const int opposite[3] = {NIFTI_L2R, NIFTI_P2A, NIFTI_S2I};

axismap orientation(const nifti_image *nim)
{
    axismap m = {{0, 1, 2}, {false, false, false}, false};
    const nifti_dmat44 *r = nim->sform_code > 0   ? &nim->sto_xyz
                            : nim->qform_code > 0 ? &nim->qto_xyz
                                                  : nullptr;
    if (!r)
        return m;
    int cod[3] = {0, 0, 0};
    nifti_dmat44_to_orientation(*r, &cod[0], &cod[1], &cod[2]);
    axismap o = {{-1, -1, -1}, {false, false, false}, true};
    for (int out = 0; out < 3; out++)
        for (int in = 0; in < 3; in++)
            if (cod[in] == want[out] || cod[in] == opposite[out]) {
                o.axis[out] = in;
                o.flip[out] = cod[in] == opposite[out];
            }
    // A degenerate matrix names no direction, or one twice.
    if (o.axis[0] < 0 || o.axis[1] < 0 || o.axis[2] < 0)
        return m;
    return o;
}
