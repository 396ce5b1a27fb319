// converter show: starts PrintvaneUI.exe with a message-mode command line as
// the converter does when it has something to tell the user, reports what the
// box says and the program's exit code.
//
//   converter show [--auto] [--shot FILE.bmp] ARGS...
//
// Without --auto the user closes the box. With --auto the stand-in closes it
// itself after a short look (for machines without a user). --shot saves a
// picture of the box first.
#include "tools/converter/commands.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findBox(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<BoxSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (pid == s->pid && IsWindowVisible(hwnd) && std::wcscmp(cls, L"#32770") == 0) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Texts of the box's static controls: its message.
BOOL CALLBACK collectText(HWND hwnd, LPARAM lp)
{
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (_wcsicmp(cls, L"Static") != 0 || (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        return TRUE;
    int n = GetWindowTextLengthW(hwnd);
    if (n <= 0 || n > 65536)
        return TRUE;
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], n + 1)));
    auto* out = reinterpret_cast<std::wstring*>(lp);
    if (!out->empty())
        *out += L" / ";
    *out += text;
    return TRUE;
}

std::string utf8(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// The window's rectangle as seen on the screen, as a 24-bit BMP file.
bool savePicture(HWND window, const std::wstring& path)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&ih), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(mem, old);
        DWORD size = ((static_cast<DWORD>(w) * 3 + 3) & ~3u) * static_cast<DWORD>(h);
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof ih;
        fh.bfSize = fh.bfOffBits + size;
        ih.biSizeImage = size;
        HANDLE f = ok ? CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                      : INVALID_HANDLE_VALUE;
        ok = f != INVALID_HANDLE_VALUE;
        if (ok) {
            DWORD n = 0;
            ok = WriteFile(f, &fh, sizeof fh, &n, nullptr) && WriteFile(f, &ih, sizeof ih, &n, nullptr) &&
                 WriteFile(f, bits, size, &n, nullptr) && n == size;
            CloseHandle(f);
            if (!ok)
                DeleteFileW(path.c_str());
        }
    }
    if (dib)
        DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

std::wstring quoteArg(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

int commandShow(const Args& all)
{
    bool automatic = false;
    std::wstring shot;
    size_t i = 0;
    for (; i < all.size(); ++i) {
        if (all[i] == L"--auto")
            automatic = true;
        else if (all[i] == L"--shot" && i + 1 < all.size())
            shot = all[++i];
        else
            break;
    }
    std::wstring exe = programFolder() + L"PrintvaneUI.exe";
    std::wstring cmd = quoteArg(exe);
    for (; i < all.size(); ++i)
        cmd += L" " + quoteArg(all[i]);

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("PrintvaneUI.exe could not be started (error %lu)\n", GetLastError());
        return 2;
    }
    CloseHandle(pi.hThread);

    // Wait (bounded) for the box, or for the end when no box comes.
    BoxSearch search = {pi.dwProcessId, nullptr};
    for (int tries = 0; tries < 400 && !search.found; ++tries) {
        if (WaitForSingleObject(pi.hProcess, 25) == WAIT_OBJECT_0)
            break;
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found) {
        wchar_t title[256] = {};
        GetWindowTextW(search.found, title, 256);
        std::wstring text;
        EnumChildWindows(search.found, collectText, reinterpret_cast<LPARAM>(&text));
        std::printf("box \"%s\": %s\n", utf8(title).c_str(), utf8(text).c_str());
        std::fflush(stdout);
        if (!shot.empty()) {
            Sleep(300);   // let it finish painting
            std::printf(savePicture(search.found, shot) ? "picture: %s\n" : "no picture: %s\n",
                        utf8(shot).c_str());
        }
        if (automatic) {
            Sleep(1500);
            PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    } else {
        std::printf("no box\n");
    }
    // The user may take as long as they like; an automatic run is bounded.
    DWORD limit = automatic ? 30000 : INFINITE;
    if (WaitForSingleObject(pi.hProcess, limit) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 0xDEAD);
        std::printf("PrintvaneUI.exe did not end\n");
        CloseHandle(pi.hProcess);
        return 2;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    std::printf("exit code: %ld (0x%08lx)\n", static_cast<long>(code), static_cast<unsigned long>(code));
    return 0;
}
