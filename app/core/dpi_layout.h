// Layout numbers that follow the display's resolution. The program declares
// itself DPI-aware, so Windows draws its windows unscaled: dialog templates
// grow with their font, but every size the program sets in pixels must be
// scaled here. Portable arithmetic; the dialogs measure texts and pass the
// widths in.
#pragma once
#include <functional>
#include <string>
#include <vector>

// The resolution everything is designed at (100 %).
constexpr int kDesignDpi = 96;

// `pixels` as designed at 96 dpi, for a display of `dpi` (rounded to the
// nearest pixel, halves away from zero). A resolution of 0 or less counts as
// 96; the result of a positive length is never below 1.
int scaleForDpi(int pixels, int dpi);

// Room a list column gives beside its text at 96 dpi: the list view adds a
// fixed margin around cell and header texts and shortens anything wider
// with "...". Scaled with scaleForDpi.
constexpr int kListTextMargin = 16;

// What one column has to show: the widths of its header text and of every
// cell text, in pixels of the list's font.
struct ListColumnTexts {
    std::vector<int> textWidths;
};

// Widths of the columns of a report list whose client area is `clientWidth`
// pixels wide: every column is as wide as its widest text plus `margin`; the
// last column takes the rest of the client area, so that the columns end at
// its right edge and no horizontal scroll bar appears. When even the texts
// do not fit, the last column keeps its own need (the list then scrolls
// rather than cut a text). Negative widths count as 0.
std::vector<int> listColumnWidths(const std::vector<ListColumnTexts>& columns, int margin, int clientWidth);

// The head of `text` that a box of bounded size can show. `fits` tells
// whether a candidate can be shown whole (measured by the caller in the
// box's font). The text itself when it fits; otherwise the longest head that
// fits with an ellipsis ("\u2026") after it, cut back to its last line break,
// or else to its last space, when that keeps at least half of it, else cut
// at a character (never inside a surrogate pair). Just the ellipsis when not
// even one character fits.
std::wstring cutTextToFit(const std::wstring& text, const std::function<bool(const std::wstring&)>& fits);
