#include "driver.h"

#ifdef __x86_64__
#include <immintrin.h>
#endif

triple middle(const hdrvals &hv)
{
    return {hv.columns / 2, hv.rows / 2, hv.slices / 2};
}

// Count and sum of x of the non-zero bytes of row[x..columns), added to
// *count and *sumx: the tail after the vector steps.
static void scalarsums(const uint8_t *row, int32_t x, int32_t columns, uint64_t *count,
                       uint64_t *sumx)
{
    for (; x < columns; x++) {
        uint64_t on = row[x] != 0;
        *count += on;
        *sumx += on * (uint64_t)x;
    }
}

#ifdef __x86_64__
// Vector steps of W bytes (16 SSE2, 32 AVX2; the two differ only in
// their intrinsics): psadbw adds the bytes of (nonzero & 1) into the
// count and of (nonzero & position) into the sum of positions within the
// step.  The step's start, W b, is added through a running count: the
// sum over steps of b * c_b is B * C - (sum of the prefix counts).
static uint64_t total128(__m128i a)
{
    return (uint64_t)_mm_cvtsi128_si64(a) + (uint64_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(a, a));
}

static void rowsums16(const uint8_t *row, int32_t columns, uint64_t *count, uint64_t *sumx)
{
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(1);
    const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m128i cnt = zero, pre = zero, pos = zero;
    int32_t steps = columns / 16;
    for (int32_t b = 0; b < steps; b++) {
        __m128i isz = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i *)(row + 16 * b)), zero);
        cnt = _mm_add_epi64(cnt, _mm_sad_epu8(_mm_andnot_si128(isz, ones), zero));
        pos = _mm_add_epi64(pos, _mm_sad_epu8(_mm_andnot_si128(isz, iota), zero));
        pre = _mm_add_epi64(pre, cnt);
    }
    *count = total128(cnt);
    *sumx = 16 * ((uint64_t)steps * *count - total128(pre)) + total128(pos);
    scalarsums(row, 16 * steps, columns, count, sumx);
}

__attribute__((target("avx2"))) static uint64_t total256(__m256i a)
{
    return total128(_mm256_castsi256_si128(a)) + total128(_mm256_extracti128_si256(a, 1));
}

__attribute__((target("avx2"))) static void rowsums32(const uint8_t *row, int32_t columns,
                                                      uint64_t *count, uint64_t *sumx)
{
    const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi8(1);
    const __m256i iota = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    __m256i cnt = zero, pre = zero, pos = zero;
    int32_t steps = columns / 32;
    for (int32_t b = 0; b < steps; b++) {
        __m256i isz = _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i *)(row + 32 * b)), zero);
        cnt = _mm256_add_epi64(cnt, _mm256_sad_epu8(_mm256_andnot_si256(isz, ones), zero));
        pos = _mm256_add_epi64(pos, _mm256_sad_epu8(_mm256_andnot_si256(isz, iota), zero));
        pre = _mm256_add_epi64(pre, cnt);
    }
    *count = total256(cnt);
    *sumx = 32 * ((uint64_t)steps * *count - total256(pre)) + total256(pos);
    scalarsums(row, 32 * steps, columns, count, sumx);
}
#endif

int rowvector()
{
#ifdef __x86_64__
    static const int best = __builtin_cpu_supports("avx2") ? 32 : 16;
    return best;
#else
    return 1;
#endif
}

void rowsums(const uint8_t *row, int32_t columns, int vec, uint64_t *count, uint64_t *sumx)
{
#ifdef __x86_64__
    if (vec == 32)
        return rowsums32(row, columns, count, sumx);
    if (vec == 16)
        return rowsums16(row, columns, count, sumx);
#endif
    *count = *sumx = 0;
    scalarsums(row, 0, columns, count, sumx);
}

void addmask(masksums *m, const uint8_t *rowsbuf, int32_t columns, int32_t y0, int32_t nrows,
             int32_t z)
{
    int64_t n = 0;
    int vec = rowvector();
    for (int32_t r = 0; r < nrows; r++) {
        uint64_t rn, rx;
        rowsums(rowsbuf + (int64_t)r * columns, columns, vec, &rn, &rx);
        m->sx += (int64_t)rx;
        m->sy += (int64_t)rn * (y0 + r);
        n += (int64_t)rn;
    }
    m->sz += n * z;
    m->n += n;
}

// The sums are exact integers below 2^53, so converting them and dividing
// in double gives the same quotient as summing in double voxel by voxel.
triple centroid(const masksums &m)
{
    double n = (double)m.n;
    return {(int32_t)((double)m.sx / n), (int32_t)((double)m.sy / n),
            (int32_t)((double)m.sz / n)};
}
