// Helpers for tests that drive the real program from the outside: folders,
// child processes with time limits, top-level windows and their controls,
// button presses and screenshots. Every wait is bounded, so a test that goes
// wrong ends with a message instead of hanging.
#pragma once
#include <windows.h>

#include "app/core/command_line.h"
#include "tools/winkit/winkit.h"

#include <string>
#include <utility>
#include <vector>

namespace uitest {

// The running test program's folder (PrintvaneUI.exe and converter.exe lie
// there) and its parent, the build folder; texts, files, windows and
// pictures shared with the converter stand-in (winkit.h).
using winkit::programFolder;
using winkit::topLevelWindows;
using winkit::waitForWindow;
using winkit::writeFile;
inline std::string narrow(const std::wstring& text) { return winkit::utf8(text); }
std::wstring buildFolder();
std::wstring screenshotFolder();   // <build>/screenshots, created on demand
std::wstring programPath(const std::wstring& name);

// Quoting of arguments and whole command lines (app/core/command_line.h).
using ::commandLine;
using ::quoteArgument;

// Extra environment variables for a child (winkit.h).
using winkit::Environment;

// A child process. The destructor terminates a child that still runs.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `cmdLine` (the first token names the program). Returns false and
    // fills error() when the program cannot be started.
    bool start(const std::wstring& cmdLine, const Environment& env = {});
    // The same with standard output and error written to `outputFile`.
    bool startWithOutput(const std::wstring& cmdLine, const std::wstring& outputFile);
    // Starts `program` with exactly `cmdLine` as its command line (which may
    // be empty, or not name the program at all).
    bool startProgram(const std::wstring& program, const std::wstring& cmdLine);
    bool wait(DWORD timeoutMs);   // true when the process has ended
    bool running() const;
    // The full 32-bit exit code (valid after wait() returned true).
    DWORD exitCode() const;
    // Ends the process if it still runs (exit code 0xDEAD) and waits for it.
    void terminate();

    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    const std::wstring& error() const { return error_; }

private:
    bool launch(const std::wstring& cmdLine, const Environment& env, const wchar_t* program, HANDLE output);

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    std::wstring error_;
};

struct RunResult {
    bool started = false;
    bool ended = false;     // false: killed after the time limit
    DWORD exitCode = 0;
};

// Starts a program, waits at most `timeoutMs`, kills it on time-out.
RunResult runProgram(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env = {});


// Controls and their texts, read from the outside (winkit.h).
using winkit::ControlInfo;
using winkit::controlText;
using winkit::findControl;
using winkit::listControls;
using winkit::staticTexts;
using winkit::windowClass;
using winkit::windowText;
// True when `window` holds a static control that shows an icon.
bool hasIconControl(HWND window);
// The mnemonic of a control text (the character after a single '&',
// lower-cased), 0 for none.
wchar_t mnemonicOf(const std::wstring& text);

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
// controls' fonts, so call it from the process that owns the window.
std::vector<std::wstring> layoutFaults(HWND window);

// Presses button `id`: posts WM_COMMAND(BN_CLICKED) to the window.
bool pressButton(HWND window, int id);

// winkit::saveWindowPicture into <build>/screenshots/<name>.bmp: the path,
// or an empty string on failure.
std::wstring saveScreenshot(HWND window, const std::wstring& name);

// The screen pixels of `rect` (screen coordinates), row by row from the top.
// Empty when the rectangle is empty or too large.
std::vector<COLORREF> capturePixels(const RECT& rect);
// Counts of pixels whose colour is clearly red (red well above green and
// blue) and clearly blue (blue well above red and green).
struct ColorCounts {
    size_t red = 0;
    size_t blue = 0;
};
ColorCounts countStrongColors(const std::vector<COLORREF>& pixels);

// The file names (lower case) of the modules `process` has loaded; empty
// when they cannot be read.
std::vector<std::wstring> loadedModules(HANDLE process);

// A child run under our debugger: the texts it sent with OutputDebugString.
struct DebugRun {
    bool started = false;
    bool ended = false;
    DWORD exitCode = 0;
    std::vector<std::wstring> debugLines;
};

// Runs `cmdLine` as a debuggee and collects its debugger output, at most
// `timeoutMs`. `whileRunning`, when given, is called once on a separate
// thread with the child's process id (e.g. to close a window it shows).
DebugRun runWithDebugger(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env = {},
                         void (*whileRunning)(DWORD pid, void* context) = nullptr,
                         void* context = nullptr);

// Files for tests: a path in the temporary folder, a name no other test of
// this run uses, whole-file reads and writes.
std::wstring tempPath(const std::wstring& name);
std::wstring uniqueName(const std::wstring& what);
// The file's bytes; `exists` (when given) tells whether it could be opened.
std::string readFile(const std::wstring& path, bool* exists = nullptr);
// The lines of a text file, without their "\r\n" or "\n".
std::vector<std::string> readLines(const std::wstring& path);
// Deletes the files it was given when it goes out of scope.
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
