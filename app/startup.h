// The program's start-up: checks the command line, prepares the process
// (DLL search path, COM, GDI+, language resources), runs the one mode the
// command line selects and returns its result as the exit code.
#pragma once
#include <windows.h>

// Runs the program for `argv` (argv[0] is the program path). `instance` is
// the program's own module. Returns the exit code: -1 for a bad command line
// (or a configuration dialog that cannot be made), otherwise the mode's result.
int runStartup(HINSTANCE instance, int argc, wchar_t** argv);

// The owner for a dialog when the converter gave none: no owner when the
// spooler's 32-bit print helper started us, otherwise the thread's active window.
HWND chooseOwnerWindow();

// True when the parent process runs the program file "splwow64.exe".
bool isParentSplwow64();
