// The reader thread's trace lines on the program's standard output, read
// from a real -pipe run whose converter end this test holds.
#include "support/ui_probe.h"

#include "app/core/pipe_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace uitest;

namespace {

const DWORD kWait = 15000;

std::wstring tempFile(const std::wstring& name)
{
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return std::wstring(tmp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
}

std::string readAll(const std::wstring& path)
{
    std::string out;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(f);
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    return out;
}

// PrintvaneUI -pipe on a pipe this test serves, its standard output in a file.
class PipeRun {
public:
    PipeRun()
    {
        static int serial = 0;
        ++serial;
        const std::wstring name = L"\\\\.\\pipe\\pv-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(serial);
        out_ = tempFile(L"pvtest-pipetrace-" + std::to_wstring(serial) + L".txt");
        server_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536,
                                   0, nullptr);
        if (server_ == INVALID_HANDLE_VALUE)
            return;
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE file = CreateFileW(out_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = file;
        std::wstring cmd = commandLine(programPath(L"PrintvaneUI.exe"), {L"-pipe", name});
        started_ = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi_) != FALSE;
        CloseHandle(file);
        // The program opens the pipe at start. Until then the server end is
        // only listening; wait for the client (bounded, and not past the
        // program's end).
        started_ = started_ && waitFor([&] { return PeekNamedPipe(server_, nullptr, 0, nullptr, nullptr, nullptr); });
    }
    ~PipeRun()
    {
        closeServer();
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_OBJECT_0)
                TerminateProcess(pi_.hProcess, 0xDEAD);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        DeleteFileW(out_.c_str());
    }
    bool started() const { return started_; }
    bool send(const std::vector<uint8_t>& bytes)
    {
        DWORD written = 0;
        return WriteFile(server_, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    }
    // Asks for the window and reads the 4-byte answer, waiting at most kWait.
    HWND window()
    {
        if (!send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)))
            return nullptr;
        DWORD avail = 0;
        if (!waitFor([&] { return PeekNamedPipe(server_, nullptr, 0, nullptr, &avail, nullptr) && avail >= 4; }))
            return nullptr;
        uint8_t b[4];
        DWORD got = 0;
        if (!ReadFile(server_, b, 4, &got, nullptr) || got != 4)
            return nullptr;
        return reinterpret_cast<HWND>(uintptr_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24));
    }
    void closeServer()
    {
        if (server_ != INVALID_HANDLE_VALUE)
            CloseHandle(server_);
        server_ = INVALID_HANDLE_VALUE;
    }
    // Waits for the end; true with the full exit code when it came in time.
    bool ended(DWORD& code)
    {
        if (WaitForSingleObject(pi_.hProcess, kWait) != WAIT_OBJECT_0)
            return false;
        GetExitCodeProcess(pi_.hProcess, &code);
        return true;
    }
    std::string output() const { return readAll(out_); }

private:
    // Polls `condition` until it holds, at most kWait; false when the time
    // ran out or the program ended first.
    template <class F>
    bool waitFor(F condition)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kWait) {
            if (condition())
                return true;
            if (WaitForSingleObject(pi_.hProcess, 5) == WAIT_OBJECT_0)
                return condition();
        }
        return false;
    }

    HANDLE server_ = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi_ = {};
    std::wstring out_;
    bool started_ = false;
};

std::string rounds(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "PipeThread: Waiting...\nPipeThread: 1\n";
    return s;
}

} // namespace

// One round of "Waiting..." and the wait's result per record read; window
// queries are answered inside a round; the converter closing its end gives
// the closing line.
TEST(PipeTrace, ClosedByTheConverter)
{
    PipeRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.window());
    ASSERT_TRUE(run.send(encodePageCount(2)));
    ASSERT_TRUE(run.send(encodePipeText(PM_DOC_NAME, u"report")));
    ASSERT_TRUE(run.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0)));
    ASSERT_TRUE(run.window());
    run.closeServer();
    DWORD code = 1;
    ASSERT_TRUE(run.ended(code)) << "the window must close when the converter closes the pipe";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(rounds(4) + "PipeThread: pipe closed by the peer; exit anyway.\n", run.output());
}

// Cancel while the reader waits for a record that never comes: the reader
// shuts down and the program ends with 0 although the converter still holds
// the pipe.
TEST(PipeTrace, CancelledWhileTheConverterHoldsThePipe)
{
    PipeRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0)));
    HWND window = run.window();
    ASSERT_TRUE(window);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    DWORD code = 1;
    ASSERT_TRUE(run.ended(code)) << "Cancel must close the window";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(rounds(2) + "PipeThread: shutting down...\n", run.output());
}
