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
#include "baselib/svr_handle_win.h"

class PreviewBitmap {
public:
    ~PreviewBitmap();
    PreviewBitmap(const PreviewBitmap&) = delete;
    PreviewBitmap& operator=(const PreviewBitmap&) = delete;

    // Loads the page image file. Returns null when the file cannot be opened,
    // its header is short or fails the checks of page_image.h, or the bitmap
    // cannot be created or locked; `check` (when given) tells which header
    // check failed. A file that ends inside the pixel rows still gives a
    // bitmap: the missing rows stay as GDI+ created them. Running out of
    // memory also gives null (nothing thrown, nothing left allocated).
    static std::unique_ptr<PreviewBitmap> load(const std::wstring& path,
                                               PageImageCheck* check = nullptr);

    UINT width() const { return width_; }
    UINT height() const { return height_; }
    GpBitmap* bitmap() const { return bitmap_; }

    // The picture as painting the page into `where` over `background` gives,
    // kept as a GDI bitmap (covering 0,0 to the picture's far corner) for the
    // next call with the same rectangle and background. The dialog's frame
    // does not change, so the page is scaled once instead of at every paint.
    // The copy is drawn at the picture's own position because GDI+ does not
    // place partly covered edge pixels the same way at every offset. Null
    // when it cannot be made.
    HBITMAP scaledCopy(const PreviewRect& where, HBRUSH background);
    // Copies the picture for `where` over `background` from the kept copy
    // into `dc` (made first when needed): one BitBlt from the memory
    // context that holds it. false when the copy cannot be made.
    bool drawScaledCopy(HDC dc, const PreviewRect& where, HBRUSH background);

private:
    static std::unique_ptr<PreviewBitmap> loadFile(const std::wstring& path, PageImageCheck* check);
    PreviewBitmap(GpBitmap* bitmap, UINT width, UINT height) : bitmap_(bitmap), width_(width), height_(height) {}
    GpBitmap* bitmap_ = nullptr;
    UINT width_ = 0, height_ = 0;
    // The scaled copy stays selected into its own memory context, which is
    // released first.
    Solvaris_Win32::GdiObject<HBITMAP> scaled_;
    Solvaris_Win32::MemoryDc scaledDc_;
    PreviewRect scaledRect_;
    HBRUSH scaledBackground_ = nullptr;
};

// Loads the page image file on a worker thread from the moment the dialog
// starts running, so that reading the page overlaps with creating the
// dialog's controls and filling its lists; initialisation then takes the
// bitmap where it always did. Without a thread the load happens in take().
class PreviewPrefetch {
public:
    PreviewPrefetch() = default;
    ~PreviewPrefetch();
    PreviewPrefetch(const PreviewPrefetch&) = delete;
    PreviewPrefetch& operator=(const PreviewPrefetch&) = delete;

    void start(const std::wstring& path);
    // The page (null as PreviewBitmap::load gives it): the worker's, waited
    // for if it still reads, or, when none was started, loaded from `path`
    // now.
    std::unique_ptr<PreviewBitmap> take(const std::wstring& path);

private:
    static DWORD WINAPI run(void* self);
    Solvaris_Win32::UniqueHandle thread_;
    std::wstring path_;
    std::unique_ptr<PreviewBitmap> result_;
};

// How paintPreview draws the page: from the kept scaled copy (the dialog's
// way), or scaling the full page at every call (the reference the copy must
// match pixel for pixel, also used when the copy cannot be made).
enum class PreviewPaint { Cached, Direct };

// Paints the preview into `dc` for the frame rectangle `frame` (in the DC's
// coordinates): the fitted page, or opaque white over the whole frame when
// there is no bitmap, and the black outline just outside, `outlineWidth`
// pixels thick. `background` is what lies under the picture (the dialog's
// background brush); the cached copy is drawn over it. A paint from the
// kept copy is plain GDI (one BitBlt, the outline as four filled bands);
// GDI+ draws only when the page is scaled directly. Returns the rectangles
// used.
PreviewFit paintPreview(HDC dc, const RECT& frame, PreviewBitmap* bitmap, HBRUSH background,
                        PreviewPaint how = PreviewPaint::Cached, int outlineWidth = 1);

// The frame control's rectangle in the client coordinates of `dialog`.
RECT previewFrameRect(HWND dialog, int frameId);
