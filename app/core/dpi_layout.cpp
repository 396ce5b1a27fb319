#include "app/core/dpi_layout.h"

#include <algorithm>
#include <cstdint>

int scaleForDpi(int pixels, int dpi)
{
    if (dpi <= 0)
        dpi = kDesignDpi;
    // 64-bit product: no resolution or length can make it wrap.
    const int64_t product = int64_t(pixels) * dpi;
    const int64_t half = kDesignDpi / 2;
    int64_t scaled = product >= 0 ? (product + half) / kDesignDpi : -((-product + half) / kDesignDpi);
    if (pixels > 0 && scaled < 1)
        scaled = 1;
    return int(std::clamp<int64_t>(scaled, INT32_MIN, INT32_MAX));
}

std::vector<int> listColumnWidths(const std::vector<ListColumnTexts>& columns, int margin, int clientWidth)
{
    std::vector<int> widths;
    widths.reserve(columns.size());
    int64_t used = 0;
    for (const ListColumnTexts& column : columns) {
        int widest = 0;
        for (int w : column.textWidths)
            widest = std::max(widest, w);
        const int64_t need = int64_t(widest) + std::max(margin, 0);
        widths.push_back(int(std::min<int64_t>(need, INT32_MAX)));
        used += widths.back();
    }
    if (!widths.empty()) {
        const int64_t others = used - widths.back();
        const int64_t rest = int64_t(std::max(clientWidth, 0)) - others;
        if (rest > widths.back())
            widths.back() = int(rest);
    }
    return widths;
}

std::wstring cutTextToFit(const std::wstring& text, const std::function<bool(const std::wstring&)>& fits)
{
    if (fits(text))
        return text;
    const wchar_t ellipsis = L'\u2026';
    auto withEllipsis = [&](size_t n) { return text.substr(0, n) + ellipsis; };
    // The longest head that fits: heads grow in lines and width with their
    // length, so a binary search finds it.
    size_t low = 0, high = text.size();   // head(low) fits or is empty; head(high) does not
    while (high - low > 1) {
        const size_t mid = low + (high - low) / 2;
        if (fits(withEllipsis(mid)))
            low = mid;
        else
            high = mid;
    }
    size_t cut = low;
    const bool atBreak = cut < text.size() && (text[cut] == L' ' || text[cut] == L'\r' || text[cut] == L'\n');
    if (cut > 0 && !atBreak) {
        const size_t lineBreak = text.find_last_of(L'\n', cut - 1);
        const size_t space = text.find_last_of(L' ', cut - 1);
        if (lineBreak != std::wstring::npos && lineBreak >= cut / 2)
            cut = lineBreak;
        else if (space != std::wstring::npos && space >= cut / 2)
            cut = space;
    }
    while (cut > 0 && (text[cut - 1] == L'\r' || text[cut - 1] == L' ' || text[cut - 1] == L'\n'))
        --cut;
    if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
        --cut;
    return withEllipsis(cut);
}
