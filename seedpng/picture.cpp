#include "seedpng.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

boxvox boxvoxels(const double b[6])
{
    // Voxel centres lie at x + 0.5, y + 0.5 and z - 0.5: the box names the
    // voxels whose centres lie within its bounds.
    boxvox v;
    v.xa = (int32_t)ceil(b[0] - 0.5);
    v.xb = (int32_t)floor(b[1] - 0.5);
    v.ya = (int32_t)ceil(b[2] - 0.5);
    v.yb = (int32_t)floor(b[3] - 0.5);
    v.za = (int32_t)ceil(b[4] + 0.5);
    v.zb = (int32_t)floor(b[5] + 0.5);
    v.seed = {(v.xa + v.xb) / 2, (v.ya + v.yb) / 2, (v.za + v.zb) / 2};
    return v;
}

static void count(uint64_t *hist, const int16_t *v, int64_t n)
{
    for (int64_t i = 0; i < n; i++)
        hist[v[i] + 32768]++;
}

greywin greylevels(const planes &p)
{
    uint64_t *hist = (uint64_t *)calloc(65536, sizeof(uint64_t));
    if (!hist)
        return {-160, 240};
    count(hist, p.axial, (int64_t)p.rows * p.columns);
    count(hist, p.coronal, (int64_t)p.slices * p.columns);
    count(hist, p.sagittal, (int64_t)p.slices * p.rows);
    uint64_t n = 0;
    for (int32_t i = 0; i < 65536; i++)
        n += hist[i];
    // The values at ranks of 1% and 99% of the voxels.
    greywin w = {0, 0};
    uint64_t at1 = n / 100, at99 = n - 1 - n / 100, seen = 0;
    bool lo = false;
    for (int32_t i = 0; i < 65536; i++) {
        if (!hist[i])
            continue;
        seen += hist[i];
        if (!lo && seen > at1) {
            w.lo = i - 32768;
            lo = true;
        }
        if (seen > at99) {
            w.hi = i - 32768;
            break;
        }
    }
    free(hist);
    // Air in Hounsfield units: a CT, shown in a soft-tissue window.
    if (w.lo <= -500)
        w = {-160, 240};
    return w;
}

uint8_t grey(const greywin &w, int32_t v)
{
    // One value throughout: mid grey, anything else black or white.
    if (w.hi <= w.lo)
        return v < w.lo ? 0 : v > w.lo ? 255 : 128;
    if (v <= w.lo)
        return 0;
    if (v >= w.hi)
        return 255;
    return (uint8_t)lround((v - w.lo) * 255.0 / (w.hi - w.lo));
}

int32_t pixels(const picture &pic, int32_t n)
{
    return (int32_t)(((int64_t)n * pic.zoom + pic.skip - 1) / pic.skip);
}

// The picture's width and height at its scale.
static void sizes(const picture &pic, int64_t *w, int64_t *h)
{
    const planes &p = *pic.p;
    *w = 2 * (int64_t)pixels(pic, p.columns) + pixels(pic, p.rows) + 2 * pic.gap;
    *h = pixels(pic, p.rows > p.slices ? p.rows : p.slices);
}

static bool fits(const picture &pic)
{
    int64_t w, h;
    sizes(pic, &w, &h);
    return w <= maxside && h <= maxside;
}

uint8_t greypen(uint8_t g)
{
    return g == boxpen ? 0 : g == seedpen ? 255 : g;
}

uint32_t penrgb(int pen)
{
    uint32_t g = greypen((uint8_t)pen);
    return pen == boxpen ? boxcolour : pen == seedpen ? seedcolour : g << 16 | g << 8 | g;
}

picture layout(const planes &p, const boxvox &box)
{
    picture pic;
    pic.p = &p;
    pic.box = box;
    pic.win = greylevels(p);
    // A table of the greys: a picture of millions of pixels looks each up.
    pic.greys = (uint8_t *)malloc(65536);
    for (int32_t v = 0; pic.greys && v < 65536; v++)
        pic.greys[v] = greypen(grey(pic.win, v - 32768));
    pic.gap = 4;
    int32_t low = p.rows < p.slices ? p.rows : p.slices;
    pic.zoom = (minpanel + low - 1) / low;
    pic.skip = 1;
    while (pic.zoom > 1 && !fits(pic))
        pic.zoom--;
    while (!fits(pic))
        pic.skip++;
    int64_t w, h;
    sizes(pic, &w, &h);
    pic.width = (int32_t)w;
    pic.height = (int32_t)h;
    return pic;
}

void freepicture(picture *pic)
{
    free(pic->greys);
    pic->greys = nullptr;
}

// One panel: across (h) and down (v) in voxels, its voxels row after row
// (from the last row up when flip is set), the box's outline there (the
// box clipped to the panel; drawn only when the panel's plane cuts the
// box and the clipped box is not empty), and the seed's place, all in
// panel coordinates.
struct panel {
    const int16_t *vox;
    int32_t across, down;
    bool flip;
    bool drawn;
    int32_t ha, hb, va, vb;
    int32_t sh, sv;
};

static panel makepanel(const int16_t *vox, int32_t across, int32_t down, bool flip, bool cut,
                       int32_t ha, int32_t hb, int32_t va, int32_t vb, int32_t sh, int32_t sv)
{
    if (flip) {
        int32_t t = va;
        va = down - 1 - vb;
        vb = down - 1 - t;
        sv = down - 1 - sv;
    }
    panel pn = {vox, across, down, flip, false, clip(ha, 0, across - 1), clip(hb, 0, across - 1),
                clip(va, 0, down - 1), clip(vb, 0, down - 1), sh, sv};
    pn.drawn = cut && ha <= pn.hb && hb >= pn.ha && va <= pn.vb && vb >= pn.va;
    return pn;
}

static bool within(int32_t x, int32_t a, int32_t b)
{
    return x >= a && x <= b;
}

// Paints the pixels that show voxels h .. h + n - 1 across of a panel
// whose first pixel is `out`.
static void paint(const picture &pic, uint8_t *out, int32_t h, int32_t n, uint8_t pen)
{
    int64_t a = (int64_t)(h / pic.skip) * pic.zoom;
    int64_t b = (int64_t)((h + n - 1) / pic.skip + 1) * pic.zoom;
    memset(out + a, pen, (size_t)(b - a));
}

// One row of pixels of a panel, showing voxel rows v0 .. v1: the grey of
// the first voxel that each pixel covers, then the outline and the seed
// on every pixel that covers them.
static void panelrow(const picture &pic, const panel &pn, int32_t v0, int32_t v1, uint8_t *out)
{
    const int16_t *vox = pn.vox + (int64_t)(pn.flip ? pn.down - 1 - v0 : v0) * pn.across;
    for (int32_t h = 0, q = 0; h < pn.across; h += pic.skip, q += pic.zoom) {
        uint8_t pen = pic.greys ? pic.greys[vox[h] + 32768] : greypen(grey(pic.win, vox[h]));
        memset(out + q, pen, (size_t)pic.zoom);
    }
    if (pn.drawn && v1 >= pn.va && v0 <= pn.vb) {
        if (within(pn.va, v0, v1) || within(pn.vb, v0, v1)) {
            paint(pic, out, pn.ha, pn.hb - pn.ha + 1, boxpen);
        } else {
            paint(pic, out, pn.ha, 1, boxpen);
            paint(pic, out, pn.hb, 1, boxpen);
        }
    }
    if (within(pn.sv, v0, v1) && within(pn.sh, 0, pn.across - 1))
        paint(pic, out, pn.sh, 1, seedpen);
}

void picturerow(const picture &pic, int32_t py, uint8_t *row)
{
    const planes &p = *pic.p;
    const boxvox &b = pic.box;
    const triple &s = p.at;  // the seed, held inside the image
    // Slice z is row z - 1 of the slice planes, drawn head up.
    const panel panels[3] = {
        makepanel(p.axial, p.columns, p.rows, false, p.at.z >= b.za && p.at.z <= b.zb, b.xa, b.xb,
                  b.ya, b.yb, s.x, s.y),
        makepanel(p.coronal, p.columns, p.slices, true, p.at.y >= b.ya && p.at.y <= b.yb, b.xa,
                  b.xb, b.za - 1, b.zb - 1, s.x, s.z - 1),
        makepanel(p.sagittal, p.rows, p.slices, true, p.at.x >= b.xa && p.at.x <= b.xb, b.ya, b.yb,
                  b.za - 1, b.zb - 1, s.y, s.z - 1),
    };
    memset(row, 0, (size_t)pic.width);
    // The voxel rows this row of pixels shows.
    int32_t v0 = (int32_t)((int64_t)py * pic.skip / pic.zoom), v1 = v0 + pic.skip - 1, px = 0;
    for (const panel &pn : panels) {
        if (v0 < pn.down)
            panelrow(pic, pn, v0, v1 < pn.down - 1 ? v1 : pn.down - 1, row + px);
        px += pixels(pic, pn.across) + pic.gap;
    }
}
