// The debug file shared between processes: a second copy of this test
// program appends while the first one holds the file open.
#include <gtest/gtest.h>

#include <windows.h>
#include <share.h>
#include <stdio.h>

#include <string>

#include "baselib/debug_file_env.h"
#include "baselib/svr_error.h"

namespace {

const wchar_t kChildFlag[] = L"H1_DEBUGFILE_CHILD";

std::string readAll(const wchar_t* path) {
    std::string out;
    FILE* f = _wfsopen(path, L"rb", _SH_DENYNO);
    if (!f)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

// Runs this program again with a test filter; returns its exit code, or -1
// when it did not finish within the time limit.
long runSelf(const wchar_t* filter) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = std::wstring(L"\"") + self + L"\" --gtest_also_run_disabled_tests --gtest_filter=" + filter;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -2;
    long code = -1;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
        DWORD c = 0;
        GetExitCodeProcess(pi.hProcess, &c);
        code = long(c);
    } else {
        TerminateProcess(pi.hProcess, 99);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace

TEST(DebugFileProcesses, SecondProcessAppendsWhileTheFileIsOpen) {
    const wchar_t* path = L"h1_debugfile_processes.txt";
    _wremove(path);
    DebugFileEnv::set("h1_debugfile_processes.txt");
    SetEnvironmentVariableW(kChildFlag, L"1");

    ASSERT_TRUE(Solvaris::appendDebugFile("parent first\n"));
    FILE* held = _wfsopen(path, L"rb", _SH_DENYNO);
    ASSERT_NE(held, nullptr);
    long code = runSelf(L"DISABLED_DebugFileChild.*");
    fclose(held);
    ASSERT_TRUE(Solvaris::appendDebugFile("parent last\n"));
    SetEnvironmentVariableW(kChildFlag, nullptr);
    DebugFileEnv::clear();

    EXPECT_EQ(code, 0);
    std::string text = readAll(path);
    _wremove(path);
    // Text mode: every line feed arrives as CR LF.
    ASSERT_EQ(text.rfind("parent first\r\n", 0), 0u) << text;
    size_t child = text.find("child line\r\n");
    size_t thrown = text.find("Error 12: thrown in the child\r\n");
    size_t last = text.find("parent last\r\n");
    EXPECT_NE(thrown, std::string::npos) << text;
    EXPECT_LT(child, thrown) << text;
    EXPECT_EQ(last, text.size() - 13) << text;
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
    EXPECT_EQ(readAll(path), "set by the platform\r\n");
    _wremove(path);
    EXPECT_FALSE(Solvaris::appendDebugFile("x"));
}
