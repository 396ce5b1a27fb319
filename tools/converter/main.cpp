// converter.exe: stands in for the printer driver's converter. It starts
// PrintvaneUI.exe as the converter does and reads its real exit codes.
//   converter run ARGS...     start PrintvaneUI.exe with ARGS, print its exit code
#include "tools/converter/commands.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
struct Command {
    const wchar_t* name;
    int (*run)(const Args&);
};
const Command kCommands[] = {
    {L"run", commandRun},
    {L"demo", commandDemo},
    {L"show", commandShow},
    {L"pipe", commandPipe},
};
} // namespace

std::wstring programFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

static std::wstring quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

bool runPrintvane(const Args& args, unsigned long& exitCode, unsigned long timeoutMs)
{
    std::wstring exe = programFolder() + L"PrintvaneUI.exe";
    std::wstring cmd = quote(exe);
    for (const std::wstring& a : args)
        cmd += L" " + quote(a);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    bool ended = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(pi.hProcess, 0xDEAD);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    exitCode = code;
    return ended;
}

int commandRun(const Args& args)
{
    unsigned long code = 0;
    if (!runPrintvane(args, code)) {
        std::printf("PrintvaneUI.exe could not be started or did not end\n");
        return 2;
    }
    std::printf("exit code: %ld (0x%08lx)\n", static_cast<long>(code), code);
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 2) {
        for (const Command& c : kCommands) {
            if (std::wcscmp(argv[1], c.name) == 0)
                return c.run(Args(argv + 2, argv + argc));
        }
    }
    std::printf("usage: converter run ARGS...\n");
    return 2;
}
