#include "nii2im.h"

#include <cmath>

// The output's direction codes for x, y and slices, and their opposites.
static const int want[3] = {NIFTI_R2L, NIFTI_A2P, NIFTI_I2S};
static const int opposite[3] = {NIFTI_L2R, NIFTI_P2A, NIFTI_S2I};

axismap orientation(const niihdr &h)
{
    axismap m = {{0, 1, 2}, {false, false, false}, false};
    nifti_dmat44 r;
    if (h.scode > 0) {
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                r.m[i][j] = i < 3 ? h.srow[i][j] : i == j;
    } else if (h.qcode > 0) {
        const double *q = h.quatern;
        r = nifti_quatern_to_dmat44(q[0], q[1], q[2], q[3], q[4], q[5], h.pixdim[1], h.pixdim[2],
                                    h.pixdim[3], h.pixdim[0] < 0 ? -1 : 1);
    } else {
        return m;
    }
    // The library's choice: the input axes' directions made perpendicular
    // (i kept, then j and k straightened against those before them), and
    // of the 48 ways to give each output axis one input axis, forward or
    // backward, the one with the largest sum of cosines between each
    // input axis and its output direction.  A fit of all three at once,
    // which on oblique files beats taking each axis's nearest.
    int cod[3] = {0, 0, 0};
    nifti_dmat44_to_orientation(r, &cod[0], &cod[1], &cod[2]);
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
