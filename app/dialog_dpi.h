// The dialogs follow the resolution of the monitor they are on. The program
// declares per-monitor awareness, so Windows sends WM_DPICHANGED when a
// dialog moves to a monitor with another scale or the scale changes; the
// dialog then lays itself out again from its template at the new
// resolution, exactly as it would have been made there from the start.
#pragma once
#include <windows.h>

#include "app/core/dialog_template.h"
#include "baselib/svr_handle_win.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

// The user32 functions that switch off the dialog manager's own rescaling
// (Windows 10 1703 and later; null where the system has none).
struct DialogDpiFunctions {
    BOOL(WINAPI* setDialogBehavior)(HWND dialog, int mask, int values) = nullptr;
    BOOL(WINAPI* setControlBehavior)(HWND control, int mask, int values) = nullptr;
};
// The functions the dialogs call: the system's, looked up once at the first
// call; a test puts recording ones in their place.
DialogDpiFunctions& dialogDpiFunctions();

// DDC_DISABLE_ALL, and DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT.
constexpr int kDialogRescalingOff = 0x0001;
constexpr int kControlRescalingOff = 0x0001 | 0x0002;

// Under per-monitor awareness V2 the dialog manager rescales a dialog made
// from a template on its own: it stretches the window and every control by
// the ratio of the resolutions and hands each control a scaled font. That
// is switched off for `dialog` and each of its controls, because the dialog
// lays itself out (DialogDpiLayout): both at once would scale twice, and the
// manager's ratio scaling alone would drift from the template by rounding on
// every move between monitors and leave the sizes the program sets in pixels
// (list columns, the preview's outline) at the old resolution.
void switchOffSystemRescaling(HWND dialog, const DialogDpiFunctions& functions);

// The layout of one dialog, read from the template it was made from.
class DialogDpiLayout {
public:
    // False when the template cannot be read; the dialog then keeps its
    // layout on a resolution change.
    bool load(HMODULE module, UINT templateId);
    // The window size the layout needs at `dpi` (for WM_GETDPISCALEDSIZE).
    bool windowSize(HWND dialog, int dpi, SIZE& size) const;
    // Lays `dialog` out at `dpi`: font, window size at the top left corner of
    // `suggested` (the rectangle of WM_DPICHANGED; the current one when
    // null), each control's place and font. The font is kept here for the
    // dialog's life.
    void apply(HWND dialog, int dpi, const RECT* suggested);

private:
    Solvaris_Win32::GdiObject<HFONT> makeFont(int dpi) const;
    bool m_loaded = false;
    DialogTemplateLayout m_layout;
    Solvaris_Win32::GdiObject<HFONT> m_font;
};
