// Starting the profile editor program and waiting for it while the dialog
// keeps taking its messages.
#pragma once
#include <windows.h>

#include <string>

#include "baselib/svr_handle_win.h"

// A started editor: its process, or none and the system error saying why.
struct StartedEditor {
    Solvaris_Win32::UniqueHandle process;
    DWORD error = 0;
    std::wstring file;            // what the shell was asked to start
    std::wstring folderAtStart;   // the current folder at that moment
};

// Starts `program` with `parameters`, owned by `owner`. A bare file name
// ("tessforge7.exe") is started by its full path in this program's folder
// when it is there; otherwise the shell searches the bare name (App Paths
// included) while this program's folder is the current folder, which is
// put back afterwards. A name with a folder part is handed over as it is.
// The shell shows no box of its own; the caller reports the failure.
StartedEditor startProfileEditor(HWND owner, const std::wstring& program, const std::wstring& parameters);

// Waits until `process` ends, taking every message of this thread off the
// queue and dispatching it (messages sent by the editor arrive during the
// wait). Messages for `dialog` and its controls go through the dialog's key
// handling first, as in its own modal loop: once the editor has handed
// input back, Tab, Enter, Escape and the access keys work. Returns false
// when the wait itself fails: the caller stops waiting instead of spinning. A WM_QUIT found on the way is posted
// again and ends the wait, so that the loop below sees it. A non-null `stop`
// is looked at before each wait and after each dispatched message; once it
// is true the wait ends (true) and the process is left running.
bool waitForProcessTakingMessages(HANDLE process, const bool* stop = nullptr, HWND dialog = nullptr);
