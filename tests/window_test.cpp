// The window of the image that a run holds: every voxel that the search
// can read must be there.  For centres at every face, edge and corner of
// images smaller and larger than the window, each candidate's measure
// over the window must equal its measure over the whole image; random
// voxels make any misplaced or missing voxel change some measure.
#include "testutil.h"

#include <cmath>
#include "../driver/driver.h"
#include "../seedsearch/seedsearch.h"

namespace {

class window : public tmpdir {};

TEST_F(window, holdseveryvoxelthesearchreads)
{
    struct {
        int columns, rows, slices;
    } sizes[] = {{40, 33, 45}, {9, 6, 4}, {25, 21, 27}, {3, 22, 28}, {1, 1, 1}};
    for (const auto &sz : sizes) {
        image im(sz.columns, sz.rows, sz.slices);
        randomfill(im, 99, -500, 2001);
        putimage(path("img"), im);
        hdrvals hv = {2, sz.slices, sz.columns, sz.rows, 1};
        volume whole = wholeview(im);
        volume v;
        ASSERT_TRUE(newvolume(&v, hv));
        datafile df;
        ASSERT_EQ(opendata(path("img").c_str(), 2, 2, &df), st_ok);
        // Centres as the tool makes them: x and y inside, z from 0 (the
        // middle of one slice) to slices.
        for (int cx : {0, sz.columns / 2, sz.columns - 1})
            for (int cy : {0, 1, sz.rows / 2, sz.rows - 2, sz.rows - 1})
                for (int cz : {0, 1, 2, sz.slices / 2, sz.slices - 1, sz.slices}) {
                    if (cy < 0 || cz < 0)
                        continue;
                    triple c = {cx, cy, cz};
                    setwindow(&v, c);
                    ASSERT_EQ(loadwindow(&v, &df), 0);
                    for (int x = cx - 14; x <= cx + 14; x++)
                        for (int y = cy - 7; y <= cy + 7; y++)
                            for (int z = cz - 7; z <= cz + 7; z++) {
                                int dx = x - cx, dy = y - cy, dz = z - cz;
                                if (dx * dx < 49 || dx * dx + dy * dy + dz * dz > 100)
                                    continue;
                                double a = meas(v, x, y, z), b = meas(whole, x, y, z);
                                if (std::isnan(b))
                                    ASSERT_TRUE(std::isnan(a));
                                else
                                    ASSERT_EQ(a, b) << sz.columns << "x" << sz.rows << "x"
                                                    << sz.slices << " centre " << cx << ","
                                                    << cy << "," << cz << " at " << x << ","
                                                    << y << "," << z;
                            }
                }
        closedata(&df);
        freevolume(&v);
    }
}

} // namespace
