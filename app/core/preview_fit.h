// Where the page preview goes inside its frame: the page is scaled to fit,
// keeping its proportions, and centred. Integer arithmetic with truncating
// divisions, so that every caller (the dialog, tests, benchmarks) gets the
// same pixels.
#pragma once
#include <cstdint>

struct PreviewRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PreviewRect& o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

struct PreviewFit {
    PreviewRect picture;   // where the page (or the white stand-in) is drawn
    // The black outline just outside the picture: the picture grown by
    // `outlineWidth` pixels on every side (the outline covers this rectangle
    // less the picture).
    PreviewRect outline;
    int outlineWidth = 1;
    bool fitted = false;   // false: no usable image size, the whole frame is used
};

// Fits an image of imageWidth x imageHeight pixels into the frame given by its
// left, top, right and bottom edges. When the page is at least as tall,
// relative to its width, as the frame, the picture takes the frame's height;
// otherwise its width. An image with a side of 0 (or no image at all) has no
// proportions to keep: the picture is then the whole frame, so the white
// stand-in fills it and no division by zero can happen. The outline is
// `outlineWidth` pixels thick (1 at 96 dpi, scaled with the display; less
// than 1 counts as 1, more than 64 as 64).
PreviewFit fitPreview(int left, int top, int right, int bottom,
                      uint32_t imageWidth, uint32_t imageHeight, int outlineWidth = 1);
