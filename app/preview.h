// The page preview of the configuration dialog: the page image file, and
// painting it fitted into the frame control. The dialog opens the file and
// reads only the rows its scaled copy samples; the whole page is read into a
// 24-bit bitmap of its own only on request (load, readAllRows: the tests'
// GDI+ reference paint takes the page from there). Painting is plain GDI.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "app/core/page_image.h"
#include "app/core/preview_fit.h"
#include "baselib/svr_handle_win.h"

class PreviewBitmap {
public:
    ~PreviewBitmap() = default;
    PreviewBitmap(const PreviewBitmap&) = delete;
    PreviewBitmap& operator=(const PreviewBitmap&) = delete;

    // Loads the page image file: its rows are read straight into the
    // bitmap's memory (top row first, rows of 3 x width bytes padded to a
    // multiple of 4, GDI+'s 24-bit layout). Returns null when the file cannot
    // be opened, its header is short or fails the checks of page_image.h, or
    // the memory cannot be had; `check` (when given) tells which header check
    // failed. A file that ends inside the pixel rows still gives a bitmap:
    // what it did not supply is white (page_image.h). Running out of memory
    // gives null (nothing thrown, nothing left allocated).
    static std::unique_ptr<PreviewBitmap> load(const std::wstring& path,
                                               PageImageCheck* check = nullptr);
    // The page with only its header read (the dialog's way): the file stays
    // open, and the scaled copy is made from the rows it samples, read from
    // the file as the scaling asks for them (about two per row of the copy),
    // so a large page is never read, or held in memory, whole for its
    // preview. readAllRows() reads the whole page into memory.
    static std::unique_ptr<PreviewBitmap> open(const std::wstring& path, PageImageCheck* check = nullptr);
    // The flags the page file is opened with: the converter names it, and a
    // pipe of that name would be served by someone else, who may identify
    // the user but never act as the user.
    static const DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

    UINT width() const { return m_width; }
    UINT height() const { return m_height; }
    // The rows, `stride()` bytes apart; null until the whole page is read.
    const uint8_t* pixels() const { return m_pixels.get(); }
    size_t stride() const { return m_stride; }
    // Reads the whole page into memory (once; the file is closed then), for
    // a paint that takes the page itself. false when the memory cannot be
    // had.
    bool readAllRows();

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
    PreviewBitmap() = default;
    PageImageHeader m_header;
    // Open until the whole page is read.
    Solvaris_Win32::UniqueHandle m_file;
    std::unique_ptr<uint8_t[]> m_pixels;
    size_t m_stride = 0;
    UINT m_width = 0, m_height = 0;
    // The scaled copy stays selected into its own memory context, which is
    // released first.
    Solvaris_Win32::GdiObject<HBITMAP> m_scaled;
    Solvaris_Win32::MemoryDc m_scaledDc;
    PreviewRect m_scaledRect;
    HBRUSH m_scaledBackground = nullptr;
};

// Paints the preview into `dc` for the frame rectangle `frame` (in the DC's
// coordinates): the fitted page from its kept scaled copy, or opaque white
// over the picture when there is no bitmap or the copy cannot be made, and
// the black outline just outside (under high contrast: the scheme's window
// and window text colours instead, as `highContrast` says: the caller reads
// the scheme when the window opens and on WM_SYSCOLORCHANGE, not on every
// paint), `outlineWidth` pixels thick.
// `background` is what lies under the picture (the dialog's background
// brush); the copy is made over it. Plain GDI: one BitBlt, the outline as
// four filled bands. Returns the rectangles used.
PreviewFit paintPreview(HDC dc, const RECT& frame, PreviewBitmap* bitmap, HBRUSH background,
                        int outlineWidth = 1, bool highContrast = false);

// The frame control's rectangle in the client coordinates of `dialog`.
RECT previewFrameRect(HWND dialog, int frameId);
