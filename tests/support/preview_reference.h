// The page preview scaled by GDI+ straight from the whole page in memory:
// the reference the dialog's kept copy must match pixel for pixel, and the
// benchmarks' baseline for scaling a page. The caller starts GDI+.
#pragma once
#include <windows.h>

#include "app/preview.h"
#include "baselib/svr_handle_win.h"
#include "gdiplus_flat.h"

namespace uitest {

// Draws `page` (read whole first) scaled into `where` of `dc`, over what
// the context holds there. False when it could not be drawn.
inline bool paintScaledByGdiplus(HDC dc, const PreviewRect& where, PreviewBitmap& page)
{
    using Graphics =
        Solvaris_Win32::Owned<GpGraphics*, Solvaris_Win32::NullOrReleased<GpGraphics*, GdipDeleteGraphics>>;
    struct ImageTraits {
        static GpBitmap* none() { return nullptr; }
        static bool valid(GpBitmap* b) { return b != nullptr; }
        static void free(GpBitmap* b) { GdipDisposeImage(asImage(b)); }
    };
    Graphics g;
    Solvaris_Win32::Owned<GpBitmap*, ImageTraits> image;
    return page.readAllRows() &&
           GdipCreateBitmapFromScan0(INT(page.width()), INT(page.height()), INT(page.stride()), kGpPixelFormat24bppRGB,
                                     const_cast<BYTE*>(page.pixels()), image.put()) == kGpOk &&
           GdipCreateFromHDC(dc, g.put()) == kGpOk &&
           GdipDrawImageRectRectI(g.get(), asImage(image.get()), where.x, where.y, where.width, where.height, 0, 0,
                                  INT(page.width()), INT(page.height()), kGpUnitPixel, nullptr, nullptr,
                                  nullptr) == kGpOk;
}

} // namespace uitest
