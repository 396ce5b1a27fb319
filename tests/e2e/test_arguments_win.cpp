// The program's command line: the argument-count box, exact argument counts
// per mode and the case-insensitive mode switch, seen from the outside.
#include "app/res/resource.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <vector>

using namespace uitest;

namespace {

const DWORD kWindowWait = 10000;
const DWORD kEndWait = 10000;

std::wstring program() { return programPath(L"PrintvaneUI.exe"); }

// Starts the program with exactly `cmd` as its command line, expects the
// "Invalid argument." box, screenshots it, closes it and returns the exit code.
DWORD expectArgumentBox(const std::wstring& cmd, const std::wstring& shot)
{
    Process p;
    EXPECT_TRUE(p.startProgram(program(), cmd)) << narrow(p.error());
    HWND box = waitForWindow(p.pid(), kWindowWait, L"#32770", p.handle());
    EXPECT_NE(box, nullptr) << "no message box for " << narrow(cmd);
    if (!box)
        return 0;
    EXPECT_EQ(windowText(box), L"Printvane-UI");
    EXPECT_EQ(staticTexts(box), L"Invalid argument.");
    EXPECT_TRUE(hasIconControl(box));
    // No owner, and system-modal: the box stays above every other window.
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(saveScreenshot(box, shot).empty());
    EXPECT_TRUE(pressButton(box, IDOK));
    EXPECT_TRUE(p.wait(kEndWait)) << "the program did not end after OK";
    return p.exitCode();
}

} // namespace

TEST(Arguments, TooFewArgumentsShowBoxAndFail)
{
    // Only the program path, as a shortcut would start it; and an empty
    // command line (the program named apart from it).
    EXPECT_EQ(expectArgumentBox(quoteArgument(program()), L"args_program_only"), 0xFFFFFFFFu);
    EXPECT_EQ(expectArgumentBox(L"", L"args_empty"), 0xFFFFFFFFu);
}

// Which switches and counts are invalid is checked on the command-line
// reader (CommandLine.SelectsModeByLowerCasedSwitchAndExactCount).
TEST(Arguments, UnknownSwitchOrWrongCountShowsNothing)
{
    const std::vector<std::wstring> cases[] = {
        {L"-bogus", L"x"},
        {L"-param", L"vjt", L"page.bmp", L"0", L"300", L"2480", L"3508"},   // 8 in all
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

TEST(Arguments, ParamOwnerFromTheCommandLine)
{
    // A window of ours stands for the converter's window.
    HWND ours = CreateWindowExW(0, L"STATIC", L"converter window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(ours, nullptr);
    const std::wstring oursText = std::to_wstring(reinterpret_cast<ULONG_PTR>(ours));
    struct Case {
        std::wstring owner;
        HWND expectedOwner;
    } cases[] = {
        {oursText, ours},
        {L" " + oursText + L"xyz", ours},    // read leniently
        // No owner given, or a number that names no window (the converter's
        // window may be gone): the dialog still comes, without an owner.
        {L"0", nullptr},
        {L"987654", nullptr},
        {L"-1", nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.owner));
        std::wstring settings = L"h3-owner-probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n++);
        Process p;
        ASSERT_TRUE(p.start(commandLine(program(), {L"-param", settings, L"Z:\\no\\such\\page.img", c.owner,
                                                    L"300", L"2480", L"3508", L"1"})));
        HWND dlg = nullptr;
        waitPumping([&] { return (dlg = waitForWindow(p.pid(), 0, L"#32770")) != nullptr || !p.running(); },
                    kWindowWait);
        EXPECT_NE(dlg, nullptr) << "no dialog; exit code " << p.exitCode();
        if (dlg) {
            EXPECT_NE(findControl(dlg, IDC_OUTPUT_FILE), nullptr) << "not the page dialog";
            EXPECT_EQ(GetWindow(dlg, GW_OWNER), c.expectedOwner);
            pressButton(dlg, IDCANCEL);
        }
        EXPECT_TRUE(waitPumping([&] { return !p.running(); }, kEndWait));
        EXPECT_EQ(p.exitCode(), 2u);
    }
    DestroyWindow(ours);
}
