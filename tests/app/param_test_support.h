// Helpers shared by the configuration dialog tests: GDI+ started once for
// the test program (the preview's reference paint), page image files;
// temporary folders are the test kit's.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "app/accessible_texts.h"
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

// A high-contrast scheme for as long as it lives: Wine cannot switch the
// system into one, so the program is told it is on and the colours are set.
class HighContrastScheme {
public:
    explicit HighContrastScheme(bool on) : m_on(on)
    {
        if (!on)
            return;
        for (int i = 0; i < kCount; ++i)
            m_before[i] = GetSysColor(kElements[i]);
        const COLORREF scheme[kCount] = {RGB(0, 0, 0), RGB(0xFF, 0xFF, 0), RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF),
                                         RGB(0, 0xFF, 0xFF)};
        SetSysColors(kCount, kElements, scheme);
        forceHighContrastForTests(1);
    }
    ~HighContrastScheme()
    {
        if (!m_on)
            return;
        forceHighContrastForTests(-1);
        SetSysColors(kCount, kElements, m_before);
    }

private:
    static constexpr int kCount = 5;
    static constexpr INT kElements[kCount] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_3DFACE, COLOR_BTNTEXT,
                                              COLOR_HIGHLIGHT};
    bool m_on;
    COLORREF m_before[kCount] = {};
};

} // namespace paramtest
