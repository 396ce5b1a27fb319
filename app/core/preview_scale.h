// The page scaled into the preview, computed here instead of by GDI+: GDI+
// converts the whole source bitmap to 32 bits per pixel before it scales
// (under Wine), which for a 600 dpi page costs more memory than the page
// itself. The pixels are those of GDI+'s default drawing (bilinear sampling
// at each destination pixel's corner, 8-bit weights, samples beyond the
// page's edge transparent, the result laid over the background), computed in
// single precision in the same order, so that the scaled copy looks exactly
// as before.
#pragma once
#include <cstddef>
#include <cstdint>

#include "app/core/preview_fit.h"

// Where the scaling takes the page's rows from. Each destination row samples
// at most two adjacent source rows, and the rows are asked for from the top
// down, so a source may read them from a file as they are asked for.
class PageRowSource {
public:
    virtual ~PageRowSource() = default;
    // Rows `first` and, when `count` is 2, the one below it (each 3 x width
    // bytes, blue, green, red): the address of the first, and in `pitch`
    // the distance to the second. Valid until the next call.
    virtual const uint8_t* rows(uint32_t first, uint32_t count, ptrdiff_t& pitch) = 0;
};

// Draws the page (srcWidth x srcHeight pixels, its rows from `src`) scaled
// into the rectangle `where` of `dest`, an image of 32-bit pixels (blue,
// green, red, unused) with destPitch pixels per row whose size is destWidth
// x destHeight. Pixels of `where` outside `dest` are skipped; pixels the page
// does not cover keep the background that `dest` holds.
void drawScaledPage(PageRowSource& src, uint32_t srcWidth, uint32_t srcHeight, const PreviewRect& where,
                    uint32_t* dest, size_t destPitch, int destWidth, int destHeight);

// The same for a page in memory: row r at src + r * srcPitch.
void drawScaledPage(const uint8_t* src, uint32_t srcWidth, uint32_t srcHeight, ptrdiff_t srcPitch,
                    const PreviewRect& where, uint32_t* dest, size_t destPitch, int destWidth, int destHeight);
