// The preview's fit and centring inside its frame.
#include "app/core/preview_fit.h"

#include <gtest/gtest.h>

TEST(PreviewFit, FitsAndCentres)
{
    struct Case {
        const char* what;
        int left, top, right, bottom;
        uint32_t w, h;
        PreviewRect expected;
    } cases[] = {
        // 3508 x 120 >= 2480 x 120: full height, width 2480*120/3508 = 84.8 -> 84.
        {"A4 portrait", 10, 20, 130, 140, 2480, 3508, {10 + 18, 20, 84, 120}},
        {"A4 landscape", 10, 20, 130, 140, 3508, 2480, {10, 20 + 18, 120, 84}},
        {"equal proportions take the height branch", 0, 0, 100, 50, 40, 20, {0, 0, 100, 50}},
        {"odd leftover truncates the half", 0, 0, 101, 100, 1, 1, {0, 0, 100, 100}},
        {"tiny page is scaled up", 0, 0, 120, 120, 1, 2, {30, 0, 60, 120}},
        {"huge page does not overflow", 0, 0, 126, 131, 32768, 32768, {0, 2, 126, 126}},
    };
    for (const Case& c : cases) {
        PreviewFit f = fitPreview(c.left, c.top, c.right, c.bottom, c.w, c.h);
        EXPECT_TRUE(f.fitted) << c.what;
        EXPECT_EQ(f.picture, c.expected) << c.what << ": got " << f.picture.x << "," << f.picture.y
                                         << " " << f.picture.width << "x" << f.picture.height;
    }
}

TEST(PreviewFit, OutlineSurroundsThePictureOnePixelOutside)
{
    PreviewFit f = fitPreview(10, 20, 130, 140, 2480, 3508);
    // Drawn as a rectangle from (x-1, y-1) with size (w+1, h+1): its lines lie
    // on columns x-1 and x+w and rows y-1 and y+h.
    EXPECT_EQ(f.outline, (PreviewRect{27, 19, 85, 121}));
}

TEST(PreviewFit, NoUsableImageSizeUsesTheWholeFrame)
{
    struct Case {
        uint32_t w, h;
    } cases[] = {{0, 0}, {0, 100}, {100, 0}};
    for (const Case& c : cases) {
        PreviewFit f = fitPreview(7, 9, 127, 139, c.w, c.h);
        EXPECT_FALSE(f.fitted) << c.w << "x" << c.h;
        EXPECT_EQ(f.picture, (PreviewRect{7, 9, 120, 130})) << c.w << "x" << c.h;
        EXPECT_EQ(f.outline, (PreviewRect{6, 8, 121, 131})) << c.w << "x" << c.h;
    }
    // A collapsed frame has nothing to fit into either.
    PreviewFit f = fitPreview(5, 5, 5, 5, 100, 100);
    EXPECT_FALSE(f.fitted);
    EXPECT_EQ(f.picture, (PreviewRect{5, 5, 0, 0}));
}
