// The two dialog modes, as the entry dispatches them.
#pragma once
#include <windows.h>
#include <string>

#include "baselib/svr_handle_win.h"

// Numbers of the -param command line, converted leniently by the entry.
struct ParamArguments {
    std::wstring settingsName;
    std::wstring imagePath;
    int resolution = 0;
    int width = 0;
    int height = 0;
    int page = 0;
};

// -param: loads the settings, runs the configuration dialog over `owner`,
// saves the settings on 1 or 1877 and returns the dialog's result
// (-1 when the dialog cannot be created; 2, as cancelled, when the user
// gives up saving a file that cannot be written).
int runParamMode(const ParamArguments& args, HWND owner);

// The flags the -pipe open gives CreateFileW. Anyone may create a pipe of
// the name first: its server may learn who the user is but never act as
// the user (identification, not impersonation).
extern const DWORD kPipeOpenFlags;

// -pipe: runs the progress window on the pipe handle (valid or not) over
// `owner`, and closes it; the mode's result is always 0.
int runPipeMode(Solvaris_Win32::UniqueHandle pipe, HWND owner);
