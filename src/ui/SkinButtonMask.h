#pragma once
// The shape a skin button takes from its mask picture: every maximal run of
// opaque pixels within one row becomes a rectangle one pixel high. Runs
// never continue into the next row; a run reaching the last column ends at
// the mask's width.

#include <vector>

struct MaskRun {
    int left;   // first opaque column
    int top;    // the row
    int right;  // just after the last opaque column
    int bottom; // top + 1
};

// Visits every pixel once, row by row, asking isOpaque(x, y), and returns the
// runs in that order (none for an empty mask or one without opaque pixels).
template <class IsOpaque> std::vector<MaskRun> collectMaskRuns(int width, int height, IsOpaque isOpaque)
{
    std::vector<MaskRun> runs;
    runs.reserve(40);
    for (int y = 0; y < height; ++y) {
        int start = -1;
        for (int x = 0; x < width; ++x) {
            bool opaque = isOpaque(x, y);
            if (opaque && start < 0) {
                start = x;
            } else if (!opaque && start >= 0) {
                runs.push_back(MaskRun{start, y, x, y + 1});
                start = -1;
            }
        }
        if (start >= 0)
            runs.push_back(MaskRun{start, y, width, y + 1});
    }
    return runs;
}
