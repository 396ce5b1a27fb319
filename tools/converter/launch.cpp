// Process, window, picture and pipe helpers shared by the converter commands.
#include "tools/converter/launch.h"

#include "app/core/command_line.h"

#include <cstdint>
#include <cstdio>

namespace {
std::wstring g_program;   // --program: the PrintvaneUI.exe to start
}

void setPrintvanePath(const std::wstring& path) { g_program = path; }

std::wstring printvanePath() { return g_program.empty() ? programFolder() + L"\\PrintvaneUI.exe" : g_program; }


Child startPrintvane(const Args& args)
{
    const std::wstring exe = printvanePath();
    PROCESS_INFORMATION pi;
    Child c;
    if (winkit::startProcess(commandLine(exe, args), pi, {}, 0, exe.c_str())) {
        const Solvaris_Win32::UniqueHandle thread(pi.hThread);
        c.process.reset(pi.hProcess);
        c.pid = pi.dwProcessId;
        // The page dialog may then come to the front. Only a process that
        // may set the foreground window itself can pass that on; otherwise
        // this changes nothing and the dialog flashes for attention.
        AllowSetForegroundWindow(c.pid);
    }
    return c;
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
    if (!writeFile(reportPath, line.data(), line.size())) {
        std::printf("the report %s could not be written\n", utf8(reportPath).c_str());
        return 2;
    }
    return 0;
}

HWND waitForDialog(const Child& child, DWORD limitMs, HWND except)
{
    return winkit::waitForWindow(child.pid, limitMs, L"#32770", child.process.get(), except);
}
