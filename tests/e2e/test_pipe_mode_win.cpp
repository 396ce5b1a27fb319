// The -pipe mode of the real program, fed by the converter stand-in, which
// checks the window-query replies and reports how the program ended. What
// the window shows is read in the progress window's own tests.
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring readUtf8File(const std::wstring& path)
{
    const std::string s = uitest::readFile(path);
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

// Runs "converter pipe STEPS" and gives its report.
std::wstring runConverter(const std::vector<std::wstring>& steps, DWORD& exitCode)
{
    static int serial = 0;
    std::wstring report = uitest::buildFolder() + L"\\pipe-report-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++serial) + L".txt";
    std::vector<std::wstring> args = {L"pipe", L"--report", report};
    args.insert(args.end(), steps.begin(), steps.end());
    auto run = uitest::runProgram(uitest::commandLine(uitest::programPath(L"converter.exe"), args), 60000);
    EXPECT_TRUE(run.started && run.ended);
    exitCode = run.exitCode;
    std::wstring text = readUtf8File(report);
    DeleteFileW(report.c_str());
    return text;
}

std::wstring shot(const std::wstring& name) { return L"shot:" + uitest::screenshotFolder() + L"\\" + name + L".bmp"; }

// Several queries, a query with a payload, a zero-length record, a text
// without terminating zero, then a record cut short by the converter
// closing its end.
TEST(PipeMode, QueriesOddRecordsAndARecordCutByTheConverter)
{
    DWORD code = 1;
    std::wstring text = runConverter({L"window", L"query", L"query", L"query", L"count:2", L"page",
                                      L"raw:W:4:01020304", L"query", L"raw:F:0", L"raw:m:6:610062006300",
                                      L"status:done", L"raw:m:40:41004200", L"close"},
                                     code);
    EXPECT_EQ(0u, code) << uitest::narrow(text);
    EXPECT_EQ(4u, count(text, L": match"));
    EXPECT_EQ(0u, count(text, L"MISMATCH"));
    EXPECT_EQ(1u, count(text, L"program ended with exit code 0 (0x00000000)"));
    EXPECT_EQ(1u, count(text, L"after the pipe was closed"));
}

// Runs in every user language the e2e folder is run in: the window's texts
// come from the language module; the pictures show whether they fit.
TEST(PipeMode, ScreenshotsInTheUsersLanguage)
{
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    DWORD code = 1;
    std::wstring text = runConverter({L"window", shot(std::wstring(L"e2e_progress_start_") + locale), L"doc:report",
                                      L"count:4", L"page", L"page", L"text", L"sleep:300",
                                      shot(std::wstring(L"e2e_progress_mid_") + locale), L"close"},
                                     code);
    EXPECT_EQ(0u, code) << uitest::narrow(text);
    EXPECT_EQ(2u, count(text, L": saved"));
}

// Cancel while the converter holds the pipe is run in PipeTrace.
TEST(PipeMode, PipeThatCannotBeOpenedEndsWithZeroAndLeavesNoProcess)
{
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"-pipe", L"\\\\.\\pipe\\pv-missing-" + std::to_wstring(GetCurrentProcessId())},
        {L"-PIPE", L"C:\\no such folder\\pipe"},
    };
    for (const auto& [modeSwitch, path] : cases) {
        uitest::Process program;
        ASSERT_TRUE(program.start(uitest::commandLine(uitest::programPath(L"PrintvaneUI.exe"), {modeSwitch, path})));
        EXPECT_TRUE(program.wait(15000)) << uitest::narrow(path) << ": the program must end by itself";
        EXPECT_EQ(0u, program.exitCode()) << uitest::narrow(path);
        EXPECT_FALSE(program.running());
    }
}

} // namespace
