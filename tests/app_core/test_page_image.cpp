// Reading the page image file: header checks against damaged and hostile
// files, padded strides, short files.
#include "app/core/page_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "support/test_kit.h"

// Files are built byte by byte, independent of encodePageImage.
using testkit::le32;

TEST(PageImageHeader, ChecksEveryField)
{
    struct Case { const char* what; uint32_t w, h, stride; PageImageCheck expected; } cases[] = {
        {"letter page at 300 dpi", 2550, 3300, 7652, PageImageCheck::Ok},
        {"stride exactly 3 x width", 5, 2, 15, PageImageCheck::Ok},
        {"zero width", 0, 10, 0, PageImageCheck::Empty},
        {"zero height", 10, 0, 32, PageImageCheck::Empty},
        {"stride one byte short", 6, 2, 17, PageImageCheck::StrideTooSmall},
        {"3 x width wraps in 32 bits", 0x55555556u, 1, 2, PageImageCheck::TooLarge},
        {"side above the limit", kPageImageMaxSide + 1, 1, (kPageImageMaxSide + 1) * 3, PageImageCheck::TooLarge},
        {"area above the limit", 20000, 20000, 60000, PageImageCheck::TooLarge},
        {"all bits set", 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, PageImageCheck::TooLarge},
        {"huge stride is only skipped", 1, 1, 0xFFFFFFFFu, PageImageCheck::Ok},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> f = le32({c.w, c.h, 77, c.stride});
        PageImageHeader h;
        EXPECT_EQ(parsePageImageHeader(f.data(), f.size(), h), c.expected) << c.what;
        EXPECT_EQ(std::make_pair(h.width, h.stride), std::make_pair(c.w, c.stride)) << c.what;
    }
    // A file ending inside the header is truncated.
    std::vector<uint8_t> f = le32({4, 4, 0, 12});
    for (size_t n = 0; n < kPageImageHeaderSize; ++n) {
        MemorySource src(f.data(), n);
        PageImageHeader h;
        EXPECT_EQ(readPageImageHeader(src, h), PageImageCheck::Truncated) << n << " bytes";
    }
}

TEST(PageImageRows, ShortFileKeepsWhatArrivedAndWhitensTheRest)
{
    // Width 6, stride 20: rows of 18 pixel bytes plus 2 padding bytes that
    // must not appear in the picture. Cut in the middle of row 2 (rows 0 and
    // 1 complete), or behind row 0 (in its padding): what arrived is stored,
    // every pixel byte the file did not supply is white (the paper), and the
    // destination's own padding behind each row (pitch 20 here) is left
    // alone. (A whole file gives its rows at their stride, and one block read
    // like the file the same pixels: fuzz_page_image.)
    const uint32_t w = 6, h = 3, stride = 20;
    std::vector<uint8_t> f = le32({w, h, 0, stride}), expected;
    for (uint32_t r = 0; r < h; ++r) {
        for (uint32_t i = 0; i < w * 3; ++i)
            expected.push_back(uint8_t(r * 31 + i * 7 + 1));
        f.insert(f.end(), expected.end() - w * 3, expected.end());
        f.insert(f.end(), {0xEE, 0xEE});
    }
    for (const auto& [cut, rows] : {std::pair<size_t, uint32_t>{2 * stride + 5, 2}, {stride - 1, 1}}) {
        MemorySource shortSrc(f.data(), kPageImageHeaderSize + cut);
        PageImageHeader hd;
        ASSERT_EQ(readPageImageHeader(shortSrc, hd), PageImageCheck::Ok);
        std::vector<uint8_t> dest(stride * h, 0x77);
        EXPECT_EQ(readPageImageRows(shortSrc, hd, dest.data(), stride), rows);
        for (size_t i = 0; i < dest.size(); ++i) {
            const size_t r = i / stride, x = i % stride;
            const bool arrived = r * stride + x < cut && x < w * 3;
            EXPECT_EQ(dest[i], x >= w * 3 ? 0x77 : arrived ? expected[r * w * 3 + x] : 0xFF) << "byte " << i;
        }
    }
}
