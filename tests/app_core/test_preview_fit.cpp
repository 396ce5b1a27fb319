// The preview's fit and centring inside its frame, and the outline around
// it: the picture grown by the outline's width on every side (one pixel at
// 96 dpi: columns x-1 and x+w, rows y-1 and y+h).
#include "app/core/preview_fit.h"

#include <gtest/gtest.h>

TEST(PreviewFit, FitsCentresAndOutlines)
{
    struct Case {
        const char* what;
        int left, top, right, bottom;
        uint32_t w, h;
        bool fitted;
        PreviewRect picture, outline;   // outline {0, 0, 0, 0}: not checked
    } cases[] = {
        // 3508 x 120 >= 2480 x 120: full height, width 2480*120/3508 = 84.8 -> 84.
        {"A4 portrait", 10, 20, 130, 140, 2480, 3508, true, {10 + 18, 20, 84, 120}, {27, 19, 86, 122}},
        {"A4 landscape", 10, 20, 130, 140, 3508, 2480, true, {10, 20 + 18, 120, 84}, {9, 37, 122, 86}},
        {"equal proportions take the height branch", 0, 0, 100, 50, 40, 20, true, {0, 0, 100, 50}, {}},
        {"odd leftover truncates the half", 0, 0, 101, 100, 1, 1, true, {0, 0, 100, 100}, {}},
        {"tiny page is scaled up", 0, 0, 120, 120, 1, 2, true, {30, 0, 60, 120}, {}},
        {"huge page does not overflow", 0, 0, 126, 131, 32768, 32768, true, {0, 2, 126, 126}, {}},
        // No usable image size: the whole frame, no division by zero.
        {"no image", 7, 9, 127, 139, 0, 0, false, {7, 9, 120, 130}, {6, 8, 122, 132}},
        {"zero width", 7, 9, 127, 139, 0, 100, false, {7, 9, 120, 130}, {6, 8, 122, 132}},
        {"zero height", 7, 9, 127, 139, 100, 0, false, {7, 9, 120, 130}, {6, 8, 122, 132}},
        // A collapsed frame has nothing to fit into either.
        {"collapsed frame", 5, 5, 5, 5, 100, 100, false, {5, 5, 0, 0}, {}},
    };
    for (const Case& c : cases) {
        PreviewFit f = fitPreview(c.left, c.top, c.right, c.bottom, c.w, c.h);
        EXPECT_EQ(f.fitted, c.fitted) << c.what;
        EXPECT_EQ(f.picture, c.picture) << c.what << ": got " << f.picture.x << "," << f.picture.y << " "
                                        << f.picture.width << "x" << f.picture.height;
        if (c.outline.width) {
            EXPECT_EQ(f.outline, c.outline) << c.what;
        }
    }
}

TEST(PreviewFit, OutlineGrowsWithItsWidth)
{
    struct Case {
        int width, expectedWidth;
        PreviewRect outline;
    } cases[] = {
        {1, 1, {27, 19, 86, 122}},
        {2, 2, {26, 18, 88, 124}},   // 192 dpi
        {3, 3, {25, 17, 90, 126}},
        {0, 1, {27, 19, 86, 122}},   // never thinner than one pixel
        {-4, 1, {27, 19, 86, 122}},
        {1000, 64, {28 - 64, 20 - 64, 84 + 128, 120 + 128}},
    };
    for (const Case& c : cases) {
        PreviewFit f = fitPreview(10, 20, 130, 140, 2480, 3508, c.width);
        EXPECT_EQ(f.picture, (PreviewRect{28, 20, 84, 120})) << c.width << ": the picture does not move";
        EXPECT_EQ(f.outlineWidth, c.expectedWidth) << c.width;
        EXPECT_EQ(f.outline, c.outline) << c.width;
    }
}
