#include "app/dialog_dpi.h"

#include <algorithm>
#include <vector>

namespace {

// The 52 letters the dialog manager measures for its average character width.
const wchar_t kLatinLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int mulDiv(int value, int numerator, int denominator) { return ::MulDiv(value, numerator, denominator); }

// The dialog's direct children in creation order, which is the order of the
// template's items.
std::vector<HWND> childrenInCreationOrder(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// The outer size of a window of `dialog`'s styles around a client area of
// `client` at `dpi`: with the frame and caption of that resolution where the
// system can tell them.
SIZE outerSize(HWND dialog, SIZE client, int dpi)
{
    using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const AdjustForDpi adjustForDpi = reinterpret_cast<AdjustForDpi>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT r = {0, 0, client.cx, client.cy};
    const DWORD style = DWORD(::GetWindowLongW(dialog, GWL_STYLE));
    const DWORD exStyle = DWORD(::GetWindowLongW(dialog, GWL_EXSTYLE));
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, UINT(dpi)))
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

} // namespace

DialogDpiFunctions& dialogDpiFunctions()
{
    static DialogDpiFunctions functions = [] {
        DialogDpiFunctions found;
        const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        if (!user32)
            return found;
        found.setDialogBehavior = reinterpret_cast<decltype(found.setDialogBehavior)>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "SetDialogDpiChangeBehavior")));
        found.setControlBehavior = reinterpret_cast<decltype(found.setControlBehavior)>(
            reinterpret_cast<void*>(::GetProcAddress(user32, "SetDialogControlDpiChangeBehavior")));
        return found;
    }();
    return functions;
}

void switchOffSystemRescaling(HWND dialog, const DialogDpiFunctions& functions)
{
    if (functions.setDialogBehavior)
        functions.setDialogBehavior(dialog, kDialogRescalingOff, kDialogRescalingOff);
    if (functions.setControlBehavior) {
        for (HWND child : childrenInCreationOrder(dialog))
            functions.setControlBehavior(child, kControlRescalingOff, kControlRescalingOff);
    }
}

bool DialogDpiLayout::load(HMODULE module, UINT templateId)
{
    m_loaded = false;
    const HRSRC found =
        module ? ::FindResourceW(module, MAKEINTRESOURCEW(templateId), reinterpret_cast<LPCWSTR>(RT_DIALOG)) : nullptr;
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes)
        return false;
    const size_t size = ::SizeofResource(module, found);
    m_loaded = readDialogTemplate(static_cast<const unsigned char*>(bytes), size, m_layout) && m_layout.hasFont;
    return m_loaded;
}

Solvaris_Win32::GdiObject<HFONT> DialogDpiLayout::makeFont(int dpi) const
{
    // The font the dialog manager makes from the template, at `dpi`.
    LOGFONTW font = {};
    font.lfHeight = -mulDiv(m_layout.pointSize, dpi, 72);
    font.lfWeight = m_layout.weight;
    font.lfItalic = m_layout.italic ? TRUE : FALSE;
    font.lfCharSet = BYTE(m_layout.charset);
    font.lfQuality = PROOF_QUALITY;
    const size_t n = std::min(m_layout.face.size(), size_t(LF_FACESIZE - 1));
    std::copy_n(m_layout.face.begin(), n, font.lfFaceName);
    return Solvaris_Win32::GdiObject<HFONT>(::CreateFontIndirectW(&font));
}

namespace {

// The dialog base units of `font`: its average character width and height.
bool baseUnits(HWND dialog, HFONT font, int& baseX, int& baseY)
{
    Solvaris_Win32::WindowDc dc(dialog);
    if (!dc || !font)
        return false;
    Solvaris_Win32::SelectScope selected(dc.get(), font);
    SIZE letters = {};
    TEXTMETRICW metrics = {};
    if (!::GetTextExtentPoint32W(dc.get(), kLatinLetters, 52, &letters) || !::GetTextMetricsW(dc.get(), &metrics))
        return false;
    baseX = averageCharWidth(letters.cx);
    baseY = metrics.tmHeight;
    return baseX > 0 && baseY > 0;
}

} // namespace

bool DialogDpiLayout::windowSize(HWND dialog, int dpi, SIZE& size) const
{
    if (!m_loaded)
        return false;
    const Solvaris_Win32::GdiObject<HFONT> font = makeFont(dpi);
    int baseX = 0, baseY = 0;
    if (!baseUnits(dialog, font.get(), baseX, baseY))
        return false;
    const SIZE client = {dialogUnitsToPixelsX(m_layout.rect.cx, baseX), dialogUnitsToPixelsY(m_layout.rect.cy, baseY)};
    size = outerSize(dialog, client, dpi);
    return true;
}

void DialogDpiLayout::apply(HWND dialog, int dpi, const RECT* suggested)
{
    if (!m_loaded || dpi <= 0)
        return;
    Solvaris_Win32::GdiObject<HFONT> font = makeFont(dpi);
    int baseX = 0, baseY = 0;
    const std::vector<HWND> children = childrenInCreationOrder(dialog);
    // A template that does not match the window (another module's) leaves
    // the layout as it is.
    if (children.size() != m_layout.items.size() || !baseUnits(dialog, font.get(), baseX, baseY))
        return;
    RECT at = {};
    if (suggested)
        at = *suggested;
    else
        ::GetWindowRect(dialog, &at);
    // Around the client area the frame and caption as the system draws
    // them: measured before and once more after the move, since the frame
    // of the new resolution may only be computed when the window is sized.
    const SIZE client = {dialogUnitsToPixelsX(m_layout.rect.cx, baseX), dialogUnitsToPixelsY(m_layout.rect.cy, baseY)};
    for (int round = 0; round < 2; ++round) {
        RECT window = {}, inner = {};
        ::GetWindowRect(dialog, &window);
        ::GetClientRect(dialog, &inner);
        if (round > 0 && inner.right == client.cx && inner.bottom == client.cy)
            break;
        ::SetWindowPos(dialog, nullptr, at.left, at.top, client.cx + (window.right - window.left) - inner.right,
                       client.cy + (window.bottom - window.top) - inner.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Font first: a combo box sets its own height from its font, and takes
    // the template's height as that of its open list.
    for (size_t i = 0; i < children.size(); ++i) {
        const DialogUnitsRect& r = m_layout.items[i].rect;
        ::SendMessageW(children[i], WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        ::SetWindowPos(children[i], nullptr, dialogUnitsToPixelsX(r.x, baseX), dialogUnitsToPixelsY(r.y, baseY),
                       dialogUnitsToPixelsX(r.cx, baseX), dialogUnitsToPixelsY(r.cy, baseY),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The former font is in use until every control has the new one.
    m_font = std::move(font);
    ::InvalidateRect(dialog, nullptr, TRUE);
}
