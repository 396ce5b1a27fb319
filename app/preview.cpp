#include "app/preview.h"

#include "app/core/preview_scale.h"
#include "app/gdiplus_flat.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace {
// Buffered sequential reads of the page image file: rows arrive from a large
// buffer instead of one system call each, with the same bytes as a read and a
// relative seek per row. The buffer is taken without throwing: when memory
// is short, hasBuffer() is false and the caller shows no preview.
class FileSource : public ByteSource {
public:
    static constexpr size_t kBufferSize = 1 << 20;
    explicit FileSource(HANDLE file) : m_file(file), m_buffer(new (std::nothrow) uint8_t[kBufferSize]) {}
    ~FileSource() override { delete[] m_buffer; }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    bool hasBuffer() const { return m_buffer != nullptr; }

    size_t read(void* dest, size_t size) override
    {
        uint8_t* out = static_cast<uint8_t*>(dest);
        size_t done = 0;
        while (done < size) {
            if (m_pos == m_end) {
                if (size - done >= kBufferSize) {
                    // Large requests bypass the buffer.
                    size_t got = rawRead(out + done, size - done);
                    done += got;
                    if (got == 0)
                        break;
                    continue;
                }
                if (!fill())
                    break;
            }
            size_t n = std::min(size - done, m_end - m_pos);
            std::memcpy(out + done, &m_buffer[m_pos], n);
            m_pos += n;
            done += n;
        }
        return done;
    }

    bool skip(uint64_t size) override
    {
        size_t inBuffer = size_t(std::min<uint64_t>(size, m_end - m_pos));
        m_pos += inBuffer;
        size -= inBuffer;
        if (size == 0)
            return true;
        LARGE_INTEGER move;
        move.QuadPart = LONGLONG(std::min<uint64_t>(size, uint64_t(INT64_MAX)));
        // Seeking past the end succeeds; the next read then gives nothing.
        return SetFilePointerEx(m_file, move, nullptr, FILE_CURRENT) != 0;
    }

private:
    size_t rawRead(uint8_t* dest, size_t size)
    {
        size_t done = 0;
        while (done < size) {
            DWORD chunk = DWORD(std::min<size_t>(size - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(m_file, dest + done, chunk, &got, nullptr) || got == 0)
                break;
            done += got;
        }
        return done;
    }

    bool fill()
    {
        m_pos = 0;
        m_end = rawRead(m_buffer, kBufferSize);
        return m_end > 0;
    }

    HANDLE m_file;
    uint8_t* m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
};

void disposeBitmap(GpBitmap* bitmap) { GdipDisposeImage(asImage(bitmap)); }
using Graphics = Solvaris_Win32::Owned<GpGraphics*, Solvaris_Win32::NullOrReleased<GpGraphics*, GdipDeleteGraphics>>;
using Image = Solvaris_Win32::Owned<GpBitmap*, Solvaris_Win32::NullOrReleased<GpBitmap*, disposeBitmap>>;

// GDI+ for the direct paint: started by the first one, shut down when the
// process ends. Most runs never paint that way and never load GDI+.
class GdiplusOnDemand {
public:
    GdiplusOnDemand()
    {
        GpStartupInput input = {1, nullptr, FALSE, FALSE};
        if (GdiplusStartup(&m_token, &input, nullptr) != kGpOk)
            m_token = 0;
    }
    ~GdiplusOnDemand()
    {
        if (m_token)
            GdiplusShutdown(m_token);
    }
    GdiplusOnDemand(const GdiplusOnDemand&) = delete;
    GdiplusOnDemand& operator=(const GdiplusOnDemand&) = delete;
    bool started() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

bool gdiplusStarted()
{
    static const GdiplusOnDemand session;
    return session.started();
}

using Solvaris_Win32::GdiObject;
using Solvaris_Win32::MemoryDc;
using Solvaris_Win32::UniqueHandle;

} // namespace

// Running out of memory anywhere here leaves the page without a preview; the
// dialog goes on without it.
std::unique_ptr<PreviewBitmap> PreviewBitmap::load(const std::wstring& path, PageImageCheck* check)
{
    try {
        return loadFile(path, check);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unique_ptr<PreviewBitmap> PreviewBitmap::loadFile(const std::wstring& path, PageImageCheck* check)
{
    PageImageCheck dummy;
    PageImageCheck& result = check ? *check : dummy;
    result = PageImageCheck::Truncated;
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return nullptr;
    FileSource source(file.get());
    if (!source.hasBuffer())
        return nullptr;
    PageImageHeader header;
    result = readPageImageHeader(source, header);
    if (result != PageImageCheck::Ok)
        return nullptr;

    // GDI+'s layout for 24-bit rows (the direct paint hands this memory to
    // it as it is): 3 x width bytes, padded to a multiple of 4.
    const uint64_t stride = (uint64_t(header.width) * 3 + 3) & ~uint64_t(3);
    const uint64_t bytes = stride * header.height;
    if (header.width > uint32_t(INT_MAX) || header.height > uint32_t(INT_MAX) || stride > uint64_t(INT_MAX) ||
        bytes > uint64_t(SIZE_MAX))
        return nullptr;
    std::unique_ptr<PreviewBitmap> preview(new (std::nothrow) PreviewBitmap());
    if (!preview)
        return nullptr;
    preview->m_pixels.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
    if (!preview->m_pixels)
        return nullptr;
    preview->m_stride = size_t(stride);
    preview->m_width = header.width;
    preview->m_height = header.height;
    // Rows padded as ours (the usual file) arrive in one read straight into
    // the bitmap's memory, the rest row by row.
    if (header.stride == stride)
        readPageImageBlock(source, header, preview->m_pixels.get());
    else
        readPageImageRows(source, header, preview->m_pixels.get(), ptrdiff_t(stride));
    return preview;
}

PreviewPrefetch::~PreviewPrefetch()
{
    if (m_thread)
        WaitForSingleObject(m_thread.get(), INFINITE);
}

void PreviewPrefetch::start(const std::wstring& path)
{
    if (m_thread)
        return;
    m_path = path;
    // No thread (out of resources): take() loads in the caller's thread.
    m_thread.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
}

DWORD WINAPI PreviewPrefetch::run(void* self)
{
    PreviewPrefetch* p = static_cast<PreviewPrefetch*>(self);
    p->m_result = PreviewBitmap::load(p->m_path);
    return 0;
}

std::unique_ptr<PreviewBitmap> PreviewPrefetch::take(const std::wstring& path)
{
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.reset();
        return std::move(m_result);
    }
    return PreviewBitmap::load(path);
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
    // its full-size 32-bit copy of the page): partly covered edge pixels
    // blend exactly as they would on the screen.
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
    drawScaledPage(m_pixels.get(), m_width, m_height, ptrdiff_t(m_stride), where, static_cast<uint32_t*>(bits),
                   size_t(width), width, height);
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

PreviewFit paintPreview(HDC dc, const RECT& frame, PreviewBitmap* bitmap, HBRUSH background, PreviewPaint how,
                        int outlineWidth)
{
    const UINT w = bitmap ? bitmap->width() : 0;
    const UINT h = bitmap ? bitmap->height() : 0;
    PreviewFit fit = fitPreview(frame.left, frame.top, frame.right, frame.bottom, w, h, outlineWidth);
    const PreviewRect& p = fit.picture;

    bool drawn = bitmap && fit.fitted && how == PreviewPaint::Cached && bitmap->drawScaledCopy(dc, p, background);
    if (bitmap && fit.fitted && !drawn) {
        // GDI+ scales the full page: the reference the kept copy matches,
        // and the way when no copy can be made. It draws from the page's
        // own memory.
        Graphics g;
        Image page;
        drawn = gdiplusStarted() &&
                GdipCreateBitmapFromScan0(INT(w), INT(h), INT(bitmap->stride()), kGpPixelFormat24bppRGB,
                                          const_cast<BYTE*>(bitmap->pixels()), page.put()) == kGpOk &&
                GdipCreateFromHDC(dc, g.put()) == kGpOk &&
                GdipDrawImageRectRectI(g.get(), asImage(page.get()), p.x, p.y, p.width, p.height, 0, 0, INT(w), INT(h),
                                       kGpUnitPixel, nullptr, nullptr, nullptr) == kGpOk;
    }
    auto fill = [dc](int x, int y, int width, int height, int stock) {
        const RECT r = {x, y, x + width, y + height};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(stock)));
    };
    // No bitmap, no usable size, or it could not be drawn: a white page.
    if (!drawn)
        fill(p.x, p.y, p.width, p.height, WHITE_BRUSH);
    // The outline as four filled bands around the picture: whole pixels at
    // every thickness (a thick pen would straddle the picture's edge).
    const PreviewRect& o = fit.outline;
    const int t = fit.outlineWidth;
    fill(o.x, o.y, o.width, t, BLACK_BRUSH);
    fill(o.x, p.y + p.height, o.width, t, BLACK_BRUSH);
    fill(o.x, p.y, t, p.height, BLACK_BRUSH);
    fill(p.x + p.width, p.y, t, p.height, BLACK_BRUSH);
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
