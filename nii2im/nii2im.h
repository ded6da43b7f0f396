// nii2im: NIfTI files to the tool's image pairs.
#ifndef QUORRAL_NII2IM_H
#define QUORRAL_NII2IM_H

#include <nifti2_io.h>

#include <cstdint>

// Where each output axis comes from: output x (toward the patient's
// left), y (toward the back) and slices (toward the head) are input axes
// axis[0..2] (0 i, 1 j, 2 k), read backwards where flip is set.
struct axismap {
    int axis[3];
    bool flip[3];
    bool oriented;  // false: no usable orientation, stored order kept
};
axismap orientation(const nifti_image *nim);

// Values: the voxel at linear index i of data of the given type, as a
// double, and that value after scaling (scl_slope and scl_inter when the
// slope is set, for every type) with `add` added.  knowntype is false
// for types that have no single value (complex, RGB).
bool knowntype(int datatype);
double rawvalue(int datatype, const void *data, int64_t i);
double scaled(const nifti_image *nim, double raw, double add);
// Rounded to nearest and clamped to -32768..32767; *clamped counts the
// values that did not fit (NaN among them, written as 0).
int16_t toint16(double v, int64_t *clamped);

#endif
