#include "support/dialog_driver.h"

#include "app/dialog_impl.h"

#include <memory>
#include <thread>

namespace uitest {
namespace {

struct FindState {
    HWND found = nullptr;
};

BOOL CALLBACK findVisibleDialog(HWND hWnd, LPARAM lParam)
{
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    if (IsWindowVisible(hWnd) && wcscmp(cls, L"#32770") == 0) {
        reinterpret_cast<FindState*>(lParam)->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND visibleDialogOf(DWORD threadId)
{
    FindState state;
    EnumThreadWindows(threadId, findVisibleDialog, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

// Any dialog of the thread, visible or not (for the watchdog).
BOOL CALLBACK findAnyDialog(HWND hWnd, LPARAM lParam)
{
    wchar_t cls[16] = {};
    GetClassNameW(hWnd, cls, 16);
    if (wcscmp(cls, L"#32770") == 0) {
        reinterpret_cast<FindState*>(lParam)->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, DWORD limitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= limitMs)
            return condition();
        Sleep(5);
    }
}

std::wstring itemText(HWND dialog, int id)
{
    HWND w = id ? GetDlgItem(dialog, id) : dialog;
    if (!w)
        return std::wstring();
    LRESULT n = SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    LRESULT got = SendMessageW(w, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void clickButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// State shared with the helper threads; held by shared_ptr so that a
// script that never returns cannot touch freed memory.
struct DriveState {
    DWORD modalThread = 0;
    DWORD limitMs = 0;
    HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE scriptFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::function<void(HWND)> script;
    volatile LONG windowSeen = 0;
    volatile LONG aborted = 0;
    ~DriveState()
    {
        CloseHandle(ended);
        CloseHandle(scriptFinished);
    }
};

DrivenRun runDriven(const std::function<INT_PTR()>& runModal,
                    const std::function<void(HWND)>& script, DWORD limitMs)
{
    enableAbortDialogMessage();
    auto state = std::make_shared<DriveState>();
    state->modalThread = GetCurrentThreadId();
    state->limitMs = limitMs;
    state->script = script;

    std::thread scriptThread([state] {
        HWND dialog = nullptr;
        waitUntil([&] {
            dialog = visibleDialogOf(state->modalThread);
            return dialog != nullptr || WaitForSingleObject(state->ended, 0) == WAIT_OBJECT_0;
        }, state->limitMs);
        if (dialog) {
            InterlockedExchange(&state->windowSeen, 1);
            state->script(dialog);
        }
        SetEvent(state->scriptFinished);
    });

    std::thread watchdog([state] {
        if (WaitForSingleObject(state->ended, state->limitMs) == WAIT_OBJECT_0)
            return;
        // Keep asking until the modal loop has really ended.
        while (WaitForSingleObject(state->ended, 100) != WAIT_OBJECT_0) {
            FindState found;
            EnumThreadWindows(state->modalThread, findAnyDialog, reinterpret_cast<LPARAM>(&found));
            if (found.found) {
                InterlockedExchange(&state->aborted, 1);
                PostMessageW(found.found, abortDialogMessage(), static_cast<WPARAM>(kAbortedResult), 0);
            }
        }
    });

    DrivenRun run;
    run.result = runModal();
    SetEvent(state->ended);
    watchdog.join();
    // The script normally finishes together with the dialog; give it a
    // moment, and never wait on a script that is stuck.
    run.scriptDone = WaitForSingleObject(state->scriptFinished, 5000) == WAIT_OBJECT_0;
    if (run.scriptDone)
        scriptThread.join();
    else
        scriptThread.detach();
    run.windowSeen = state->windowSeen != 0;
    run.aborted = state->aborted != 0;
    return run;
}

} // namespace uitest
