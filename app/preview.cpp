#include "app/preview.h"

#include "app/core/preview_scale.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// A read of `size` bytes at `offset` of the page file into `dest`; how many
// arrived (0 on any failure: the rows then show white, like a short file).
// A seek and plain reads: a read given its offset (OVERLAPPED) costs many
// times more under Wine.
size_t readAt(HANDLE file, uint64_t offset, uint8_t* dest, size_t size)
{
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN))
        return 0;
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const DWORD chunk = DWORD(std::min<size_t>(size - done, 1u << 30));
        if (!ReadFile(file, dest + done, chunk, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}

// The rows of the page file as the scaling asks for them: each row, or pair
// of adjacent rows, is read when asked for into a buffer of two rows, so
// only the rows the preview samples are read, and no memory the size of the
// page is touched. What a short file does not supply is white.
class FileRows : public PageRowSource {
public:
    FileRows(HANDLE file, const PageImageHeader& header)
        : m_file(file), m_header(header), m_rowBytes(pageImageRowBytes(header)),
          // Two rows with one read where the padding between them is small
          // (a hostile stride could be huge), else one read each.
          m_pitch(header.stride <= 2 * m_rowBytes ? header.stride : m_rowBytes),
          m_buffer(new (std::nothrow) uint8_t[m_pitch + m_rowBytes])
    {
    }
    bool usable() const { return m_buffer != nullptr; }

    const uint8_t* rows(uint32_t first, uint32_t count, ptrdiff_t& pitch) override
    {
        pitch = ptrdiff_t(m_pitch);
        if (m_count > 0 && first == m_first && count <= m_count)
            return m_buffer.get();
        if (m_pitch == m_header.stride) {
            const size_t got = readAt(m_file, pageImageRowOffset(m_header, first), m_buffer.get(),
                                      (count - 1) * m_pitch + m_rowBytes);
            finishPageImageBlock(m_header, m_buffer.get(), count, got);
        } else {
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t* row = m_buffer.get() + i * m_pitch;
                finishPageImageBlock(m_header, row, 1,
                                     readAt(m_file, pageImageRowOffset(m_header, first + i), row, m_rowBytes));
            }
        }
        m_first = first;
        m_count = count;
        return m_buffer.get();
    }

private:
    HANDLE m_file;
    PageImageHeader m_header;
    size_t m_rowBytes;
    size_t m_pitch;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_first = 0, m_count = 0;
};

using Solvaris_Win32::GdiObject;
using Solvaris_Win32::MemoryDc;
using Solvaris_Win32::UniqueHandle;

} // namespace

// Running out of memory anywhere here leaves the page without a preview; the
// dialog goes on without it.
std::unique_ptr<PreviewBitmap> PreviewBitmap::load(const std::wstring& path, PageImageCheck* check)
{
    std::unique_ptr<PreviewBitmap> preview = open(path, check);
    if (!preview || !preview->readAllRows())
        return nullptr;
    return preview;
}

std::unique_ptr<PreviewBitmap> PreviewBitmap::open(const std::wstring& path, PageImageCheck* check)
{
    PageImageCheck dummy;
    PageImageCheck& result = check ? *check : dummy;
    result = PageImageCheck::Truncated;
    // Held open while the dialog shows the page: nobody may change it
    // meanwhile, but it may be deleted.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, kOpenFlags, nullptr));
    if (!file)
        return nullptr;
    uint8_t bytes[kPageImageHeaderSize];
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes, DWORD(sizeof bytes), &got, nullptr))
        return nullptr;
    PageImageHeader header;
    result = parsePageImageHeader(bytes, got, header);
    if (result != PageImageCheck::Ok)
        return nullptr;
    std::unique_ptr<PreviewBitmap> preview(new (std::nothrow) PreviewBitmap());
    if (!preview)
        return nullptr;
    preview->m_width = header.width;
    preview->m_height = header.height;
    // GDI+'s layout for 24-bit rows (the tests' reference paint hands this
    // memory to it as it is): 3 x width bytes, padded to a multiple of 4.
    // The header's checks bound the sides, so this cannot overflow.
    preview->m_stride = (size_t(header.width) * 3 + 3) & ~size_t(3);
    preview->m_header = header;
    preview->m_file = std::move(file);
    return preview;
}

bool PreviewBitmap::readAllRows()
{
    if (m_pixels)
        return true;
    if (!m_file)
        return false;
    m_pixels.reset(new (std::nothrow) uint8_t[m_stride * m_height]);
    if (!m_pixels)
        return false;
    if (m_header.stride == m_stride) {
        // Laid out like ours: straight into the bitmap's memory with one read.
        const size_t got = readAt(m_file.get(), kPageImageHeaderSize, m_pixels.get(), m_stride * m_height);
        finishPageImageBlock(m_header, m_pixels.get(), m_height, got);
    } else {
        // Padded otherwise: row by row, as the scaling reads them.
        FileRows rows(m_file.get(), m_header);
        if (!rows.usable()) {
            m_pixels.reset();
            return false;
        }
        ptrdiff_t pitch = 0;
        for (uint32_t r = 0; r < m_height; ++r)
            std::memcpy(m_pixels.get() + r * m_stride, rows.rows(r, 1, pitch), pageImageRowBytes(m_header));
    }
    m_file.reset();
    return true;
}

HBITMAP PreviewBitmap::scaledCopy(const PreviewRect& where, HBRUSH background)
{
    if (where.x < 0 || where.y < 0 || where.width <= 0 || where.height <= 0 || where.x > 4096 - where.width ||
        where.y > 4096 - where.height)
        return nullptr;
    if (m_scaled && m_scaledRect == where && m_scaledBackground == background)
        return m_scaled.get();
    const int width = where.x + where.width, height = where.y + where.height;
    m_scaledDc.reset();
    m_scaled.reset();
    // The page scaled onto the same background as a direct paint, only into
    // memory and by our own code (drawScaledPage gives GDI+'s pixels without
    // its full-size 32-bit copy of the page), from the page in memory when
    // it was read whole, else from the rows it samples, read from the file:
    // partly covered edge pixels blend exactly as they would on the screen.
    MemoryDc mem(CreateCompatibleDC(nullptr));
    if (!mem)
        return nullptr;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    GdiObject<HBITMAP> copy(CreateDIBSection(mem.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy || !bits)
        return nullptr;
    // The copy stays selected into the context for every later paint.
    if (!SelectObject(mem.get(), copy.get()))
        return nullptr;
    const RECT all = {0, 0, width, height};
    FillRect(mem.get(), &all, background ? background : GetSysColorBrush(COLOR_3DFACE));
    GdiFlush();
    if (m_pixels) {
        drawScaledPage(m_pixels.get(), m_width, m_height, ptrdiff_t(m_stride), where, static_cast<uint32_t*>(bits),
                       size_t(width), width, height);
    } else {
        if (!m_file)
            return nullptr;
        FileRows rows(m_file.get(), m_header);
        if (!rows.usable())
            return nullptr;
        drawScaledPage(rows, m_width, m_height, where, static_cast<uint32_t*>(bits), size_t(width), width, height);
    }
    m_scaled = std::move(copy);
    m_scaledDc = std::move(mem);
    m_scaledRect = where;
    m_scaledBackground = background;
    return m_scaled.get();
}

bool PreviewBitmap::drawScaledCopy(HDC dc, const PreviewRect& where, HBRUSH background)
{
    return scaledCopy(where, background) &&
           BitBlt(dc, where.x, where.y, where.width, where.height, m_scaledDc.get(), where.x, where.y, SRCCOPY);
}

PreviewFit paintPreview(HDC dc, const RECT& frame, PreviewBitmap* bitmap, HBRUSH background, int outlineWidth,
                        bool highContrast)
{
    const UINT w = bitmap ? bitmap->width() : 0;
    const UINT h = bitmap ? bitmap->height() : 0;
    PreviewFit fit = fitPreview(frame.left, frame.top, frame.right, frame.bottom, w, h, outlineWidth);
    const PreviewRect& p = fit.picture;

    const bool drawn = bitmap && fit.fitted && bitmap->drawScaledCopy(dc, p, background);
    auto fill = [dc](int x, int y, int width, int height, HBRUSH brush) {
        const RECT r = {x, y, x + width, y + height};
        FillRect(dc, &r, brush);
    };
    // Paper and ink: white and black, or the scheme's window colours while
    // high contrast is on (the page's own picture is shown as it is).
    const HBRUSH paper =
        highContrast ? GetSysColorBrush(COLOR_WINDOW) : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    const HBRUSH ink =
        highContrast ? GetSysColorBrush(COLOR_WINDOWTEXT) : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    // No bitmap, no usable size, or it could not be drawn: a blank page.
    if (!drawn)
        fill(p.x, p.y, p.width, p.height, paper);
    // The outline as four filled bands around the picture: whole pixels at
    // every thickness (a thick pen would straddle the picture's edge).
    const PreviewRect& o = fit.outline;
    const int t = fit.outlineWidth;
    fill(o.x, o.y, o.width, t, ink);
    fill(o.x, p.y + p.height, o.width, t, ink);
    fill(o.x, p.y, t, p.height, ink);
    fill(p.x + p.width, p.y, t, p.height, ink);
    return fit;
}

RECT previewFrameRect(HWND dialog, int frameId)
{
    RECT r = {};
    HWND frame = GetDlgItem(dialog, frameId);
    if (!frame)
        return r;
    GetWindowRect(frame, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
