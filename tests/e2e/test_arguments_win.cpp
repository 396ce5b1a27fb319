// The program's command line seen from the outside: command lines that
// cannot run, and the owner window of the page dialog.
#include "app/res/resource.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <vector>

using namespace uitest;

namespace {

const DWORD kEndWait = 10000;

} // namespace

// A command line without a mode ends with 0xFFFFFFFF: after the "Invalid
// argument." box when it holds nothing but the program (as a shortcut would
// start it) or nothing at all, silently for an unknown switch. A pipe that
// cannot be opened ends the pipe mode with 0 (the progress window closes by
// itself on a handle that is no pipe). Which switches and counts are invalid
// is checked on the command-line reader
// (CommandLine.SelectsModeByLowerCasedSwitchAndExactCount).
TEST(Arguments, CommandLinesThatCannotRunEndByThemselves)
{
    // cmd: exactly the command line (the program is named apart); shot: the
    // box's screenshot, null for no window at all.
    struct Case { std::wstring cmd; const wchar_t* shot; DWORD exitCode; } cases[] = {
        {quoteArgument(productProgram()), L"args_program_only", 0xFFFFFFFFu},
        {L"", L"args_empty", 0xFFFFFFFFu},
        {commandLine(productProgram(), {L"-bogus", L"x"}), nullptr, 0xFFFFFFFFu},
        {commandLine(productProgram(), {L"-pipe", L"\\\\.\\pipe\\pv-missing-" + std::to_wstring(GetCurrentProcessId())}), nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.cmd));
        Process p;
        ASSERT_TRUE(p.startProgram(productProgram(), c.cmd)) << narrow(p.error());
        HWND box = c.shot ? waitForWindow(p.pid(), kProgramWait, nullptr, p.handle()) : nullptr;
        // An unknown switch: watch for any window until the program ends on
        // its own (the pipe mode may show its window while it closes).
        if (!c.shot && c.exitCode)
            waitUntil([&] { return (box = waitForWindow(p.pid(), 0)) != nullptr || p.wait(0); }, kEndWait);
        ASSERT_EQ(box != nullptr, c.shot != nullptr) << "a window came or none";
        if (box) {
            EXPECT_EQ(windowText(box), L"Printvane-UI");
            EXPECT_EQ(staticTexts(box), L"Invalid argument.");
            EXPECT_TRUE(shownIcon(box));
            // No owner, and system-modal: the box stays above every other window.
            EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
            EXPECT_TRUE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST);
            EXPECT_FALSE(saveScreenshot(box, c.shot).empty());
            EXPECT_TRUE(pressButton(box, IDOK));
        }
        EXPECT_TRUE(p.wait(kEndWait)) << "the program did not end by itself";
        EXPECT_EQ(p.exitCode(), c.exitCode);
    }
}

TEST(Arguments, ParamOwnerFromTheCommandLine)
{
    // A window of ours stands for the converter's window.
    HWND ours = CreateWindowExW(0, L"STATIC", L"converter window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(ours, nullptr);
    const std::wstring oursText = std::to_wstring(reinterpret_cast<ULONG_PTR>(ours));
    struct Case { std::wstring owner; HWND expectedOwner; } cases[] = {
        {L" " + oursText + L"xyz", ours},    // read leniently (CommandLine.ParsesDecimalsLeniently)
        // A number that names no window (the converter's window may be
        // gone): the dialog still comes, without an owner.
        {L"987654", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.owner));
        Process p;
        ASSERT_TRUE(p.start(commandLine(productProgram(), {L"-param", uniqueName(L"owner"), L"Z:\\no\\such\\page.img", c.owner,
                                                    L"300", L"2480", L"3508", L"1"})));
        HWND dlg = nullptr;
        waitPumping([&] { return (dlg = waitForWindow(p.pid(), 0, L"#32770")) != nullptr || !p.running(); },
                    kProgramWait);
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
