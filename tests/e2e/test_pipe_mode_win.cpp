// The -pipe mode of the real program: this test, or the converter stand-in,
// plays the converter and reads the progress window from the outside.
#include "app/core/pipe_protocol.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

// The converter's end: an overlapped server, so that no write or read here
// can hang the test.
class ConverterPipe {
public:
    ConverterPipe()
    {
        name = L"\\\\.\\pipe\\pv-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++s_serial);
        m_pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 4096,
                                  4096, 0, nullptr);
        m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~ConverterPipe()
    {
        close();
        CloseHandle(m_event);
    }
    bool connect(HANDLE child)
    {
        OVERLAPPED ov = {};
        ov.hEvent = m_event;
        if (ConnectNamedPipe(m_pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED)
            return true;
        HANDLE both[2] = {m_event, child};
        bool ok = WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
        DWORD ignored = 0;
        if (!ok)
            CancelIo(m_pipe);
        return GetOverlappedResult(m_pipe, &ov, &ignored, TRUE) && ok;
    }
    bool send(const Bytes& bytes) { return io(true, const_cast<uint8_t*>(bytes.data()), DWORD(bytes.size())); }
    bool reply(uint32_t& value)
    {
        uint8_t b[4];
        if (!io(false, b, 4))
            return false;
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
        return true;
    }
    void close()
    {
        if (m_pipe != INVALID_HANDLE_VALUE)
            CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }
    std::wstring name;

private:
    bool io(bool write, uint8_t* data, DWORD size)
    {
        DWORD done = 0;
        while (done < size) {
            OVERLAPPED ov = {};
            ov.hEvent = m_event;
            DWORD n = 0;
            BOOL ok = write ? WriteFile(m_pipe, data + done, size - done, &n, &ov)
                            : ReadFile(m_pipe, data + done, size - done, &n, &ov);
            if (!ok && GetLastError() == ERROR_IO_PENDING) {
                if (WaitForSingleObject(m_event, 5000) != WAIT_OBJECT_0)
                    CancelIo(m_pipe);
                ok = GetOverlappedResult(m_pipe, &ov, &n, TRUE);
            }
            if (!ok || n == 0)
                return false;
            done += n;
        }
        return true;
    }
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    HANDLE m_event = nullptr;
    static int s_serial;
};
int ConverterPipe::s_serial = 0;

std::wstring readUtf8File(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

size_t count(const std::wstring& text, const std::wstring& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(PipeMode, ProgressWindowShowsTheJobAndCancelEndsTheProgramWhileThePipeIsHeld)
{
    ConverterPipe pipe;
    uitest::Process program;
    ASSERT_TRUE(program.start(uitest::commandLine(uitest::programPath(L"PrintvaneUI.exe"), {L"-pipe", pipe.name})))
        << uitest::narrow(program.error());
    ASSERT_TRUE(pipe.connect(program.handle()));
    HWND w = uitest::waitForWindow(program.pid(), 15000, L"#32770", program.handle());
    ASSERT_TRUE(w);
    EXPECT_EQ(L"Converting...", uitest::windowText(w));
    EXPECT_EQ(L"Initializing Vellumjet...", uitest::controlText(w, 1003));

    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(pipe.send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)));
    for (int i = 0; i < 2; ++i) {
        uint32_t reply = 0;
        ASSERT_TRUE(pipe.reply(reply));
        EXPECT_EQ(uint32_t(reinterpret_cast<uintptr_t>(w)), reply);
    }

    pipe.send(encodePageCount(12));
    pipe.send(encodePipeText(PM_DOC_NAME, u"report"));
    pipe.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0));
    EXPECT_TRUE(uitest::waitUntil([&] { return uitest::controlText(w, 1003) == L"Page 1/12: Processing page image..."; }))
        << uitest::narrow(uitest::controlText(w, 1003));
    EXPECT_TRUE(uitest::waitUntil([&] { return uitest::windowText(w) == L"Converting to DjVu - report"; }));
    uitest::saveScreenshot(w, L"e2e_progress_mid");

    // The converter stops inside a record and holds the pipe; Cancel must
    // still end the program, with 0.
    Bytes half = encodePipeText(PM_STATUS_TEXT, u"never finished");
    half.resize(12);
    pipe.send(half);
    ASSERT_TRUE(uitest::pressButton(w, IDCANCEL));
    EXPECT_TRUE(program.wait(10000)) << "the program must end after Cancel";
    EXPECT_EQ(0u, program.exitCode());
    // Only now the converter learns of it: its next write fails.
    EXPECT_FALSE(pipe.send(encodePipeMessage(PM_TEXT, nullptr, 0)));
}

// The converter stand-in's script: several queries, a query with a payload,
// a zero-length record, a text without terminating zero, then a record cut
// short by the converter closing its end.
TEST(PipeMode, ConverterScriptWithQueriesOddRecordsAndACutRecord)
{
    std::wstring report = uitest::buildFolder() + L"\\pipe-script-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    auto run = uitest::runProgram(
        uitest::commandLine(uitest::programPath(L"converter.exe"),
                            {L"pipe", L"--report", report, L"window", L"query", L"query", L"query", L"count:2",
                             L"page", L"raw:W:4:01020304", L"query", L"raw:F:0", L"raw:m:6:610062006300",
                             L"status:done", L"raw:m:40:41004200", L"close"}),
        60000);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    std::wstring text = readUtf8File(report);
    EXPECT_EQ(4u, count(text, L": match")) << uitest::narrow(text);
    EXPECT_EQ(0u, count(text, L"MISMATCH"));
    EXPECT_EQ(1u, count(text, L"program ended with exit code 0 (0x00000000)"));
    EXPECT_EQ(1u, count(text, L"after the pipe was closed"));
    DeleteFileW(report.c_str());
}

TEST(PipeMode, ConverterScriptCancel)
{
    std::wstring report = uitest::buildFolder() + L"\\pipe-cancel-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    auto run = uitest::runProgram(uitest::commandLine(uitest::programPath(L"converter.exe"),
                                                      {L"pipe", L"--report", report, L"window", L"count:3", L"page",
                                                       L"sleep:200", L"cancel", L"wait-exit"}),
                                  60000);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    std::wstring text = readUtf8File(report);
    EXPECT_EQ(1u, count(text, L"exit code 0 (0x00000000)")) << uitest::narrow(text);
    EXPECT_EQ(1u, count(text, L"while the pipe was still open"));
    DeleteFileW(report.c_str());
}

// Runs in every user language the e2e folder is run in: the window's texts
// come from the language module; the pictures show whether they fit.
TEST(PipeMode, ScreenshotsInTheUsersLanguage)
{
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    ConverterPipe pipe;
    uitest::Process program;
    ASSERT_TRUE(program.start(uitest::commandLine(uitest::programPath(L"PrintvaneUI.exe"), {L"-pipe", pipe.name})));
    ASSERT_TRUE(pipe.connect(program.handle()));
    HWND w = uitest::waitForWindow(program.pid(), 15000, L"#32770", program.handle());
    ASSERT_TRUE(w);
    const std::wstring initial = uitest::controlText(w, 1003);
    EXPECT_FALSE(initial.empty());
    uitest::saveScreenshot(w, std::wstring(L"e2e_progress_start_") + locale);

    pipe.send(encodePipeText(PM_DOC_NAME, u"report"));
    pipe.send(encodePageCount(4));
    for (uint32_t kind : {PM_PAGE_BEGIN, PM_PAGE_BEGIN, PM_TEXT})
        pipe.send(encodePipeMessage(kind, nullptr, 0));
    EXPECT_TRUE(uitest::waitUntil([&] {
        std::wstring line = uitest::controlText(w, 1003);
        return line != initial && line.find(L"2/4") != std::wstring::npos;
    })) << uitest::narrow(uitest::controlText(w, 1003));
    EXPECT_TRUE(uitest::waitUntil([&] { return uitest::windowText(w).find(L"report") != std::wstring::npos; }));
    uitest::saveScreenshot(w, std::wstring(L"e2e_progress_mid_") + locale);
    pipe.close();
    EXPECT_TRUE(program.wait(10000));
    EXPECT_EQ(0u, program.exitCode());
}

TEST(PipeMode, PipeThatCannotBeOpenedEndsWithZeroAndLeavesNoProcess)
{
    for (std::wstring path : {L"\\\\.\\pipe\\pv-missing-" + std::to_wstring(GetCurrentProcessId()),
                              std::wstring(L"C:\\no such folder\\pipe")}) {
        uitest::Process program;
        ASSERT_TRUE(program.start(uitest::commandLine(uitest::programPath(L"PrintvaneUI.exe"), {L"-pipe", path})));
        EXPECT_TRUE(program.wait(15000)) << uitest::narrow(path) << ": the program must end by itself";
        EXPECT_EQ(0u, program.exitCode()) << uitest::narrow(path);
        EXPECT_FALSE(program.running());
    }
}

} // namespace
