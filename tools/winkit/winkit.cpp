#include "tools/winkit/winkit.h"

#include "baselib/svr_handle_win.h"

#include <algorithm>
#include <cwctype>
#include <map>

namespace winkit {

std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            const size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        }
        path.resize(path.size() * 2);
    }
}

bool writeFile(const std::wstring& path, const void* bytes, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return false;
    bool ok = false;
    {
        const Solvaris_Win32::UniqueHandle f(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f)
            return false;
        DWORD written = 0;
        ok = WriteFile(f.get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }  // closed before a failed file is deleted
    if (!ok)
        DeleteFileW(path.c_str());
    return ok;
}

namespace {

std::wstring upper(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

// The current environment with `env` applied, sorted and double-NUL
// terminated, as CreateProcessW wants it. Names compare without case.
std::wstring environmentBlock(const Environment& env)
{
    std::map<std::wstring, std::wstring> vars;   // upper-case name -> "Name=value"
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
            std::wstring entry(p);
            size_t eq = entry.find(L'=', 1);   // names like "=C:" start with '='
            if (eq != std::wstring::npos)
                vars[upper(entry.substr(0, eq))] = entry;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& kv : env) {
        if (kv.second.empty())
            vars.erase(upper(kv.first));
        else
            vars[upper(kv.first)] = kv.first + L"=" + kv.second;
    }
    std::wstring out;
    for (const auto& kv : vars)
        out += kv.second + L'\0';
    return out + L'\0';
}

} // namespace

bool startProcess(const std::wstring& cmdLine, PROCESS_INFORMATION& pi, const Environment& env, DWORD flags,
                  const wchar_t* program, HANDLE output)
{
    std::wstring cmd = cmdLine + L'\0';
    std::wstring block;
    if (!env.empty()) {
        block = environmentBlock(env);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = output;
    }
    pi = PROCESS_INFORMATION{};
    return CreateProcessW(program, &cmd[0], nullptr, nullptr, output != nullptr, flags,
                          block.empty() ? nullptr : &block[0], nullptr, &si, &pi) != FALSE;
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

namespace {

// Ends an overlapped operation started on `pipe`: waits at most `limitMs`,
// cancels it on time-out and always collects its result.
bool completeIo(HANDLE pipe, OVERLAPPED& ov, DWORD& done, DWORD limitMs)
{
    if (WaitForSingleObject(ov.hEvent, limitMs) != WAIT_OBJECT_0)
        CancelIo(pipe);
    return GetOverlappedResult(pipe, &ov, &done, TRUE) != FALSE;
}

} // namespace

ServerPipe::ServerPipe(const std::wstring& name, DWORD bufferSize) : m_name(name)
{
    // The pipe last, so that GetLastError() tells why it failed.
    m_writeDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_readDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_writeDone && m_readDone)
        m_pipe.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, bufferSize, bufferSize, 0,
                                     nullptr));
}

bool ServerPipe::connect(HANDLE process, DWORD limitMs) const
{
    OVERLAPPED ov = {};
    ov.hEvent = m_readDone.get();
    if (ConnectNamedPipe(m_pipe.get(), &ov) || GetLastError() == ERROR_PIPE_CONNECTED)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    HANDLE both[2] = {ov.hEvent, process};
    const DWORD r = WaitForMultipleObjects(process ? 2 : 1, both, FALSE, limitMs);
    DWORD ignored = 0;
    if (r == WAIT_OBJECT_0 && GetOverlappedResult(m_pipe.get(), &ov, &ignored, FALSE))
        return true;
    CancelIo(m_pipe.get());
    GetOverlappedResult(m_pipe.get(), &ov, &ignored, TRUE);
    return false;
}

bool ServerPipe::connected() const
{
    return PeekNamedPipe(m_pipe.get(), nullptr, 0, nullptr, nullptr, nullptr) != FALSE;
}

bool ServerPipe::write(const void* bytes, size_t size, DWORD limitMs) const
{
    OVERLAPPED ov = {};
    ov.hEvent = m_writeDone.get();
    DWORD written = 0;
    bool ok = WriteFile(m_pipe.get(), bytes, DWORD(size), &written, &ov) != FALSE;
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = completeIo(m_pipe.get(), ov, written, limitMs);
    return ok && written == size;
}

bool ServerPipe::read(void* bytes, DWORD size, DWORD limitMs) const
{
    for (DWORD have = 0; have < size;) {
        OVERLAPPED ov = {};
        ov.hEvent = m_readDone.get();
        DWORD got = 0;
        bool ok = ReadFile(m_pipe.get(), static_cast<uint8_t*>(bytes) + have, size - have, &got, &ov) != FALSE;
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = completeIo(m_pipe.get(), ov, got, limitMs);
        if (!ok || got == 0)
            return false;
        have += got;
    }
    return true;
}

bool ServerPipe::readValue(uint32_t& value, DWORD limitMs) const
{
    uint8_t b[4];
    if (!read(b, 4, limitMs))
        return false;
    value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
    return true;
}

void ServerPipe::close(bool flush)
{
    if (m_pipe && flush) {
        FlushFileBuffers(m_pipe.get());
        DisconnectNamedPipe(m_pipe.get());
    }
    m_pipe.reset();
}

namespace {

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t name[256] = {};
    if (pid == s->pid && IsWindowVisible(hwnd) &&
        (!s->className || (GetClassNameW(hwnd, name, 256) > 0 && _wcsicmp(name, s->className) == 0)))
        s->found.push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className)
{
    WindowSearch s{pid, className, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND waitForWindow(DWORD pid, DWORD limitMs, const wchar_t* className, HANDLE process, HWND except)
{
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : topLevelWindows(pid, className))
            if (w != except)
                return w;
        if (GetTickCount() - start >= limitMs)
            return nullptr;
        if (process ? WaitForSingleObject(process, 25) == WAIT_OBJECT_0 : (Sleep(25), false))
            return nullptr;
    }
}

namespace {

BOOL CALLBACK collectChild(HWND hwnd, LPARAM lp)
{
    ControlInfo c;
    c.hwnd = hwnd;
    c.id = GetDlgCtrlID(hwnd);
    c.className = windowClass(hwnd);
    c.text = windowText(hwnd);
    c.style = GetWindowLongW(hwnd, GWL_STYLE);
    c.visible = IsWindowVisible(hwnd) != FALSE;
    GetWindowRect(hwnd, &c.rect);
    reinterpret_cast<std::vector<ControlInfo>*>(lp)->push_back(c);
    return TRUE;
}

} // namespace

std::vector<ControlInfo> listControls(HWND window)
{
    std::vector<ControlInfo> out;
    if (window)
        EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

HWND findControl(HWND window, int id)
{
    for (const ControlInfo& c : listControls(window))
        if (c.id == id)
            return c.hwnd;
    return nullptr;
}

std::wstring windowText(HWND window)
{
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len))
        return std::wstring();
    // Bounded: a control that claims a huge length is read up to 1 MiB.
    len = std::min<DWORD_PTR>(len, 1u << 20);
    std::wstring text(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, 2000, &got))
        return std::wstring();
    text.resize(std::min<DWORD_PTR>(got, len));
    return text;
}

std::wstring controlText(HWND window, int id)
{
    HWND c = findControl(window, id);
    return c ? windowText(c) : std::wstring();
}

std::wstring windowClass(HWND window)
{
    wchar_t name[256] = {};
    int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? n : 0);
}

std::wstring staticTexts(HWND window, const wchar_t* separator)
{
    std::wstring out;
    for (const ControlInfo& c : listControls(window)) {
        if (_wcsicmp(c.className.c_str(), L"Static") != 0 || (c.style & SS_TYPEMASK) == SS_ICON || c.text.empty())
            continue;
        out += (out.empty() ? L"" : separator) + c.text;
    }
    return out;
}

std::vector<DWORD> grabScreen(const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<DWORD> out;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return out;
    const Solvaris_Win32::WindowDc screen(nullptr);
    const Solvaris_Win32::MemoryDc mem(CreateCompatibleDC(screen.get()));
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const Solvaris_Win32::GdiObject<HBITMAP> dib(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (dib && bits) {
        const Solvaris_Win32::SelectScope selected(mem.get(), dib.get());
        if (BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY)) {
            GdiFlush();
            out.assign(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + size_t(w) * h);
        }
    }
    return out;
}

bool savePicture(const RECT& r, const std::wstring& path)
{
    std::vector<DWORD> pixels = grabScreen(r);
    if (pixels.empty())
        return false;
    // Every pixel opaque: GDI leaves the fourth byte 0, which viewers take
    // as alpha.
    for (DWORD& p : pixels)
        p |= 0xFF000000u;
    BITMAPINFOHEADER ih = {sizeof ih, r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ih.biSizeImage = DWORD(pixels.size() * 4);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&fh), sizeof fh);
    bytes.append(reinterpret_cast<const char*>(&ih), sizeof ih);
    bytes.append(reinterpret_cast<const char*>(pixels.data()), ih.biSizeImage);
    return writeFile(path, bytes);
}

bool saveWindowPicture(HWND window, const std::wstring& path)
{
    if (!window || !IsWindow(window))
        return false;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    // The owning process paints in its own message loop: a few round trips
    // through it, each bounded, let the paint messages go first.
    for (int i = 0; i < 10; ++i) {
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &ignored);
        Sleep(20);
    }
    RECT r;
    return GetWindowRect(window, &r) && savePicture(r, path);
}

} // namespace winkit
