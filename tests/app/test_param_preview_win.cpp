// The page preview: loading page image files into the bitmap's memory and
// painting the fitted page with its outline.
#include "app/preview.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include "app/modes.h"
#include "param_test_support.h"
#include "support/preview_reference.h"

using namespace paramtest;

// The test program's global allocation; it refuses blocks of one chosen size
// on request, so that the preview's own allocations can be made to fail.
namespace {
thread_local size_t t_refusedSize = 0;

struct RefuseAllocations {
    explicit RefuseAllocations(size_t size) { t_refusedSize = size; }
    ~RefuseAllocations() { t_refusedSize = 0; }
};
} // namespace

void* operator new(std::size_t n)
{
    void* p = n == t_refusedSize ? nullptr : std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return n == t_refusedSize ? nullptr : std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// The converter names the page file and the pipe; whoever serves a pipe of
// either name may identify the user but not act as the user (Windows then
// gives it an identification token; Wine ignores the request, so the test
// checks what the opens ask for).
TEST(PreviewLoad, PageFileAndPipeOpenForIdentificationOnly)
{
    const DWORD sqos = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    for (DWORD flags : {PreviewBitmap::kOpenFlags, kPipeOpenFlags})
        EXPECT_EQ(sqos, flags & SECURITY_VALID_SQOS_FLAGS) << flags;
}

namespace {
// Paints the preview `times` times into a fresh 160 x 160 bitmap filled with
// the background, and gives its pixels as 0xRRGGBB. The reference then
// paints the picture again, scaled by GDI+ over the background.
enum class Paint { Cached, Reference };
std::vector<uint32_t> painted(PreviewBitmap& bmp, Paint mode, int times)
{
    using namespace Solvaris_Win32;
    const RECT frame = {7, 9, 133, 140}, all = {0, 0, 160, 160};
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, 160, -160, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    uint32_t* bits = nullptr;
    const GdiObject<HBITMAP> dib(
        CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
    const SelectScope selected(dc.get(), dib.get());
    const GdiObject<HBRUSH> brush(CreateSolidBrush(RGB(0xF0, 0xE0, 0xD0)));
    FillRect(dc.get(), &all, brush.get());
    for (int i = 0; i < times; ++i) {
        const PreviewRect p = paintPreview(dc.get(), frame, &bmp, brush.get()).picture;
        const RECT picture = {p.x, p.y, p.x + p.width, p.y + p.height};
        if (mode == Paint::Reference) {
            EXPECT_TRUE(FillRect(dc.get(), &picture, brush.get()) && uitest::paintScaledByGdiplus(dc.get(), p, bmp));
        }
    }
    GdiFlush();
    std::vector<uint32_t> out(bits, bits + 160 * 160);
    for (uint32_t& p : out)
        p &= 0xFFFFFF;
    return out;
}

// A page with detail (stripes and a gradient) so that scaling matters,
// written a row at a time (the test itself holds no page-sized block) with
// `stride` bytes per row and `cut` bytes left off the end.
void writeDetailedPage(const std::wstring& path, uint32_t w, uint32_t h, uint32_t stride, size_t cut = 0)
{
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        const std::vector<uint8_t> header = testkit::le32({w, h, 0, stride});
        out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
        std::string row(stride, '\0');
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                row[x * 3] = char((x / 7) % 2 ? 0 : 255);
                row[x * 3 + 1] = char(y * 255 / h);
                row[x * 3 + 2] = char((x + y) % 256);
            }
            out.write(row.data(), std::streamsize(row.size()));
        }
    }
    if (cut)
        std::filesystem::resize_file(path, 16 + uint64_t(stride) * h - cut);
}
} // namespace

// The scaled copy kept for repaints looks exactly like direct scaling of
// the whole page, whether the page was read whole (load) or only the rows
// the scaling samples were read from the file as it went (open, the
// dialog's way): for rows laid out like the bitmap's, padded, padded beyond
// all reason, and for files cut short. Read the dialog's way, even a large
// page never takes memory of its size; read whole, the copy is made from
// the page's own memory with no second copy (GDI+ converts the whole bitmap
// to 32 bits before it scales one).
TEST(PreviewPaint, CachedCopyLooksLikeDirectScalingAndTakesNoSecondCopy)
{
    ensureGdiplus();
    testkit::ScratchFolder tmp("folder");
    struct Case {
        const char* name;
        uint32_t w, h, stride;
        size_t cut;
    } cases[] = {
        {"large, padded (36 MB in the bitmap, 48 MB at 32 bits)", 4000, 3000, 4000 * 3 + 2, 0},
        {"rows laid out like the bitmap's, padded to 4 bytes", 801, 1203, 801 * 3 + 1, 0},
        {"padding wider than the rows", 300, 500, 300 * 3 * 5, 0},
        {"cut in the middle", 600, 900, 600 * 3 + 1, 600 * 3 * 400 + 77},
        {"cut inside the last row", 640, 480, 640 * 3, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = tmp.wide(L"page.img");
        writeDetailedPage(path, c.w, c.h, c.stride, c.cut);
        PROCESS_MEMORY_COUNTERS before = {}, after = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
        std::vector<uint32_t> streamed;
        {
            auto opened = PreviewBitmap::open(path);
            ASSERT_TRUE(opened);
            streamed = painted(*opened, Paint::Cached, 2);
            EXPECT_EQ(opened->pixels(), nullptr) << "the page was read whole";
        }
        GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
        EXPECT_LT(after.PeakWorkingSetSize, std::max(before.PeakWorkingSetSize, before.WorkingSetSize) + (4u << 20));

        auto bmp = PreviewBitmap::load(path);
        ASSERT_TRUE(bmp);
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
        // The second cached paint comes from the kept copy.
        const std::vector<uint32_t> cached = painted(*bmp, Paint::Cached, 2);
        GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
        EXPECT_LT(after.PeakWorkingSetSize, std::max(before.PeakWorkingSetSize, before.WorkingSetSize) + (8u << 20));
        const std::vector<uint32_t> direct = painted(*bmp, Paint::Reference, 1);
        EXPECT_TRUE(cached == direct) << "pixels differ";
        EXPECT_TRUE(streamed == direct) << "pixels differ when the rows come from the file";
    }
}

// Out of memory while loading (the preview object, the page's memory) leaves
// the page without a preview instead of throwing out of the dialog, and
// leaves nothing behind: many failed loads of a 24 MB page do not add up.
TEST(PreviewLoad, OutOfMemoryGivesNoPreviewAndLeaksNothing)
{
    ensureGdiplus();
    testkit::ScratchFolder tmp("folder");
    const uint32_t w = 4000, h = 2000;
    ASSERT_TRUE(writeBytes(tmp.wide(L"big.img"), encodePageImage(w, h, w * 3, nullptr)));
    for (size_t refused : {sizeof(PreviewBitmap), size_t(w) * 3 * h}) {
        SCOPED_TRACE(refused);
        PROCESS_MEMORY_COUNTERS_EX before = {}, after = {};
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
        for (int i = 0; i < 12; ++i) {
            bool loaded = true;
            int thrown = 0;
            {
                RefuseAllocations refuse(refused);
                thrown = testkit::codeOf([&] { loaded = PreviewBitmap::load(tmp.wide(L"big.img")) != nullptr; });
            }
            ASSERT_EQ(thrown, 0);
            ASSERT_FALSE(loaded);
        }
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
        // One leaked page is 24 MB; twelve would be 288 MB.
        EXPECT_LT(after.PrivateUsage, before.PrivateUsage + (100u << 20));
    }
    // With memory back, the same file loads.
    EXPECT_TRUE(PreviewBitmap::load(tmp.wide(L"big.img")));
}
