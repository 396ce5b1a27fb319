#include "app/profile_editor.h"

#include <shellapi.h>

StartedEditor startProfileEditor(HWND owner, const std::wstring& program, const std::wstring& parameters)
{
    StartedEditor started;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) {
        started.error = GetLastError();
    } else if (!info.hProcess) {
        // Started through something that gave no process (a document
        // association, say): nothing to wait for.
        started.error = ERROR_FILE_NOT_FOUND;
    } else {
        started.process.reset(info.hProcess);
    }
    return started;
}

bool waitForProcessTakingMessages(HANDLE process, const bool* stop, HWND dialog)
{
    for (;;) {
        if (stop && *stop)
            return true;
        const DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r != WAIT_OBJECT_0 + 1) {
            OutputDebugStringA("Profile editor: the wait failed; input goes back to the dialog\n");
            return false;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return true;
            }
            if (!dialog || !IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (stop && *stop)
                return true;
        }
    }
}
