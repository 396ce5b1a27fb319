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
