// The page preview: loading page image files into a GDI+ bitmap and painting
// the fitted page with its outline.
#include "app/preview.h"

#include <gtest/gtest.h>

#include "param_test_support.h"

using namespace paramtest;

namespace {
std::vector<uint8_t> lockedPixels(PreviewBitmap& bmp)
{
    GpRect all = {0, 0, INT(bmp.width()), INT(bmp.height())};
    GpBitmapData data = {};
    std::vector<uint8_t> out;
    if (GdipBitmapLockBits(bmp.bitmap(), &all, kGpImageLockModeRead, kGpPixelFormat24bppRGB, &data) != kGpOk)
        return out;
    for (UINT y = 0; y < data.Height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + ptrdiff_t(y) * data.Stride;
        out.insert(out.end(), row, row + data.Width * 3);
    }
    GdipBitmapUnlockBits(bmp.bitmap(), &data);
    return out;
}

std::vector<uint8_t> header(uint32_t w, uint32_t h, uint32_t stride)
{
    std::vector<uint8_t> f;
    for (uint32_t v : {w, h, 0u, stride})
        for (int i = 0; i < 4; ++i)
            f.push_back(uint8_t(v >> (8 * i)));
    return f;
}
} // namespace

TEST(PreviewLoad, PaddedStrideGivesTheExactPixels)
{
    ensureGdiplus();
    TempFolder tmp;
    // Width 6, stride 20: 18 pixel bytes and 2 padding bytes per row.
    const uint32_t w = 6, h = 4;
    std::vector<uint8_t> f = header(w, h, 20), expected;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t i = 0; i < w * 3; ++i) {
            f.push_back(uint8_t(y * 40 + i * 2 + 1));
            expected.push_back(uint8_t(y * 40 + i * 2 + 1));
        }
        f.push_back(0xFF);
        f.push_back(0xFF);
    }
    ASSERT_TRUE(writeBytes(tmp.file(L"p.img"), f));
    PageImageCheck check;
    auto bmp = PreviewBitmap::load(tmp.file(L"p.img"), &check);
    ASSERT_TRUE(bmp) << describe(check);
    EXPECT_EQ(bmp->width(), w);
    EXPECT_EQ(bmp->height(), h);
    EXPECT_EQ(lockedPixels(*bmp), expected);
}

TEST(PreviewLoad, DamagedOrHostileFilesGiveNoBitmap)
{
    ensureGdiplus();
    TempFolder tmp;
    std::vector<uint8_t> cut = header(4, 4, 12);
    cut.resize(10);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        PageImageCheck expected;
    } cases[] = {
        {"header cut short", cut, PageImageCheck::Truncated},
        {"empty file", {}, PageImageCheck::Truncated},
        {"zero width", header(0, 10, 0), PageImageCheck::Empty},
        {"stride shorter than a row", header(10, 10, 29), PageImageCheck::StrideTooSmall},
        {"all ones", header(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), PageImageCheck::TooLarge},
        {"3 x width wraps", header(0x55555556, 2, 2), PageImageCheck::TooLarge},
        {"huge page in a tiny file", header(30000, 30000, 90000), PageImageCheck::TooLarge},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(writeBytes(tmp.file(L"bad.img"), c.bytes));
        PageImageCheck check = PageImageCheck::Ok;
        EXPECT_FALSE(PreviewBitmap::load(tmp.file(L"bad.img"), &check)) << c.what;
        EXPECT_EQ(check, c.expected) << c.what;
    }
    EXPECT_FALSE(PreviewBitmap::load(tmp.file(L"missing.img")));
}

TEST(PreviewLoad, ShortPixelDataKeepsTheRowsThatArrived)
{
    ensureGdiplus();
    TempFolder tmp;
    std::vector<uint8_t> f = solidPage(4, 6, 12, 10, 20, 30);
    f.resize(kPageImageHeaderSize + 2 * 12 + 3);   // two rows and one pixel
    ASSERT_TRUE(writeBytes(tmp.file(L"short.img"), f));
    auto bmp = PreviewBitmap::load(tmp.file(L"short.img"));
    ASSERT_TRUE(bmp);
    std::vector<uint8_t> px = lockedPixels(*bmp);
    ASSERT_EQ(px.size(), 4u * 6 * 3);
    for (size_t i = 0; i < 2 * 12 + 3; i += 3)
        ASSERT_EQ(std::vector<uint8_t>(px.begin() + i, px.begin() + i + 3), (std::vector<uint8_t>{10, 20, 30})) << i;
}

TEST(PreviewPaint, FitsTheA4PageWithAnOutlineJustOutside)
{
    ensureGdiplus();
    TempFolder tmp;
    ASSERT_TRUE(writeBytes(tmp.file(L"a4.img"), solidPage(2480, 3508, 2480 * 3 + 4, 0x00, 0x00, 0xFF)));
    auto bmp = PreviewBitmap::load(tmp.file(L"a4.img"));
    ASSERT_TRUE(bmp);
    const RECT frame = {10, 20, 130, 140};   // 120 x 120
    HBRUSH gray = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
    for (PreviewPaint how : {PreviewPaint::Direct, PreviewPaint::Cached}) {
        Canvas c(200, 200, RGB(0x80, 0x80, 0x80));
        PreviewFit fit = paintPreview(c.dc(), frame, bmp.get(), gray, how);
        ASSERT_EQ(fit.picture, (PreviewRect{28, 20, 84, 120}));
        const char* mode = how == PreviewPaint::Direct ? "direct" : "cached";
        EXPECT_EQ(c.at(70, 80), 0xFF0000u) << mode << ": page inside";
        EXPECT_EQ(c.at(29, 21), 0xFF0000u) << mode << ": top-left page pixel";
        EXPECT_EQ(c.at(111, 139), 0xFF0000u) << mode << ": bottom-right page pixel";
        EXPECT_EQ(c.at(27, 80), 0u) << mode << ": left outline";
        EXPECT_EQ(c.at(112, 80), 0u) << mode << ": right outline";
        EXPECT_EQ(c.at(70, 19), 0u) << mode << ": top outline";
        EXPECT_EQ(c.at(70, 140), 0u) << mode << ": bottom outline";
        EXPECT_EQ(c.at(15, 80), 0x808080u) << mode << ": band beside the page untouched";
        EXPECT_EQ(c.at(125, 80), 0x808080u) << mode << ": band beside the page untouched";
    }
    DeleteObject(gray);
}

TEST(PreviewPaint, CachedCopyLooksLikeDirectScaling)
{
    ensureGdiplus();
    TempFolder tmp;
    // A page with detail (stripes and a gradient) so that scaling matters.
    const uint32_t w = 1000, h = 1400;
    std::vector<uint8_t> px(size_t(w) * h * 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * w + x) * 3];
            p[0] = uint8_t((x / 7) % 2 ? 0 : 255);
            p[1] = uint8_t(y * 255 / h);
            p[2] = uint8_t((x + y) % 256);
        }
    ASSERT_TRUE(writeBytes(tmp.file(L"d.img"), encodePageImage(w, h, w * 3 + 2, px.data())));
    auto bmp = PreviewBitmap::load(tmp.file(L"d.img"));
    ASSERT_TRUE(bmp);
    const RECT frame = {7, 9, 133, 140};
    const COLORREF bg = RGB(0xF0, 0xE0, 0xD0);
    HBRUSH brush = CreateSolidBrush(bg);
    Canvas direct(160, 160, bg), cached(160, 160, bg);
    paintPreview(direct.dc(), frame, bmp.get(), brush, PreviewPaint::Direct);
    paintPreview(cached.dc(), frame, bmp.get(), brush, PreviewPaint::Cached);
    paintPreview(cached.dc(), frame, bmp.get(), brush, PreviewPaint::Cached);   // second paint from the kept copy
    DeleteObject(brush);
    int diffs = 0;
    std::string first;
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 160; ++x)
            if (direct.at(x, y) != cached.at(x, y) && diffs++ < 8) {
                char line[80];
                snprintf(line, sizeof line, " (%d,%d) %06x/%06x", x, y, direct.at(x, y), cached.at(x, y));
                first += line;
            }
    EXPECT_EQ(diffs, 0) << "pixels differ:" << first;
}

TEST(PreviewPaint, NoBitmapFillsTheWholeFrameWhite)
{
    ensureGdiplus();
    Canvas c(200, 200, RGB(0x80, 0x80, 0x80));
    const RECT frame = {10, 20, 130, 140};
    PreviewFit fit = paintPreview(c.dc(), frame, nullptr, nullptr);
    EXPECT_FALSE(fit.fitted);
    EXPECT_EQ(c.at(10, 20), 0xFFFFFFu);
    EXPECT_EQ(c.at(129, 139), 0xFFFFFFu);
    EXPECT_EQ(c.at(9, 80), 0u);     // outline just outside the frame
    EXPECT_EQ(c.at(130, 80), 0u);
    EXPECT_EQ(c.at(70, 19), 0u);
    EXPECT_EQ(c.at(70, 140), 0u);
    EXPECT_EQ(c.at(5, 80), 0x808080u);
}
