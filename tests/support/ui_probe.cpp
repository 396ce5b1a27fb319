#include "support/ui_probe.h"

#include <psapi.h>

#include <algorithm>
#include <cwctype>
#include <thread>

#include "app/core/display_text.h"

namespace uitest {

using Solvaris_Win32::WindowDc;

namespace {

bool isClass(const ControlInfo& c, const wchar_t* name) { return _wcsicmp(c.className.c_str(), name) == 0; }

bool createChild(const std::wstring& cmdLine, const Environment& env, DWORD flags, PROCESS_INFORMATION& pi,
                 std::wstring& error, const wchar_t* program = nullptr, HANDLE output = nullptr)
{
    if (winkit::startProcess(cmdLine, pi, env, flags, program, output))
        return true;
    error = L"CreateProcessW failed with error " + std::to_wstring(GetLastError()) + L": " + cmdLine;
    return false;
}

// The rectangle `text` needs in the font of `control`.
RECT measure(HWND control, const std::wstring& text, int width, UINT flags)
{
    WindowDc dc(control);
    Solvaris_Win32::SelectScope font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, width, 0};
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | flags);
    return r;
}

// The mnemonic of a control text, lower-cased, 0 for none.
wchar_t mnemonicOf(const std::wstring& text)
{
    return wchar_t(std::towlower(shownLabel(text).accessKey));
}

} // namespace

std::wstring buildFolder()
{
    const std::wstring program = winkit::programFolder();
    return program.substr(0, program.find_last_of(L'\\'));
}

std::wstring programPath(const std::wstring& name) { return winkit::programFolder() + L"\\" + name; }

Process::~Process() { terminate(); }

bool Process::launch(const std::wstring& cmdLine, const Environment& env, const wchar_t* program, HANDLE output)
{
    terminate();
    m_process.reset();
    PROCESS_INFORMATION pi;
    if (!createChild(cmdLine, env, 0, pi, m_error, program, output))
        return false;
    const Solvaris_Win32::UniqueHandle thread(pi.hThread);
    m_process.reset(pi.hProcess);
    m_pid = pi.dwProcessId;
    return true;
}

bool Process::start(const std::wstring& cmdLine, const Environment& env)
{
    return launch(cmdLine, env, nullptr, nullptr);
}

bool Process::startWithOutput(const std::wstring& cmdLine, const std::wstring& outputFile, const Environment& env)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    const Solvaris_Win32::UniqueHandle file(CreateFileW(outputFile.c_str(), GENERIC_WRITE,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        m_error = L"cannot create " + outputFile;
    return file && launch(cmdLine, env, nullptr, file.get());
}

bool Process::startProgram(const std::wstring& program, const std::wstring& cmdLine)
{
    return launch(cmdLine, {}, program.c_str(), nullptr);
}

bool Process::wait(DWORD timeoutMs) { return m_process && WaitForSingleObject(m_process.get(), timeoutMs) == WAIT_OBJECT_0; }

bool Process::running() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

DWORD Process::exitCode() const
{
    DWORD code = 0;
    if (m_process)
        GetExitCodeProcess(m_process.get(), &code);
    return code;
}

void Process::terminate()
{
    if (running()) {
        TerminateProcess(m_process.get(), 0xDEAD);
        WaitForSingleObject(m_process.get(), 5000);
    }
}

RunResult runProgram(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env)
{
    RunResult r;
    Process p;
    r.started = p.start(cmdLine, env);
    if (!r.started)
        return r;
    r.ended = winkit::waitForExit(p.handle(), timeoutMs, r.exitCode);
    return r;
}

HICON shownIcon(HWND window)
{
    for (const ControlInfo& c : listControls(window)) {
        DWORD_PTR icon = 0;
        if (isClass(c, L"Static") && (c.style & SS_TYPEMASK) == SS_ICON &&
            SendMessageTimeoutW(c.hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) && icon)
            return reinterpret_cast<HICON>(icon);
    }
    return nullptr;
}

std::vector<std::wstring> mnemonicFaults(HWND window)
{
    std::vector<std::wstring> faults;
    std::vector<std::pair<wchar_t, std::wstring>> letters;
    std::wstring label;
    for (const ControlInfo& c : listControls(window)) {
        if (GetParent(c.hwnd) != window)
            continue;
        const bool button = isClass(c, L"Button");
        if ((isClass(c, L"Static") || button) && !c.text.empty()) {
            const wchar_t m = mnemonicOf(c.text);
            for (const auto& [letter, text] : letters)
                if (m && letter == m)
                    faults.push_back(L"\"" + c.text + L"\" shares its letter with \"" + text + L"\"");
            letters.emplace_back(m, c.text);
            if (button && !m && (c.style & BS_TYPEMASK) != BS_GROUPBOX && c.id != IDOK && c.id != IDCANCEL)
                faults.push_back(L"\"" + c.text + L"\": an action without a letter");
            label = c.text;
        } else if ((isClass(c, L"Edit") || isClass(c, L"ComboBox") || isClass(c, L"ListBox")) && !mnemonicOf(label)) {
            faults.push_back(L"control " + std::to_wstring(c.id) + L" follows no label with a letter");
        }
    }
    return faults;
}

int screenDpi()
{
    WindowDc screen(nullptr);
    return screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
}

int textWidth(HWND control, const std::wstring& text) { return measure(control, text, 0, DT_SINGLELINE).right; }

std::wstring textFault(const ControlInfo& c, int allowancePercent)
{
    const LONG buttonType = c.style & BS_TYPEMASK;
    const LONG staticType = c.style & SS_TYPEMASK;
    const bool isButton = isClass(c, L"Button") && buttonType != BS_GROUPBOX && buttonType != BS_OWNERDRAW;
    const bool isStatic = isClass(c, L"Static") &&
                          (staticType <= SS_RIGHT || staticType == SS_SIMPLE || staticType == SS_LEFTNOWORDWRAP);
    if ((!isButton && !isStatic) || c.text.empty())
        return std::wstring();
    RECT client = {};
    GetClientRect(c.hwnd, &client);
    const bool wraps = isStatic && (staticType == SS_LEFT || staticType == SS_CENTER || staticType == SS_RIGHT);
    if (!wraps) {
        // A push button keeps a frame, a check box or radio button its box and gap.
        int room = client.right;
        if (isButton) {
            const bool boxed = buttonType == BS_AUTOCHECKBOX || buttonType == BS_CHECKBOX ||
                               buttonType == BS_AUTORADIOBUTTON || buttonType == BS_RADIOBUTTON ||
                               buttonType == BS_3STATE || buttonType == BS_AUTO3STATE;
            room -= boxed ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 6;
        }
        const int wide = (textWidth(c.hwnd, c.text) * (100 + allowancePercent) + 99) / 100;
        return wide <= room ? std::wstring()
                            : L"\"" + c.text + L"\" needs " + std::to_wstring(wide) + L" px, has " +
                                  std::to_wstring(room);
    }
    // A wrapping static: its lines at its width (less the allowance) must
    // fit its height.
    const int width = client.right * 100 / (100 + allowancePercent);
    const RECT need = measure(c.hwnd, c.text, width,
                              DT_WORDBREAK | DT_EXPANDTABS | ((c.style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
    if (need.right <= width && need.bottom <= client.bottom)
        return std::wstring();
    return L"\"" + c.text + L"\" needs " + std::to_wstring(need.right) + L" x " + std::to_wstring(need.bottom) +
           L" px, has " + std::to_wstring(client.right) + L" x " + std::to_wstring(client.bottom);
}

std::vector<std::wstring> layoutFaults(HWND window, int allowancePercent)
{
    std::vector<std::wstring> faults;
    RECT client = {};
    GetClientRect(window, &client);
    std::vector<std::pair<RECT, std::wstring>> placed;
    for (const ControlInfo& c : listControls(window)) {
        if (GetParent(c.hwnd) != window || !c.visible)
            continue;
        RECT r = c.rect;
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const std::wstring name = c.className + L" " + std::to_wstring(c.id) + L" \"" + c.text + L"\"";
        if (r.left < client.left || r.top < client.top || r.right > client.right || r.bottom > client.bottom)
            faults.push_back(name + L" reaches outside the window");
        for (const auto& [other, otherName] : placed) {
            RECT both;
            if (IntersectRect(&both, &r, &other))
                faults.push_back(name + L" overlaps " + otherName);
        }
        const std::wstring text = textFault(c, allowancePercent);
        if (!text.empty())
            faults.push_back(name + L": " + text);
        placed.emplace_back(r, name);
    }
    return faults;
}

bool pressButton(HWND window, int id)
{
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(findControl(window, id))) != FALSE;
}

std::wstring saveScreenshot(HWND window, const std::wstring& name)
{
    const std::wstring folder = buildFolder() + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".bmp";
    return winkit::saveWindowPicture(window, path) ? path : std::wstring();
}

namespace {

// Reads a debuggee's OutputDebugString text, bounded to 64 KiB.
std::wstring readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t length = std::min<size_t>(info.nDebugStringLength, 1u << 16);
    const size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
    std::string bytes(length * unit, '\0');
    SIZE_T got = 0;
    if (length == 0 || !info.lpDebugStringData ||
        !ReadProcessMemory(process, info.lpDebugStringData, &bytes[0], bytes.size(), &got))
        return std::wstring();
    std::wstring text;
    if (info.fUnicode) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), got / unit);
    } else {
        int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(got), nullptr, 0);
        text.assign(size_t(std::max(n, 0)), L'\0');
        if (n > 0)
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(got), &text[0], n);
    }
    return text.substr(0, text.find(L'\0'));
}

} // namespace

DebugRun runWithDebugger(const std::wstring& cmdLine, DWORD timeoutMs, const Environment& env,
                         const std::function<void(DWORD)>& whileRunning)
{
    DebugRun run;
    PROCESS_INFORMATION pi;
    std::wstring error;
    if (!createChild(cmdLine, env, DEBUG_ONLY_THIS_PROCESS, pi, error))
        return run;
    const Solvaris_Win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    run.started = true;
    DebugSetProcessKillOnExit(TRUE);
    std::thread helper;
    if (whileRunning)
        helper = std::thread([&] { whileRunning(pi.dwProcessId); });

    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < timeoutMs; elapsed = GetTickCount() - start) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, std::min<DWORD>(timeoutMs - elapsed, 200)))
            continue;
        DWORD status = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            run.debugLines.push_back(readDebugString(process.get(), ev.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT:
            // Breakpoints are ours to swallow; anything else goes to the program.
            if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        // The image files the events hand over are the debugger's to close.
        case CREATE_PROCESS_DEBUG_EVENT:
            Solvaris_Win32::UniqueHandle{ev.u.CreateProcessInfo.hFile}.reset();
            break;
        case LOAD_DLL_DEBUG_EVENT:
            Solvaris_Win32::UniqueHandle{ev.u.LoadDll.hFile}.reset();
            break;
        default:
            break;
        }
        const bool exited = ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && ev.dwProcessId == pi.dwProcessId;
        if (exited) {
            run.ended = true;
            run.exitCode = ev.u.ExitProcess.dwExitCode;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (exited)
            break;
    }
    if (!run.ended) {
        TerminateProcess(process.get(), 0xDEAD);
        DebugActiveProcessStop(pi.dwProcessId);
        WaitForSingleObject(process.get(), 5000);
    }
    if (helper.joinable())
        helper.join();
    return run;
}

std::wstring uniqueName(const std::wstring& what)
{
    static LONG serial = 0;
    return L"pvtest-" + what + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&serial));
}

std::wstring resourceString(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    const int n = module ? LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0) : 0;
    return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

std::wstring resourceString(const std::wstring& moduleFile, UINT id)
{
    const Solvaris_Win32::LoadedModule m(LoadLibraryExW(moduleFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return resourceString(m.get(), id);
}

std::vector<std::wstring> loadedModules(HANDLE process)
{
    std::vector<HMODULE> handles(512);
    DWORD bytes = 0;
    std::vector<std::wstring> names;
    if (!EnumProcessModules(process, handles.data(), DWORD(handles.size() * sizeof(HMODULE)), &bytes))
        return names;
    handles.resize(std::min<size_t>(handles.size(), bytes / sizeof(HMODULE)));
    for (HMODULE m : handles) {
        wchar_t name[MAX_PATH] = {};
        if (GetModuleBaseNameW(process, m, name, MAX_PATH))
            names.push_back(CharLowerW(name));
    }
    return names;
}

} // namespace uitest
