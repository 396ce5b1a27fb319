// The program's command line: the argument-count box, exact argument counts
// per mode and the case-insensitive mode switch, seen from the outside.
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <vector>

using namespace uitest;

namespace {

const DWORD kWindowWait = 10000;
const DWORD kEndWait = 10000;

std::wstring program() { return programPath(L"PrintvaneUI.exe"); }

// Starts the program with `args`, expects the "Invalid argument." box,
// screenshots it, closes it and returns the exit code.
DWORD expectArgumentBox(const std::wstring& cmd, const std::wstring& shot)
{
    Process p;
    EXPECT_TRUE(p.start(cmd)) << narrow(p.error());
    HWND box = waitForWindow(p.pid(), kWindowWait, L"#32770", p.handle());
    EXPECT_NE(box, nullptr) << "no message box for " << narrow(cmd);
    if (!box)
        return 0;
    EXPECT_EQ(windowText(box), L"Printvane-UI");
    EXPECT_EQ(staticTexts(box), L"Invalid argument.");
    EXPECT_TRUE(hasIconControl(box));
    if (!shot.empty()) {
        EXPECT_FALSE(saveScreenshot(box, shot).empty());
    }
    EXPECT_TRUE(pressButton(box, IDOK));
    EXPECT_TRUE(p.wait(kEndWait)) << "the program did not end after OK";
    return p.exitCode();
}

} // namespace

TEST(Arguments, TooFewArgumentsShowBoxAndFail)
{
    struct Case {
        const wchar_t* name;
        std::wstring cmd;
    } cases[] = {
        // Only the program path, as a shortcut would start it.
        {L"args_program_only", quoteArgument(program())},
        // Nothing at all: an empty command line.
        {L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.cmd));
        if (c.cmd.empty()) {
            // CreateProcessW needs a program; an empty command line is given
            // by naming the program separately.
            STARTUPINFOW si = {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi = {};
            wchar_t empty[1] = {L'\0'};
            ASSERT_TRUE(CreateProcessW(program().c_str(), empty, nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &si, &pi));
            CloseHandle(pi.hThread);
            HWND box = waitForWindow(pi.dwProcessId, kWindowWait, L"#32770", pi.hProcess);
            EXPECT_NE(box, nullptr);
            if (box) {
                EXPECT_EQ(staticTexts(box), L"Invalid argument.");
                pressButton(box, IDOK);
            }
            bool ended = waitForProcessEnd(pi.hProcess, kEndWait);
            if (!ended)
                TerminateProcess(pi.hProcess, 0xDEAD);
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hProcess);
            EXPECT_TRUE(ended);
            EXPECT_EQ(code, 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(expectArgumentBox(c.cmd, c.name), 0xFFFFFFFFu);
        }
    }
}

TEST(Arguments, UnknownSwitchOrWrongCountShowsNothing)
{
    const std::vector<std::wstring> cases[] = {
        {L"-bogus", L"x"},
        {L"msg", L"x"},
        {L"-param", L"vjt", L"page.bmp", L"0", L"300", L"2480", L"3508"},                   // 8 in all
        {L"-param", L"vjt", L"page.bmp", L"0", L"300", L"2480", L"3508", L"1", L"extra"},   // 10 in all
        {L"-errmsg", L"text"},
        {L"-ERRMSG", L"text", L"24", L"more"},
        {L"-msg"},
        {L"-pipe", L"a", L"b"},
    };
    for (const auto& args : cases) {
        std::wstring cmd = commandLine(program(), args);
        SCOPED_TRACE(narrow(cmd));
        Process p;
        ASSERT_TRUE(p.start(cmd)) << narrow(p.error());
        // Watch for any window until the program ends on its own.
        bool windowSeen = false;
        DWORD start = GetTickCount();
        while (!p.wait(20) && GetTickCount() - start < kEndWait)
            windowSeen = windowSeen || !topLevelWindows(p.pid()).empty();
        EXPECT_FALSE(p.running()) << "the program did not end by itself";
        EXPECT_FALSE(windowSeen);
        EXPECT_EQ(p.exitCode(), 0xFFFFFFFFu);
    }
}

TEST(Arguments, PipeThatDoesNotExistEndsWithZero)
{
    RunResult r = runProgram(commandLine(program(), {L"-PIPE", L"\\\\.\\pipe\\printvane-no-such-pipe"}), 20000);
    ASSERT_TRUE(r.started);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.exitCode, 0u);
}
