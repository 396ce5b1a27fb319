// Helpers shared by the configuration dialog tests: GDI+ started once for
// the test program (the preview's reference paint), page image files;
// temporary folders are the test kit's.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "app/core/page_image.h"
#include "support/gdiplus_flat.h"
#include "support/test_kit_win.h"
#include "support/ui_probe.h"

namespace paramtest {

// Starts COM once for the whole test program, as the entry does, and GDI+
// for the reference paint (support/preview_reference.h).
inline void ensureGdiplus()
{
    static ULONG_PTR token = [] {
        ULONG_PTR t = 0;
        GpStartupInput input = {1, nullptr, FALSE, FALSE};
        GdiplusStartup(&t, &input, nullptr);
        CoInitialize(nullptr);
        return t;
    }();
    (void)token;
}

// A profile repository file with two profiles, vjt300 before Fine.
inline const char kRepository[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\" encode-mode=\"bitonal\"/><profile name=\"Fine\"/></repository>\n";

inline bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    return uitest::writeFile(path, std::string(bytes.begin(), bytes.end()));
}

// A page file of one colour (blue, green, red bytes), rows padded to `stride`.
inline std::vector<uint8_t> solidPage(uint32_t w, uint32_t h, uint32_t stride, uint8_t b, uint8_t g, uint8_t r)
{
    std::vector<uint8_t> px(size_t(w) * h * 3);
    for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = b;
        px[i + 1] = g;
        px[i + 2] = r;
    }
    return encodePageImage(w, h, stride, px.data());
}

} // namespace paramtest
