// Process, window, picture and pipe helpers shared by the converter commands.
#include "tools/converter/launch.h"

#include "app/core/command_line.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

namespace {
std::wstring g_program;   // --program: the PrintvaneUI.exe to start
}

void setPrintvanePath(const std::wstring& path) { g_program = path; }

std::wstring printvanePath() { return g_program.empty() ? programFolder() + L"PrintvaneUI.exe" : g_program; }


std::string utf8(const std::wstring& text)
{
    const int size = static_cast<int>(text.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], n, nullptr, nullptr);
    return out;
}

bool writeWholeFile(const std::wstring& path, const void* bytes, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return false;
    bool ok = false;
    {
        Solvaris_Win32::UniqueHandle f(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f)
            return false;
        DWORD written = 0;
        ok = WriteFile(f.get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }
    if (!ok)
        DeleteFileW(path.c_str());
    return ok;
}

Child startPrintvane(const Args& args)
{
    const std::wstring exe = printvanePath();
    std::wstring cmd = commandLine(exe, args);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    Child c;
    if (CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Solvaris_Win32::UniqueHandle thread(pi.hThread);
        c.process.reset(pi.hProcess);
        c.pid = pi.dwProcessId;
    }
    return c;
}

bool waitForExit(HANDLE process, DWORD limitMs, DWORD& exitCode)
{
    const bool ended = WaitForSingleObject(process, limitMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
    }
    exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    return ended;
}

DWORD finish(Child& child, DWORD limitMs)
{
    if (!child.process)
        return DWORD(-1);
    DWORD code = 0;
    waitForExit(child.process.get(), limitMs, code);
    child.process.reset();
    return code;
}

int reportExit(Child& child, DWORD limitMs, const std::wstring& reportPath)
{
    DWORD code = 0;
    const bool ended = waitForExit(child.process.get(), limitMs, code);
    child.process.reset();
    if (!ended) {
        std::printf("PrintvaneUI.exe did not end\n");
        return 2;
    }
    std::printf("exit code: %ld (0x%08lx)\n", static_cast<long>(code), static_cast<unsigned long>(code));
    if (reportPath.empty())
        return 0;
    const std::string line = std::to_string(static_cast<long>(static_cast<int32_t>(code))) + "\n";
    if (!writeWholeFile(reportPath, line.data(), line.size())) {
        std::printf("the report %s could not be written\n", utf8(reportPath).c_str());
        return 2;
    }
    return 0;
}

namespace {

struct DialogSearch {
    DWORD pid;
    HWND except;
    HWND found;
};

BOOL CALLBACK findDialog(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<DialogSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (pid == s->pid && w != s->except && IsWindowVisible(w) && std::wcscmp(cls, L"#32770") == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND waitForDialog(const Child& child, DWORD limitMs, HWND except)
{
    const DWORD step = 25;
    for (DWORD waited = 0;; waited += step) {
        DialogSearch s{child.pid, except, nullptr};
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&s));
        if (s.found)
            return s.found;
        if (waited >= limitMs || WaitForSingleObject(child.process.get(), step) == WAIT_OBJECT_0)
            return nullptr;
    }
}

bool saveWindowPicture(HWND window, const std::wstring& path)
{
    RECT r;
    return GetWindowRect(window, &r) && saveScreenPicture(r, path);
}

bool saveScreenPicture(const RECT& r, const std::wstring& path)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return false;
    Solvaris_Win32::WindowDc screenDc(nullptr);
    const HDC screen = screenDc.get();
    Solvaris_Win32::MemoryDc memDc(CreateCompatibleDC(screen));
    const HDC mem = memDc.get();
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    void* bits = nullptr;
    Solvaris_Win32::GdiObject<HBITMAP> dib(
        CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&ih), DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (dib && bits) {
        {
            Solvaris_Win32::SelectScope selected(mem, dib.get());
            ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
            GdiFlush();
        }
        const DWORD size = ((static_cast<DWORD>(w) * 3 + 3) & ~3u) * static_cast<DWORD>(h);
        ih.biSizeImage = size;
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof ih;
        fh.bfSize = fh.bfOffBits + size;
        if (ok) {
            std::vector<uint8_t> file(fh.bfSize);
            memcpy(&file[0], &fh, sizeof fh);
            memcpy(&file[sizeof fh], &ih, sizeof ih);
            memcpy(&file[fh.bfOffBits], bits, size);
            ok = writeWholeFile(path, file.data(), file.size());
        }
    }
    return ok;
}

namespace {

// Ends an overlapped operation started on `pipe`: waits at most `limitMs`,
// cancels it on time-out and always collects its result.
bool completeIo(HANDLE pipe, HANDLE event, OVERLAPPED& ov, DWORD& done, DWORD limitMs)
{
    if (WaitForSingleObject(event, limitMs) != WAIT_OBJECT_0)
        CancelIo(pipe);
    return GetOverlappedResult(pipe, &ov, &done, TRUE) != FALSE;
}

} // namespace

bool writeWithLimit(HANDLE pipe, HANDLE event, const void* bytes, DWORD size, DWORD limitMs)
{
    OVERLAPPED ov = {};
    ov.hEvent = event;
    DWORD written = 0;
    bool ok = WriteFile(pipe, bytes, size, &written, &ov) != FALSE;
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = completeIo(pipe, event, ov, written, limitMs);
    return ok && written == size;
}

bool readWithLimit(HANDLE pipe, HANDLE event, void* bytes, DWORD size, DWORD& got, DWORD limitMs)
{
    OVERLAPPED ov = {};
    ov.hEvent = event;
    got = 0;
    bool ok = ReadFile(pipe, bytes, size, &got, &ov) != FALSE;
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = completeIo(pipe, event, ov, got, limitMs);
    return ok && got > 0;
}

bool connectWithLimit(HANDLE pipe, HANDLE event, HANDLE process, DWORD limitMs)
{
    OVERLAPPED ov = {};
    ov.hEvent = event;
    if (ConnectNamedPipe(pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    HANDLE both[2] = {event, process};
    const DWORD r = WaitForMultipleObjects(process ? 2 : 1, both, FALSE, limitMs);
    DWORD ignored = 0;
    if (r == WAIT_OBJECT_0 && GetOverlappedResult(pipe, &ov, &ignored, FALSE))
        return true;
    CancelIo(pipe);
    GetOverlappedResult(pipe, &ov, &ignored, TRUE);
    return false;
}
