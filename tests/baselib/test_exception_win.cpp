// The debug file shared between processes: a second copy of this test
// program appends while the first one holds the file open.
#include <gtest/gtest.h>

#include <windows.h>
#include <share.h>
#include <stdio.h>

#include <string>

#include "baselib/debug_file_env.h"
#include "baselib/svr_error.h"
#include "support/ui_probe.h"

namespace {
const wchar_t kChildFlag[] = L"H1_DEBUGFILE_CHILD";
} // namespace

TEST(DebugFileProcesses, SecondProcessAppendsWhileTheFileIsOpen) {
    const wchar_t* path = L"h1_debugfile_processes.txt";
    _wremove(path);
    DebugFileEnv::set("h1_debugfile_processes.txt");

    ASSERT_TRUE(Solvaris::appendDebugFile("parent first\n"));
    FILE* held = _wfsopen(path, L"rb", _SH_DENYNO);
    ASSERT_NE(held, nullptr);
    std::wstring self = uitest::programPath(L"test_baselib.exe");
    uitest::RunResult run = uitest::runProgram(
        uitest::commandLine(self, {L"--gtest_also_run_disabled_tests", L"--gtest_filter=DISABLED_DebugFileChild.*"}),
        60000, {{kChildFlag, L"1"}});
    fclose(held);
    ASSERT_TRUE(Solvaris::appendDebugFile("parent last\n"));
    DebugFileEnv::clear();

    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    std::string text = uitest::readFile(path);
    _wremove(path);
    // Text mode: every line feed arrives as CR LF.
    ASSERT_EQ(text.rfind("parent first\r\n", 0), 0u) << text;
    size_t child = text.find("child line\r\n");
    size_t thrown = text.find("Error 12: thrown in the child\r\n");
    EXPECT_NE(thrown, std::string::npos) << text;
    EXPECT_LT(child, thrown) << text;
    EXPECT_EQ(text.find("parent last\r\n"), text.size() - 13) << text;
}

// Not a test of its own: the second process of the test above. Disabled so a
// normal run leaves it out; the parent runs it explicitly.
TEST(DISABLED_DebugFileChild, AppendsWhenStartedAsChild) {
    if (!GetEnvironmentVariableW(kChildFlag, nullptr, 0))
        GTEST_SKIP() << "runs as the child of DebugFileProcesses";
    ASSERT_TRUE(Solvaris::appendDebugFile("child line\n"));
    EXPECT_THROW(SVR_THROW(Solvaris::errNotFound, "thrown in the child"), Solvaris::Exception);
}

// The variable is read from the process environment, so a value set through
// the platform call (not only through the C run-time) is honoured.
TEST(DebugFileProcesses, VariableSetThroughThePlatformIsSeen) {
    const wchar_t* path = L"h1_debugfile_platform_env.txt";
    _wremove(path);
    DebugFileEnv::clear();
    ASSERT_TRUE(SetEnvironmentVariableW(L"_PXLL_DEBUG_FILE", path));
    bool written = Solvaris::appendDebugFile("set by the platform\n");
    SetEnvironmentVariableW(L"_PXLL_DEBUG_FILE", nullptr);
    EXPECT_TRUE(written);
    EXPECT_EQ(uitest::readFile(path), "set by the platform\r\n");
    _wremove(path);
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));
}
