// The parent-process check: a copy of this test program, named like the
// spooler's print helper or not, starts the program once more, and that
// grandchild reports what isParentSplwow64 answers.
#include "app/modes.h"
#include "app/process_identity.h"
#include "app/profile_list.h"
#include "app/res/resource.h"
#include "app/startup.h"
#include "app/startup_reads.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/test_kit_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>
#include <string>

using namespace uitest;

namespace {

// The answer file goes to the probe as its child job; the copy also gets
// the original program to start.
const wchar_t kChildVar[] = L"PV_PARENT_PROBE_CHILD";

// Runs a copy of this program named `parentName`, which starts this program
// again; returns what the grandchild answered: "1" or "0" for the parent
// check and the owner it chose ("none", "active"), or "" on failure.
std::string parentAnswer(const std::wstring& parentName)
{
    testkit::ScratchFolder folder("parent-probe");
    const std::wstring parent = folder.wide(parentName), result = folder.wide(L"answer.txt");
    if (!CopyFileW(programPath(L"test_app.exe").c_str(), parent.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy the test program: " << GetLastError();
        return std::string();
    }
    RunResult r = runProgram(testkit::childCommand(L"DISABLED_ParentProbe.Run", parent), 30000,
                             {{testkit::childVariable(), result}, {kChildVar, programPath(L"test_app.exe")}});
    EXPECT_TRUE(r.started && r.ended);
    const std::vector<std::string> lines = testkit::readLines(result);
    return lines.empty() ? std::string() : lines[0];
}

} // namespace

// Not a test of its own: it acts only inside a probe run (the variable is
// set), so it is disabled and the probe runs it explicitly. In the copy it
// starts the original test program; there it writes the answer.
TEST(DISABLED_ParentProbe, Run)
{
    const std::wstring file = testkit::childJob();
    if (file.empty())
        GTEST_SKIP() << "only inside a parent probe";
    if (const wchar_t* original = _wgetenv(kChildVar); original && *original) {
        const std::wstring cmd = testkit::childCommand(L"DISABLED_ParentProbe.Run", original);
        RunResult r = runProgram(cmd, 20000, {{kChildVar, L""}});
        EXPECT_TRUE(r.started && r.ended) << narrow(cmd);
        return;
    }
    std::ofstream out(narrow(file));
    out << (isParentSplwow64() ? "1" : "0");
    // With an active window on this thread, the owner chosen is that window,
    // except under the print helper, where no owner is chosen at all.
    HWND active = CreateWindowExW(0, L"STATIC", L"active", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetActiveWindow(active);
    HWND owner = chooseOwnerWindow();
    out << " " << (!active || GetActiveWindow() != active ? "no-active-window"
                   : owner == nullptr                       ? "none"
                   : owner == active                        ? "active"
                                                            : "other")
        << "\n";
    if (active)
        DestroyWindow(active);
}

TEST(Startup, RecognisesThePrintHelperAsParent)
{
    struct Case {
        const wchar_t* parentName;
        const char* answer;
    } cases[] = {
        {L"splwow64.exe", "1 none"},
        {L"SplWow64.EXE", "1 none"},   // names compare without letter case
        {L"splwow32.exe", "0 active"},
        {L"splwow64.exe.exe", "0 active"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.parentName));
        EXPECT_EQ(parentAnswer(c.parentName), c.answer);
    }
}

// A file held by another program at start-up (its read blocks until it is
// cancelled): the reads are given up after the bound, the box names the
// held file, Cancel gives 2 and writes nothing, and Retry once the file is
// free goes on to the page dialog.
TEST(Startup, AHeldFileIsNamedThenRetriedOrCancelled)
{
    struct Case {
        const char* what;
        int heldRead;   // 0: the settings file, 1: the repository
        int answer;
    } cases[] = {
        {"settings held, cancelled", 0, IDCANCEL},
        {"repository held, retried", 1, IDRETRY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParamArguments args;
        args.settingsName = L"held-" + std::to_wstring(c.heldRead);
        PrinterSettings probe;
        probe.setSettingsName(args.settingsName);
        DeleteFileW(probe.IniPath.c_str());
        const std::wstring held = c.heldRead == 0 ? probe.IniPath : repositoryFileName();
        Solvaris_Win32::UniqueHandle unread, writer;   // a read from it blocks until cancelled
        ASSERT_TRUE(CreatePipe(unread.put(), writer.put(), nullptr, 0));
        int reads = 0;
        setReadHookForTests([&](const std::wstring&) {
            char byte;
            DWORD got;
            if (reads++ == c.heldRead)
                ReadFile(unread.get(), &byte, 1, &got, nullptr);
        }, 2000);
        bool dialogShown = false;
        const INT_PTR result = uitest::runToEnd([&] { return INT_PTR(runParamMode(args, nullptr)); }, [&](HWND box) {
            // Under Wine the box may show a moment before its text is in.
            EXPECT_TRUE(uitest::waitUntil([&] { return controlText(box, 0xFFFF).find(held) != std::wstring::npos; }))
                << narrow(controlText(box, 0xFFFF));
            uitest::pressButton(box, c.answer);
            HWND page = nullptr;
            if (c.answer == IDRETRY) {
                dialogShown = uitest::waitUntil([&] {
                    page = uitest::waitForWindow(GetCurrentProcessId(), 100, L"#32770", nullptr, box);
                    return page && findControl(page, IDC_PROFILE);
                });
                uitest::pressButton(page, IDCANCEL);
            }
        }, 20000);
        setReadHookForTests({}, 0);
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(dialogShown, c.answer == IDRETRY);
        EXPECT_FALSE(std::filesystem::exists(probe.IniPath)) << "nothing is written";
    }
}

// Started as the local system account, or in session 0, the program shows no
// window in any mode (not even the box for a bad command line) and ends with
// each mode's plain code; the converter's pipe is opened and closed at once.
TEST(Startup, NoWindowForTheSystemAccountOrSessionZero)
{
    ProcessIdentity system, sessionZero, unread;
    system.tokenRead = system.localSystem = system.sessionRead = true;
    system.session = 1;
    sessionZero.tokenRead = sessionZero.sessionRead = true;
    struct Case {
        const char* what;
        const ProcessIdentity* identity;
        std::vector<std::wstring> args;   // after the program path; "PIPE": the pipe's name
        int exitCode;
    } cases[] = {
        {"-param as system", &system, {L"-param", L"nowindow", L"", L"0", L"300", L"100", L"100", L"1"}, -1},
        {"-pipe as system", &system, {L"-pipe", L"PIPE"}, 0},
        {"-msg in session 0", &sessionZero, {L"-msg", L"text"}, 0},
        {"-errmsg, token unread", &unread, {L"-errmsg", L"text", L"24"}, 0},
        {"no arguments as system", &system, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PipeServer pipe;
        std::vector<std::wstring> args{L"PrintvaneUI.exe"};
        for (const std::wstring& a : c.args)
            args.push_back(a == L"PIPE" ? pipe.name() : a);
        std::vector<wchar_t*> argv;
        for (std::wstring& a : args)
            argv.push_back(&a[0]);
        setIdentityForTests(c.identity);
        const DrivenRun run = runDriven([&] {
            return INT_PTR(runStartup(GetModuleHandleW(nullptr), int(argv.size()), argv.data()));
        }, [](HWND) {}, 3000);
        setIdentityForTests(nullptr);
        EXPECT_FALSE(run.windowSeen);
        EXPECT_EQ(run.result, c.exitCode);
        if (c.args.size() == 2 && c.args[1] == L"PIPE") {
            // A client that came and went: the connection is refused as
            // closed, where a pipe never opened would still be listening.
            EXPECT_FALSE(pipe.connect(nullptr, 0));
            EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_DATA)) << "the pipe was opened and closed again";
        }
    }
}
