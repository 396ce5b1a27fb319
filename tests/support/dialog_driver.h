// Runs a real modal dialog inside the test program and drives it from a
// helper thread: the test's main thread sits in the dialog's modal loop
// while the script clicks, posts messages and reads controls. Every wait is
// bounded, so a dialog that does not react ends with a failure, not a hang.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "support/ui_probe.h"

namespace uitest {

struct DrivenRun {
    INT_PTR result = 0;       // what the modal run returned
    bool windowSeen = false;  // the dialog window became visible
    bool aborted = false;     // the watchdog had to end the dialog
};

// Calls runModal() on the calling thread. A helper thread waits (at most
// limitMs) for the first visible dialog window ("#32770") of the calling
// thread and runs script(window) on it. If the dialog is still open limitMs
// after the start, the watchdog ends it.
DrivenRun runDriven(const std::function<INT_PTR()>& runModal,
                    const std::function<void(HWND)>& script, DWORD limitMs = 15000);

// runDriven for a dialog that must show and end by itself (a failure
// otherwise): what the modal run returned.
INT_PTR runToEnd(const std::function<INT_PTR()>& runModal, const std::function<void(HWND)>& script,
                 DWORD limitMs = 15000);

// Polls `condition` every few milliseconds until it holds or limitMs passed.
bool waitUntil(const std::function<bool()>& condition, DWORD limitMs = 5000);
// The same while this thread's messages are dispatched (its own windows go
// on answering other processes meanwhile).
bool waitPumping(const std::function<bool()>& condition, DWORD limitMs = 20000);

// Texts and button presses: ui_probe.h (controlText, pressButton).
bool isEnabled(HWND dialog, int id);
// The window that has the keyboard focus on `window`'s thread.
HWND focusOf(HWND window);

// Waits up to limitMs for a visible dialog window of this process owned by
// `owner` (a message box, the save dialog); nullptr when none came.
HWND ownedDialog(HWND owner, DWORD limitMs = 5000);

// Repaints `window` and returns once its thread has handled everything sent
// or posted to it before.
void repaint(HWND window);
// One pixel of a window's client area as shown.
COLORREF pixelAt(HWND window, int x, int y);

// A list view's cell text; row -1 gives the column header's text.
std::wstring listViewText(HWND list, int row, int column);

} // namespace uitest
