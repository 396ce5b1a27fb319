// Driving PrintvaneUI.exe from another process, shared by the converter
// stand-in and the Windows tests: the program's folder, UTF-8 texts,
// starting and ending child processes, waiting for a process's top-level
// windows, the server end of the progress pipe, and pictures of the screen
// as BMP files. Every wait is bounded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "baselib/svr_handle_win.h"
#include "baselib/svr_winutils.h"

namespace winkit {

// Folder of the running program, without a trailing separator.
std::wstring programFolder();

using Solvaris_Win32::utf8;
using Solvaris_Win32::wide;

// Writes the whole file, or removes what was written and returns false.
bool writeFile(const std::wstring& path, const void* bytes, size_t size);
inline bool writeFile(const std::wstring& path, const std::string& bytes)
{
    return writeFile(path, bytes.data(), bytes.size());
}

// Extra environment variables for a child: name, value. A variable named here
// replaces the inherited one; an empty value removes it.
using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// Starts `cmdLine` (its first token names the program unless `program` does)
// with `env` applied to this process's environment and, when `output` is
// given, standard output and error written there. False when it could not be
// started; GetLastError() then tells why.
bool startProcess(const std::wstring& cmdLine, PROCESS_INFORMATION& pi, const Environment& env = {},
                  DWORD flags = 0, const wchar_t* program = nullptr, HANDLE output = nullptr);

// Waits at most `limitMs` for `process`. True with its exit code when it
// ended; false when it did not (it is then terminated and `exitCode` holds
// what that left, normally 0xDEAD). The handle stays open.
bool waitForExit(HANDLE process, DWORD limitMs, DWORD& exitCode);

// The server end of a named byte pipe with one instance: the converter's
// end of the progress pipe. Its I/O is overlapped, so every operation waits
// at most the time it is given; on time-out the operation is cancelled and
// its end awaited, so no I/O is left running on a buffer that goes out of
// scope. Reads and writes wait on events of their own: one thread may write
// while another reads.
class ServerPipe {
public:
    // Creates the pipe with `bufferSize` bytes each way; valid() tells
    // whether that worked (GetLastError() then tells why not).
    explicit ServerPipe(const std::wstring& name, DWORD bufferSize = 4096);
    const std::wstring& name() const { return m_name; }
    bool valid() const { return bool(m_pipe); }
    // Waits for the client; gives up when `process` (when given) ends first.
    bool connect(HANDLE process, DWORD limitMs) const;
    // True once a client holds the other end.
    bool connected() const;
    // Writes all bytes; false on time-out or once the client is gone.
    bool write(const void* bytes, size_t size, DWORD limitMs) const;
    // Reads exactly `size` bytes, however they are split; each read waits at
    // most `limitMs`. False on time-out or at the end.
    bool read(void* bytes, DWORD size, DWORD limitMs) const;
    // A 4-byte little-endian value (the program's replies).
    bool readValue(uint32_t& value, DWORD limitMs) const;
    // Closes this end, the end of a job for the program. With `flush` it
    // first waits until the client has read everything.
    void close(bool flush = false);

private:
    std::wstring m_name;
    Solvaris_Win32::UniqueHandle m_pipe, m_writeDone, m_readDone;
};

// All visible top-level windows of process `pid` (of window class
// `className` when given, e.g. L"#32770") right now.
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className = nullptr);
// Waits up to `limitMs` for such a window other than `except`; null on
// time-out or when `process` (when given) ended first.
HWND waitForWindow(DWORD pid, DWORD limitMs, const wchar_t* className = nullptr, HANDLE process = nullptr,
                   HWND except = nullptr);

// One child control of a window, as read from the outside.
struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring className;
    std::wstring text;
    LONG style = 0;
    bool visible = false;
    RECT rect = {};         // screen coordinates
};

// Every child control (all levels) of `window`, in Z order.
std::vector<ControlInfo> listControls(HWND window);
HWND findControl(HWND window, int id);
// Texts through WM_GETTEXT (works across processes, bounded in time and
// length); empty for no control.
std::wstring windowText(HWND window);
std::wstring controlText(HWND window, int id);
std::wstring windowClass(HWND window);
// Texts of all static controls without SS_ICON, joined with `separator`: the
// message text of a message box, for example.
std::wstring staticTexts(HWND window, const wchar_t* separator = L"\n");

// The screen pixels of `rect` as 0x00RRGGBB, top row first; empty when the
// rectangle is empty or too large.
std::vector<DWORD> grabScreen(const RECT& rect);
// The same pixels as a 32-bit top-down BMP file.
bool savePicture(const RECT& rect, const std::wstring& path);
// Brings the window to the top, lets its process paint it (message round
// trips, bounded), and saves its screen rectangle with savePicture.
bool saveWindowPicture(HWND window, const std::wstring& path);

} // namespace winkit
