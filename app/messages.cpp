#include "app/messages.h"

#include <algorithm>

#include "app/core/dpi_layout.h"
#include "baselib/svr_handle_win.h"
#include "app/res/resource.h"
#include "app/resources.h"

namespace {

// Sizes of a message box at 96 dpi. Its text wraps at a width of its own,
// which depends on the platform and the user's language but is never
// narrower than kTextWidth (Wine's boxes wrap at 264 pixels in Japanese and
// 304 in English; Windows' boxes are wider), so the text measured at that
// width takes at least as many lines as the box shows. Around the text come
// the title bar, the icon, margins and the button row, for which kChrome is
// ample room on every side.
constexpr int kTextWidth = 200;
constexpr int kChrome = 160;

// A screen device context with the message box font selected, for measuring.
class MessageFontDc {
public:
    MessageFontDc() : m_dc(nullptr), m_font(messageFont()), m_selected(m_dc.get(), m_font.get()) {}
    HDC get() const { return m_dc.get(); }

private:
    static HFONT messageFont()
    {
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            return nullptr;
        return CreateFontIndirectW(&metrics.lfMessageFont);
    }

    Solvaris_Win32::WindowDc m_dc;
    Solvaris_Win32::GdiObject<HFONT> m_font;
    Solvaris_Win32::SelectScope m_selected;  // declared last: the font goes back out first
};

// What a message box shows of `text`: all of it when the box then fits the
// work area, else a head cut to fit with an ellipsis (many short lines count
// as much as one long one). The whole text then goes to the debugger.
std::wstring boxText(const std::wstring& text)
{
    MessageFontDc measuring;
    RECT work = {};
    if (!measuring.get() || !SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        return text;
    const int dpi = GetDeviceCaps(measuring.get(), LOGPIXELSY);
    const int maxWidth = work.right - work.left - scaleForDpi(kChrome, dpi);
    const int maxHeight = work.bottom - work.top - scaleForDpi(kChrome, dpi);
    const int wrapWidth = std::min(scaleForDpi(kTextWidth, dpi), maxWidth);
    auto fits = [&](const std::wstring& candidate) {
        RECT r = {0, 0, wrapWidth, 0};
        DrawTextW(measuring.get(), candidate.c_str(), int(candidate.size()), &r,
                  DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
        return r.right - r.left <= maxWidth && r.bottom - r.top <= maxHeight;
    };
    const std::wstring shown = cutTextToFit(text, fits);
    if (shown != text)
        OutputDebugStringW((L"Message box: the text is shortened to fit the screen; the whole text:\n" + text + L"\n").c_str());
    return shown;
}

} // namespace

const ErrorMessageEntry errorMessageTable[] = {
    {24, IDS_CANCELED},   // the operation was cancelled
    {0, 0},
};

std::wstring messageTitle(HINSTANCE instance)
{
    // Read without a fixed buffer: a zero length gives a pointer to the text.
    const wchar_t* title = nullptr;
    int n = instance ? LoadStringW(instance, IDS_APP_TITLE, reinterpret_cast<LPWSTR>(&title), 0) : 0;
    return n > 0 && title ? std::wstring(title, static_cast<size_t>(n)) : std::wstring();
}

std::wstring errorMessageText(const wchar_t* text, int code)
{
    std::wstring body = text ? text : L"";
    for (const ErrorMessageEntry* e = errorMessageTable; e->code != 0; ++e) {
        if (e->code != code)
            continue;
        std::wstring known;
        if (loadResourceString(e->stringId, known))
            body = known;
        break;
    }
    return body;
}

void showErrorMessage(HINSTANCE instance, const wchar_t* text, int code)
{
    std::wstring title = messageTitle(instance);
    std::wstring body = boxText(errorMessageText(text, code));
    MessageBoxW(nullptr, body.c_str(), title.c_str(), MB_ICONERROR | MB_SYSTEMMODAL);
}

void showPlainMessage(HINSTANCE instance, const wchar_t* text)
{
    std::wstring title = messageTitle(instance);
    const std::wstring body = boxText(text ? text : L"");
    MessageBoxW(nullptr, body.c_str(), title.c_str(), MB_ICONINFORMATION | MB_SYSTEMMODAL);
}
