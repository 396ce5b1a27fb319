// Driving PrintvaneUI.exe's windows from another process, shared by the
// converter stand-in and the Windows tests: the program's folder, UTF-8
// texts, waiting for a process's top-level windows, and pictures of the
// screen as BMP files. Every wait is bounded.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace winkit {

// Folder of the running program, without a trailing separator.
std::wstring programFolder();

std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8Text);

// Writes the whole file, or removes what was written and returns false.
bool writeFile(const std::wstring& path, const void* bytes, size_t size);
inline bool writeFile(const std::wstring& path, const std::string& bytes)
{
    return writeFile(path, bytes.data(), bytes.size());
}

// All visible top-level windows of process `pid` (of window class
// `className` when given, e.g. L"#32770") right now.
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className = nullptr);
// Waits up to `limitMs` for such a window other than `except`; null on
// time-out or when `process` (when given) ended first.
HWND waitForWindow(DWORD pid, DWORD limitMs, const wchar_t* className = nullptr, HANDLE process = nullptr,
                   HWND except = nullptr);

// The screen pixels of `rect` as 0x00RRGGBB, top row first; empty when the
// rectangle is empty or too large.
std::vector<DWORD> grabScreen(const RECT& rect);
// The same pixels as a 32-bit top-down BMP file.
bool savePicture(const RECT& rect, const std::wstring& path);
// Brings the window to the top, lets its process paint it (message round
// trips, bounded), and saves its screen rectangle with savePicture.
bool saveWindowPicture(HWND window, const std::wstring& path);

} // namespace winkit
