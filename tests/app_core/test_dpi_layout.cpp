// Pixel sizes at other display resolutions, and the properties list's column
// widths from their texts and the list's client width.
#include "app/core/dpi_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <numeric>

TEST(DpiLayout, ScalesFromNinetySixDpiRounded)
{
    struct Case {
        int pixels, dpi, expected;
    } cases[] = {
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
    struct Case {
        const char* what;
        std::vector<ListColumnTexts> columns;
        int margin, client;
        std::vector<int> expected;
    } cases[] = {
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
    for (const Case& c : cases) {
        const std::vector<int> widths = listColumnWidths(c.columns, c.margin, c.client);
        EXPECT_EQ(widths, c.expected) << c.what;
        // Whenever the texts fit, the columns end exactly at the right edge.
        int needs = 0;
        for (size_t i = 0; i + 1 < widths.size(); ++i)
            needs += widths[i];
        if (!widths.empty() && c.client - needs >= c.expected.back()) {
            EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), c.client) << c.what;
        }
    }
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
