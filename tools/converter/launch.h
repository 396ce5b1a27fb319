// What the converter commands share: starting PrintvaneUI.exe (beside
// converter.exe, or the one --program names), waiting for it and reading its full 32-bit exit code,
// finding its dialog windows and taking pictures of them. The pipe to it is
// winkit::ServerPipe.
#pragma once
#include "tools/converter/commands.h"
#include "tools/winkit/winkit.h"

#include <windows.h>

#include <string>

#include "baselib/svr_handle_win.h"

// Full path of the PrintvaneUI.exe to start: the one named by --program,
// else the one beside converter.exe.
std::wstring printvanePath();
void setPrintvanePath(const std::wstring& path);

// Folder, texts, files and pictures shared with the tests (winkit.h).
using winkit::programFolder;
using winkit::saveWindowPicture;
using winkit::savePicture;
using winkit::utf8;
using winkit::waitForExit;
using winkit::wide;
using winkit::writeFile;

struct Child {
    Solvaris_Win32::UniqueHandle process;
    DWORD pid = 0;
};

// Starts PrintvaneUI.exe with `args` and allows it to take the foreground.
// `process` stays null when it could not be started; GetLastError() then
// tells why.
Child startPrintvane(const Args& args);


// Waits for the child (terminating it after `limitMs`), closes its handle and
// returns its exit code; DWORD(-1) for a child that never started.
DWORD finish(Child& child, DWORD limitMs);

// Waits for the child as finish() does and prints "exit code: N (0xN)", or
// that it did not end. With a `reportPath`, the exit code (signed decimal,
// one line) is also written to that file, for scripts; the file is not
// written when the child did not end. Returns the stand-in's exit code: 0,
// or 2 when the child did not end or the report could not be written.
int reportExit(Child& child, DWORD limitMs, const std::wstring& reportPath = std::wstring());

// The first visible dialog window (class #32770) of the child other than
// `except`, waited for at most `limitMs`; null when none came or the child
// ended first.
HWND waitForDialog(const Child& child, DWORD limitMs, HWND except = nullptr);
