// Pixel sizes at other display resolutions, the properties list's column
// widths from their texts and the list's client width, texts cut to fit, and
// the preview's fit and outline, and the layout read from a dialog template.
#include "app/core/dialog_template.h"
#include "app/core/dpi_layout.h"
#include "app/core/preview_fit.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

TEST(DpiLayout, ScalesFromNinetySixDpiRounded)
{
    struct Case { int pixels, dpi, expected; } cases[] = {
        {16, 96, 16},   {16, 120, 20}, {16, 144, 24}, {16, 192, 32}, {80, 144, 120},
        {1, 96, 1},     {1, 144, 2},   {1, 120, 1},   {1, 192, 2},   {1, 288, 3},
        {1, 48, 1},     // a positive length never vanishes
        {0, 192, 0},    {-3, 144, -5}, // halves round away from zero on both sides
        {16, 0, 16},    {16, -1, 16},  // no resolution: as designed
        {INT_MAX, 192, INT_MAX}, {INT_MIN, 192, INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleForDpi(c.pixels, c.dpi), c.expected) << c.pixels << " px at " << c.dpi << " dpi";
}

TEST(DpiLayout, ColumnsFitTheirTextsAndTheLastTakesTheRest)
{
    struct Case { const char* what; std::vector<ListColumnTexts> columns; int margin, client; std::vector<int> expected; }
    cases[] = {
        // Header "Property" 45, cells 24/52/50; header "Value" 28, cells 8/120/50.
        {"rest goes to the last column", {{{45, 24, 52, 50}}, {{28, 8, 120, 50}}}, 16, 253, {68, 185}},
        {"header wider than every cell", {{{90, 10}}, {{20, 30}}}, 16, 300, {106, 194}},
        {"exact fit", {{{50}}, {{84}}}, 16, 166, {66, 100}},
        // Texts wider than the list: nothing is cut, the list scrolls.
        {"too narrow: the last keeps its need", {{{100}}, {{150}}}, 16, 200, {116, 166}},
        {"first alone overflows", {{{300}}, {{10}}}, 16, 200, {316, 26}},
        {"one column takes the client width", {{{40, 70}}}, 12, 250, {250}},
        {"empty column has only the margin", {{{}}, {{30}}}, 24, 100, {24, 76}},
        {"negative margin and width count as 0", {{{10}}, {{20}}}, -5, -40, {10, 20}},
        {"no columns", {}, 16, 100, {}},
        {"three columns", {{{10}}, {{20}}, {{30}}}, 4, 100, {14, 24, 62}},
        {"huge widths do not overflow", {{{INT_MAX}}, {{INT_MAX}}}, 100, INT_MAX, {INT_MAX, INT_MAX}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(listColumnWidths(c.columns, c.margin, c.client), c.expected) << c.what;
}

// A text longer than its box is cut with an ellipsis, preferably after a
// line or a word. The box here holds three lines of ten characters; a line
// break starts a new line.
TEST(DpiLayout, TextIsCutToFitItsBox)
{
    auto threeLines = [](const std::wstring& text) {
        size_t lines = 0;
        for (size_t at = 0;;) {
            const size_t end = std::min(text.find(L'\n', at), text.size());
            lines += std::max<size_t>(1, (end - at + 9) / 10);
            if (end == text.size())
                return lines <= 3;
            at = end + 1;
        }
    };
    const std::wstring e = L"\u2026";
    struct Case { const char* what; std::wstring text, shown; } cases[] = {
        {"fits", L"one\ntwo\nthree", L"one\ntwo\nthree"},
        {"many short lines", L"l1\r\nl2\r\nl3\r\nl4\r\nl5", L"l1\r\nl2\r\nl3" + e},
        {"at a word", L"aaaa bbbb cccc dddd eeee ffff gggg", L"aaaa bbbb cccc dddd eeee ffff" + e},
        {"one long word, at a character", std::wstring(50, L'w'), std::wstring(29, L'w') + e},
        {"a short line then a long word", L"ab\n" + std::wstring(50, L'w'), L"ab\n" + std::wstring(19, L'w') + e},
        {"never half a surrogate pair", std::wstring(28, L'w') + L"\xD83D\xDE00\xD83D\xDE00", std::wstring(28, L'w') + e},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cutTextToFit(c.text, threeLines), c.shown) << c.what;
    EXPECT_EQ(cutTextToFit(L"abc", [](const std::wstring&) { return false; }), e) << "nothing fits";
}

// The preview's fit and centring inside its frame, and the outline around
// it: the picture grown by the outline's width on every side (one pixel at
// 96 dpi: columns x-1 and x+w, rows y-1 and y+h).
TEST(PreviewFit, FitsCentresAndOutlines)
{
    // outline {0, 0, 0, 0}: not checked.
    struct Case { const char* what; int left, top, right, bottom; uint32_t w, h; bool fitted; PreviewRect picture, outline;
                  int width = 1, outlineWidth = 1; } cases[] = {
        // 3508 x 120 >= 2480 x 120: full height, width 2480*120/3508 = 84.8 -> 84.
        {"A4 portrait", 10, 20, 130, 140, 2480, 3508, true, {10 + 18, 20, 84, 120}, {27, 19, 86, 122}},
        {"A4 landscape", 10, 20, 130, 140, 3508, 2480, true, {10, 20 + 18, 120, 84}, {9, 37, 122, 86}},
        {"equal proportions take the height branch", 0, 0, 100, 50, 40, 20, true, {0, 0, 100, 50}, {}},
        {"odd leftover truncates the half", 0, 0, 101, 100, 1, 1, true, {0, 0, 100, 100}, {}},
        {"tiny page is scaled up", 0, 0, 120, 120, 1, 2, true, {30, 0, 60, 120}, {}},
        {"huge page does not overflow", 0, 0, 126, 131, 32768, 32768, true, {0, 2, 126, 126}, {}},
        // No usable image size: the whole frame, no division by zero.
        {"zero width", 7, 9, 127, 139, 0, 100, false, {7, 9, 120, 130}, {6, 8, 122, 132}},
        {"zero height", 7, 9, 127, 139, 100, 0, false, {7, 9, 120, 130}, {6, 8, 122, 132}},
        // A collapsed frame has nothing to fit into either.
        {"collapsed frame", 5, 5, 5, 5, 100, 100, false, {5, 5, 0, 0}, {}},
        // The outline grows with its width (2 at 192 dpi), never thinner
        // than one pixel nor thicker than 64; the picture does not move.
        {"outline 2", 10, 20, 130, 140, 2480, 3508, true, {28, 20, 84, 120}, {26, 18, 88, 124}, 2, 2},
        {"outline 0", 10, 20, 130, 140, 2480, 3508, true, {28, 20, 84, 120}, {27, 19, 86, 122}, 0, 1},
        {"outline 1000", 10, 20, 130, 140, 2480, 3508, true, {28, 20, 84, 120}, {28 - 64, 20 - 64, 84 + 128, 120 + 128},
         1000, 64},
    };
    for (const Case& c : cases) {
        PreviewFit f = fitPreview(c.left, c.top, c.right, c.bottom, c.w, c.h, c.width);
        EXPECT_EQ(f.fitted, c.fitted) << c.what;
        EXPECT_EQ(f.picture, c.picture) << c.what << ": got " << f.picture.x << "," << f.picture.y << " "
                                        << f.picture.width << "x" << f.picture.height;
        EXPECT_EQ(f.outlineWidth, c.outlineWidth) << c.what;
        if (c.outline.width) {
            EXPECT_EQ(f.outline, c.outline) << c.what;
        }
    }
}

// A template as the resource compiler writes it: two controls, the first
// with creation data, the second with an ordinal class; every shorter copy
// (a replaced language module) is refused without a read past its end.
TEST(DialogTemplate, ReadsPlacesAndFontAndRefusesCutCopies)
{
    std::vector<unsigned char> t;
    auto word = [&](unsigned v) { t.push_back((unsigned char)(v & 0xFF)); t.push_back((unsigned char)(v >> 8)); };
    auto dword = [&](unsigned v) { word(v & 0xFFFF); word(v >> 16); };
    auto text = [&](const char* s) { for (; *s; ++s) word((unsigned char)*s); word(0); };
    auto rect = [&](int x, int y, int cx, int cy) { word(x & 0xFFFF); word(y & 0xFFFF); word(cx); word(cy); };
    word(1), word(0xFFFF), dword(0), dword(0), dword(0x80C80040), word(2), rect(0, 0, 274, 172);
    word(0), word(0), text("Caption"), word(8), word(700), t.push_back(1), t.push_back(1), text("MS Shell Dlg");
    t.resize((t.size() + 3) & ~size_t(3));
    dword(0), dword(0), dword(0), rect(-7, 10, 42, 8), dword(0xFFFFFFFF), text("Static"), text("&Output:"), word(2);
    t.push_back(0xAB), t.push_back(0xCD);
    t.resize((t.size() + 3) & ~size_t(3));
    dword(0), dword(0), dword(0), rect(51, 8, 164, 14), dword(2001), word(0xFFFF), word(0x81), word(0), word(0);

    DialogTemplateLayout layout;
    ASSERT_TRUE(readDialogTemplate(t.data(), t.size(), layout));
    EXPECT_EQ(std::make_tuple(layout.rect.cx, layout.rect.cy, layout.pointSize, layout.weight, layout.italic, layout.charset),
              std::make_tuple(274, 172, 8, 700, true, 1));
    EXPECT_EQ(layout.face, u"MS Shell Dlg");
    ASSERT_EQ(layout.items.size(), 2u);
    EXPECT_EQ(std::make_tuple(layout.items[0].id, layout.items[0].rect.x, layout.items[1].id, layout.items[1].rect.cx),
              std::make_tuple(0xFFFFFFFFu, -7, 2001u, 164));
    for (size_t n = 0; n < t.size(); ++n) {
        const std::vector<unsigned char> cut(t.begin(), t.begin() + long(n));   // its own block: ASan sees overreads
        EXPECT_FALSE(readDialogTemplate(cut.data(), cut.size(), layout)) << n << " bytes";
    }
    t[0] = 0;   // the old form
    EXPECT_FALSE(readDialogTemplate(t.data(), t.size(), layout));
}
