// The parent-process check: a copy of this test program, named like the
// spooler's print helper or not, starts the program once more, and that
// grandchild reports what isParentSplwow64 answers.
#include "app/startup.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>
#include <string>

using namespace uitest;

namespace {

const wchar_t kProbeVar[] = L"PV_PARENT_PROBE_FILE";
const wchar_t kChildVar[] = L"PV_PARENT_PROBE_CHILD";

std::wstring envValue(const wchar_t* name)
{
    wchar_t buf[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

// Runs a copy of this program named `parentName`, which starts this program
// again; returns what the grandchild answered: "1" or "0" for the parent
// check and the owner it chose ("none", "active"), or "" on failure.
std::string parentAnswer(const std::wstring& parentName)
{
    std::wstring folder = buildFolder() + L"\\parent-probe";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring parent = folder + L"\\" + parentName;
    std::wstring result = folder + L"\\answer-" + parentName + L".txt";
    DeleteFileW(result.c_str());
    if (!CopyFileW(programPath(L"test_app.exe").c_str(), parent.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy the test program: " << GetLastError();
        return std::string();
    }
    RunResult r = runProgram(commandLine(parent, {L"--gtest_also_run_disabled_tests", L"--gtest_filter=DISABLED_ParentProbe.Run"}), 30000,
                             {{kProbeVar, result}, {kChildVar, programPath(L"test_app.exe")}});
    EXPECT_TRUE(r.started && r.ended);
    const std::vector<std::string> lines = readLines(result);
    return lines.empty() ? std::string() : lines[0];
}

} // namespace

// Not a test of its own: it acts only inside a probe run (the variable is
// set), so it is disabled and the probe runs it explicitly. In the copy it
// starts the original test program; there it writes the answer.
TEST(DISABLED_ParentProbe, Run)
{
    std::wstring file = envValue(kProbeVar);
    if (file.empty())
        GTEST_SKIP() << "only inside a parent probe";
    const std::wstring original = envValue(kChildVar);
    if (!original.empty()) {
        std::wstring cmd = commandLine(original, {L"--gtest_also_run_disabled_tests", L"--gtest_filter=DISABLED_ParentProbe.Run"});
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
    // This test program's own parent is the test runner, not the print helper.
    EXPECT_FALSE(isParentSplwow64());
}
