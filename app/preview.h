// The page preview of the configuration dialog: the page image file loaded
// into a 24-bit GDI+ bitmap, and painting it fitted into the frame control.
// GDI+ must have been started (the entry does so) before any of this runs.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "app/core/page_image.h"
#include "app/core/preview_fit.h"
#include "app/gdiplus_flat.h"

class PreviewBitmap {
public:
    ~PreviewBitmap();
    PreviewBitmap(const PreviewBitmap&) = delete;
    PreviewBitmap& operator=(const PreviewBitmap&) = delete;

    // Loads the page image file. Returns null when the file cannot be opened,
    // its header is short or fails the checks of page_image.h, or the bitmap
    // cannot be created or locked; `check` (when given) tells which header
    // check failed. A file that ends inside the pixel rows still gives a
    // bitmap: the missing rows stay as GDI+ created them.
    static std::unique_ptr<PreviewBitmap> load(const std::wstring& path,
                                               PageImageCheck* check = nullptr);

    UINT width() const;
    UINT height() const;
    GpBitmap* bitmap() const { return bitmap_; }

    // The page scaled to width x height with GDI+'s default interpolation,
    // kept for the next call with the same size (the dialog's frame does not
    // change, so scaling happens once instead of at every paint). Null when it
    // cannot be made.
    GpBitmap* scaledCopy(int width, int height);

private:
    explicit PreviewBitmap(GpBitmap* bitmap) : bitmap_(bitmap) {}
    GpBitmap* bitmap_ = nullptr;
    GpBitmap* scaled_ = nullptr;
    int scaledWidth_ = 0;
    int scaledHeight_ = 0;
};

// How paintPreview draws the page: from the kept scaled copy (the dialog's
// way), or scaling the full page at every call (the reference the copy must
// match, also used when the copy cannot be made).
enum class PreviewPaint { Cached, Direct };

// Paints the preview into `dc` for the frame rectangle `frame` (in the DC's
// coordinates): the fitted page, or opaque white over the whole frame when
// there is no bitmap, and the one-pixel black outline just outside. Returns
// the rectangles used.
PreviewFit paintPreview(HDC dc, const RECT& frame, PreviewBitmap* bitmap,
                        PreviewPaint how = PreviewPaint::Cached);

// The frame control's rectangle in the client coordinates of `dialog`.
RECT previewFrameRect(HWND dialog, int frameId);
