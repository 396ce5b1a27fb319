// Helpers for tests that drive the real program from the outside: folders,
// child processes with time limits, top-level windows and their controls,
// button presses and screenshots. Every wait is bounded, so a test that goes
// wrong ends with a message instead of hanging.
#pragma once
#include <windows.h>

#include "app/core/command_line.h"
#include "baselib/svr_handle_win.h"
#include "tools/winkit/winkit.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace uitest {

// What the converter stand-in uses too (winkit.h): the running test
// program's folder (PrintvaneUI.exe and converter.exe lie there), texts,
// files, extra environment variables for a child, windows and their
// controls read from the outside, pictures. Quoting of arguments and whole
// command lines: app/core/command_line.h.
using namespace winkit;
using ::commandLine;
using ::quoteArgument;
inline std::string narrow(const std::wstring& text) { return winkit::utf8(text); }
// The build folder (the program folder's parent), a file beside the program.
std::wstring buildFolder();
std::wstring programPath(const std::wstring& name);
// The program under test, beside the test programs, and how long an
// end-to-end test waits for one of its windows or for its end.
inline std::wstring productProgram() { return programPath(L"PrintvaneUI.exe"); }
constexpr DWORD kProgramWait = 15000;

// A child process. The destructor terminates a child that still runs.
class Process {
public:
    ~Process();

    // Starts `cmdLine` (the first token names the program). Returns false and
    // fills error() when the program cannot be started.
    bool start(const std::wstring& cmdLine, const Environment& env = {});
    // The same with standard output and error written to `outputFile`.
    bool startWithOutput(const std::wstring& cmdLine, const std::wstring& outputFile, const Environment& env = {});
    // Starts `program` with exactly `cmdLine` as its command line (which may
    // be empty, or not name the program at all).
    bool startProgram(const std::wstring& program, const std::wstring& cmdLine);
    bool wait(DWORD timeoutMs);   // true when the process has ended
    bool running() const;
    // The full 32-bit exit code (valid after wait() returned true).
    DWORD exitCode() const;
    // Ends the process if it still runs (exit code 0xDEAD) and waits for it.
    void terminate();

    DWORD pid() const { return m_pid; }
    HANDLE handle() const { return m_process.get(); }
    const std::wstring& error() const { return m_error; }

private:
    bool launch(const std::wstring& cmdLine, const Environment& env, const wchar_t* program, HANDLE output);

    Solvaris_Win32::UniqueHandle m_process;
    DWORD m_pid = 0;
    std::wstring m_error;
};

struct RunResult {
    bool started = false;
    bool ended = false;     // false: killed after the time limit
    DWORD exitCode = 0;
};

// Starts a program, waits at most `timeoutMs`, kills it on time-out.
RunResult runProgram(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env = {});


// The icon a static control of `window` shows; nullptr when none does.
HICON shownIcon(HWND window);
// What is wrong with the keyboard letters of a window, one line per fault:
// two labels or buttons that share a letter (the key then only moves the
// focus between them), a button other than OK and Cancel without one, or a
// field (edit, combo or list box) whose label has none. Read from outside.
std::vector<std::wstring> mnemonicFaults(HWND window);

// The display's resolution as this process sees it (dots per inch). Under
// Wine it is read from the registry when a process starts.
int screenDpi();

// Width of `text` on one line in the font of `control`, in pixels.
int textWidth(HWND control, const std::wstring& text);

// What is wrong with the layout of a window as it is shown, one line per
// fault: a visible child control that reaches outside the client area, two
// visible child controls that overlap, or a label, button or static text
// whose text does not fit (statics that wrap at their width and within
// their height, buttons on one line). Texts are measured with the
// controls' fonts, so call it from the process that owns the window. With
// an `allowancePercent`, each text must have room for that much more width
// (another system's font for the same face may draw it wider).
std::vector<std::wstring> layoutFaults(HWND window, int allowancePercent = 0);

// Presses button `id`: posts WM_COMMAND(BN_CLICKED) to the window.
bool pressButton(HWND window, int id);

// winkit::saveWindowPicture into <build>/screenshots/<name>.bmp: the path,
// or an empty string on failure.
std::wstring saveScreenshot(HWND window, const std::wstring& name);

// The file names (lower case) of the modules `process` has loaded; empty
// when they cannot be read.
std::vector<std::wstring> loadedModules(HANDLE process);

// A child run under our debugger: the texts it sent with OutputDebugString.
struct DebugRun : RunResult {
    std::vector<std::wstring> debugLines;
};

// Runs `cmdLine` as a debuggee and collects its debugger output, at most
// `timeoutMs`. `whileRunning`, when given, is called once on a separate
// thread with the child's process id (e.g. to close a window it shows).
DebugRun runWithDebugger(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env = {},
                         const std::function<void(DWORD pid)>& whileRunning = nullptr);

// A name no other test of this run uses (for pipes, events, settings); the
// files of a test lie in a testkit::ScratchFolder (test_kit.h).
std::wstring uniqueName(const std::wstring& what);
// Deletes the files it was given when it goes out of scope (those outside a
// scratch folder, such as settings files).
struct RemoveAtEnd {
    std::vector<std::wstring> paths;
    const std::wstring& add(const std::wstring& path) { paths.push_back(path); return paths.back(); }
    ~RemoveAtEnd() { for (const std::wstring& p : paths) DeleteFileW(p.c_str()); }
};

// A string resource of a loaded module, or of a module file (loaded as data
// for the call); empty when there is none.
std::wstring resourceString(HMODULE module, UINT id);
std::wstring resourceString(const std::wstring& moduleFile, UINT id);

} // namespace uitest
