#include "nii2im.h"

#include <cmath>
#include <cstring>

template <typename T> static double at(const void *data, int64_t i)
{
    T v;
    memcpy(&v, (const char *)data + i * (int64_t)sizeof(T), sizeof v);
    return (double)v;
}

double rawvalue(int datatype, const void *data, int64_t i)
{
    switch (datatype) {
    case DT_INT8: return at<int8_t>(data, i);
    case DT_UINT8: return at<uint8_t>(data, i);
    case DT_INT16: return at<int16_t>(data, i);
    case DT_UINT16: return at<uint16_t>(data, i);
    case DT_INT32: return at<int32_t>(data, i);
    case DT_UINT32: return at<uint32_t>(data, i);
    case DT_INT64: return at<int64_t>(data, i);
    case DT_UINT64: return at<uint64_t>(data, i);
    case DT_FLOAT32: return at<float>(data, i);
    default: return at<double>(data, i);
    }
}

double scaled(const niihdr &h, double raw, double add)
{
    // A slope of 0 (or not finite) means no scaling; (1, 0) changes nothing.
    if (h.slope == 0 || !std::isfinite(h.slope))
        return raw + add;
    return raw * h.slope + (std::isfinite(h.inter) ? h.inter : 0) + add;
}

int16_t toint16(double v, int64_t *clamped)
{
    if (std::isnan(v)) {
        ++*clamped;
        return 0;
    }
    double r = std::nearbyint(v);
    if (r < -32768 || r > 32767) {
        ++*clamped;
        return r < 0 ? -32768 : 32767;
    }
    return (int16_t)r;
}
