// The name and description a screen reader announces for a control whose own
// text cannot carry them (a progress bar, a painted picture). The control
// answers the accessibility layer's WM_GETOBJECT with the system's standard
// object for it, which gives these two texts instead of its own; everything
// else (role, state, value, place) stays the system's. And whether the
// user's colour scheme is a high-contrast one, which the painting follows.
#pragma once
#include <windows.h>

#include <string>

// Sets the texts `control` gives for itself (an empty text: the system's
// own), until the window is destroyed. A changed name is announced to
// accessibility clients. Call it on the control's thread. false when the
// control could not be given them.
bool setAccessibleTexts(HWND control, const std::wstring& name, const std::wstring& description);

// Names `control` after the static label just before it, without the
// access key's mark: the accessibility layer's own rule for a field that
// has no text of its own, given here for layers that do not apply it to
// every kind of control. false when there is no such label.
bool nameAfterLabel(HWND control);

// Whether the user's colour scheme is a high-contrast one
// (SPI_GETHIGHCONTRAST), which the painted parts then follow.
bool highContrastOn();
// For tests: 1 or 0 stands for the system's answer, -1 asks the system again.
void forceHighContrastForTests(int on);

// Passes WM_SYSCOLORCHANGE on to the child controls of `dialog` and
// repaints it: only top-level windows receive the message, and common
// controls (list views, bars) pick up new colours only when it is
// forwarded to them.
void forwardSysColorChange(HWND dialog);
