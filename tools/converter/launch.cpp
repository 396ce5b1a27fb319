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
