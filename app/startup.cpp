#include "app/startup.h"

#include "app/core/command_line.h"
#include "app/core/display_text.h"
#include "app/language.h"
#include "app/messages.h"
#include "app/modes.h"
#include "app/process_identity.h"
#include "app/resources.h"
#include "baselib/svr_handle_win.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <utility>


namespace {

// COM for the length of one run.
class ComSession {
public:
    ComSession() { CoInitialize(nullptr); }
    ~ComSession() { CoUninitialize(); }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
};

// A window handle from its decimal value on the converter's side. Window
// handles carry 32 significant bits on every Windows; a 64-bit process
// widens them with the sign, as LongToHandle does, so that a 32-bit
// converter's value names the same window in either build.
HWND windowFromNumber(int32_t value)
{
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
}

int runParam(wchar_t** argv)
{
    ParamArguments args;
    args.settingsName = argv[2];
    args.imagePath = argv[3];
    HWND owner = windowFromNumber(parseLenientDecimal(argv[4]));
    args.resolution = parseLenientDecimal(argv[5]);
    args.width = parseLenientDecimal(argv[6]);
    args.height = parseLenientDecimal(argv[7]);
    args.page = parseLenientDecimal(argv[8]);
    // A handle that names no window (the converter's window may have closed
    // meanwhile) would keep the dialog from being created at all; treat it
    // like no owner.
    if (!owner || !IsWindow(owner))
        owner = chooseOwnerWindow();
    // No mode starts GDI+: the page preview scales the page itself and
    // paints with plain GDI (app/preview.h).
    return runParamMode(args, owner);
}

int runPipe(wchar_t** argv)
{
    // Passed on as it comes back, valid or not: the progress window deals
    // with a pipe that could not be opened, and closes it.
    Solvaris_Win32::UniqueHandle pipe(
        CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kPipeOpenFlags, nullptr));
    runPipeMode(std::move(pipe), chooseOwnerWindow());
    return 0;
}

// A message text from the converter as it is drawn: in the order it was
// sent, without bidirectional overrides or control characters.
std::wstring shownText(const wchar_t* text)
{
    const std::u16string shown = displayText(reinterpret_cast<const char16_t*>(text), TextLines::Many);
    return std::wstring(shown.begin(), shown.end());
}

int dispatch(HINSTANCE instance, int argc, wchar_t** argv)
{
    switch (selectMode(argc, argv)) {
    case Mode::Param:
        return runParam(argv);
    case Mode::ErrorMessage:
        showErrorMessage(instance, shownText(argv[2]).c_str(), parseLenientDecimal(argv[3]));
        return 0;
    case Mode::PlainMessage:
        showPlainMessage(instance, shownText(argv[2]).c_str());
        return 0;
    case Mode::Pipe:
        return runPipe(argv);
    case Mode::Invalid:
        break;
    }
    return -1;
}

bool equalsIgnoringAsciiCase(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return i == a.size() && b[i] == 0;
}

// This process's parent, from the system's record of the process (0 when
// it cannot be had). The record's layout is the documented one of
// ProcessBasicInformation; the function is looked up in ntdll at run time.
DWORD parentProcessId()
{
    struct BasicInformation {
        LONG exitStatus;
        void* peb;
        ULONG_PTR affinityMask;
        LONG basePriority;
        ULONG_PTR processId;
        ULONG_PTR parentProcessId;
    } info = {};
    using QueryFn = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto query =
        ntdll ? reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")))
              : nullptr;
    const ULONG kProcessBasicInformation = 0;
    if (!query || query(GetCurrentProcess(), kProcessBasicInformation, &info, sizeof info, nullptr) < 0)
        return 0;
    return DWORD(info.parentProcessId);
}

uint64_t creationTime(HANDLE process)
{
    FILETIME created = {}, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return (uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The program file name (without its folder) of an opened process; empty
// when the system does not give it.
std::wstring programFileName(HANDLE process)
{
    std::wstring path(32768, L'\0');
    DWORD size = DWORD(path.size());
    if (!QueryFullProcessImageNameW(process, 0, &path[0], &size))
        return std::wstring();
    path.resize(size);
    return path.substr(path.find_last_of(L"\\/") + 1);
}

// The program file name of process `id` from a list of every process (the
// way when the process itself cannot be opened); empty when it is not found.
std::wstring snapshotFileName(DWORD id)
{
    const Solvaris_Win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return std::wstring();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == id) {
            // szExeFile is a fixed array: bound the name by it.
            size_t len = 0;
            while (len < MAX_PATH && entry.szExeFile[len])
                ++len;
            return std::wstring(entry.szExeFile, len);
        }
        entry.dwSize = sizeof entry;
    }
    return std::wstring();
}

} // namespace

bool isParentSplwow64()
{
    const DWORD parent = parentProcessId();
    if (parent == 0)
        return false;
    std::wstring name;
    const Solvaris_Win32::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent));
    if (process) {
        // Process ids are reused: a parent that has ended may have passed
        // its id on to a process started after this one.
        if (creationTime(process.get()) > creationTime(GetCurrentProcess()))
            return false;
        name = programFileName(process.get());
    }
    if (name.empty())   // not to be opened, or no name given: the list of processes
        name = snapshotFileName(parent);
    return equalsIgnoringAsciiCase(name, L"splwow64.exe");
}

HWND chooseOwnerWindow()
{
    return isParentSplwow64() ? nullptr : GetActiveWindow();
}

int runStartup(HINSTANCE instance, int argc, wchar_t** argv)
{
    // Judged before anything else can show: not even the box for a bad
    // command line appears for the local system account.
    if (const wchar_t* reason = windowlessReason(currentProcessIdentity()))
        return runWithoutWindows(reason, argc, argv);
    if (argc < 2 || !argv) {
        MessageBoxW(nullptr, L"Invalid argument.", L"Printvane-UI", MB_ICONERROR | MB_SYSTEMMODAL);
        return -1;
    }
    // Libraries are never looked for in the current folder.
    SetDllDirectoryW(L"");
    ComSession com;

    // Never null: without a module for the user's language the program's own
    // resources serve.
    setResourceModules(loadLanguageModule(), instance);
    return dispatch(instance, argc, argv);
}
