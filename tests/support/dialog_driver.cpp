#include "support/dialog_driver.h"

#include "app/dialog_impl.h"
#include "support/ui_probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace uitest {
namespace {

// The watchdog's message: it ends the dialog it is posted to with wParam as
// the result, through the dialogs' test filter.
UINT abortDialogMessage()
{
    static const UINT msg = RegisterWindowMessageW(L"Printvane.AbortDialog");
    return msg;
}

bool endOnAbortMessage(HWND, UINT message, WPARAM wParam, LPARAM, INT_PTR& result)
{
    if (message != abortDialogMessage())
        return false;
    result = static_cast<INT_PTR>(wParam);
    return true;
}

// The thread's first dialog window (visible, or any), null for none.
HWND dialogOf(DWORD threadId, bool visibleOnly)
{
    struct Search {
        bool visibleOnly;
        HWND found;
        static BOOL CALLBACK next(HWND w, LPARAM p)
        {
            Search& s = *reinterpret_cast<Search*>(p);
            if (windowClass(w) != L"#32770" || (s.visibleOnly && !IsWindowVisible(w)))
                return TRUE;
            s.found = w;
            return FALSE;
        }
    } search{visibleOnly, nullptr};
    EnumThreadWindows(threadId, &Search::next, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// State shared with the helper threads; held by shared_ptr so that a
// script that never returns cannot touch freed memory.
struct DriveState {
    DWORD modalThread = 0;
    DWORD limitMs = 0;
    Solvaris_Win32::UniqueHandle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Solvaris_Win32::UniqueHandle scriptFinished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::function<void(HWND)> script;
    volatile LONG windowSeen = 0;
    volatile LONG aborted = 0;
};

} // namespace

bool waitUntil(const std::function<bool()>& condition, DWORD limitMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= limitMs)
            return condition();
        Sleep(5);
    }
    return true;
}

bool waitPumping(const std::function<bool()>& condition, DWORD limitMs)
{
    return waitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return condition();
    }, limitMs);
}

bool isEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

HWND focusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

HWND ownedDialog(HWND owner, DWORD limitMs)
{
    HWND found = nullptr;
    waitUntil([&] {
        for (HWND w : topLevelWindows(GetCurrentProcessId(), L"#32770"))
            if (w != owner && GetWindow(w, GW_OWNER) == owner)
                found = w;
        return found != nullptr;
    }, limitMs);
    return found;
}

void repaint(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

COLORREF pixelAt(HWND window, int x, int y)
{
    Solvaris_Win32::WindowDc dc(window);
    return GetPixel(dc.get(), x, y);
}

std::wstring listViewText(HWND list, int row, int column)
{
    wchar_t buf[256] = {};
    if (row < 0) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT;
        col.pszText = buf;
        col.cchTextMax = 256;
        SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    } else {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buf;
        item.cchTextMax = 256;
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
    return buf;
}

DrivenRun runDriven(const std::function<INT_PTR()>& runModal, const std::function<void(HWND)>& script,
                    DWORD limitMs)
{
    dialogTestFilter() = &endOnAbortMessage;
    auto state = std::make_shared<DriveState>();
    state->modalThread = GetCurrentThreadId();
    state->limitMs = limitMs;
    state->script = script;

    std::thread scriptThread([state] {
        HWND dialog = nullptr;
        waitUntil([&] {
            dialog = dialogOf(state->modalThread, true);
            return dialog != nullptr || WaitForSingleObject(state->ended.get(), 0) == WAIT_OBJECT_0;
        }, state->limitMs);
        if (dialog) {
            InterlockedExchange(&state->windowSeen, 1);
            state->script(dialog);
        }
        SetEvent(state->scriptFinished.get());
    });

    std::thread watchdog([state] {
        if (WaitForSingleObject(state->ended.get(), state->limitMs) == WAIT_OBJECT_0)
            return;
        // Keep asking (visible or not) until the modal loop has really ended.
        while (WaitForSingleObject(state->ended.get(), 100) != WAIT_OBJECT_0) {
            if (HWND found = dialogOf(state->modalThread, false)) {
                InterlockedExchange(&state->aborted, 1);
                PostMessageW(found, abortDialogMessage(), static_cast<WPARAM>(-7777), 0);
            }
        }
    });

    DrivenRun run;
    run.result = runModal();
    SetEvent(state->ended.get());
    watchdog.join();
    // The script normally finishes together with the dialog; give it a
    // moment, and never wait on a script that is stuck.
    if (WaitForSingleObject(state->scriptFinished.get(), 5000) == WAIT_OBJECT_0)
        scriptThread.join();
    else
        scriptThread.detach();
    run.windowSeen = state->windowSeen != 0;
    run.aborted = state->aborted != 0;
    return run;
}

INT_PTR runToEnd(const std::function<INT_PTR()>& runModal, const std::function<void(HWND)>& script, DWORD limitMs)
{
    const DrivenRun run = runDriven(runModal, script, limitMs);
    EXPECT_TRUE(run.windowSeen) << "the dialog did not show";
    EXPECT_FALSE(run.aborted) << "the dialog did not end by itself";
    return run.result;
}

} // namespace uitest
