// The Windows side of the test kit: system folders and their access lists,
// and children of a test, which are the test program itself running one
// disabled test.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>

#include "baselib/svr_handle_win.h"
#include "support/test_kit.h"
#include "support/ui_probe.h"

namespace testkit {

inline std::wstring commonAppData() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Whether the folder's access list lets Everyone read and write, for files
// and subfolders too. (Wine derives access lists from the Unix mode, so it
// shows full control as read, write and delete rights only.)
inline bool everyoneMayWrite(const std::wstring& path) {
    PACL dacl = nullptr;
    Solvaris_Win32::LocalPtr<void> sd;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, sd.put()) != ERROR_SUCCESS)
        return false;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
    const DWORD rights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    bool found = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount && !found; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(everyone, &ace->SidStart))
            found = (ace->Mask & rights) == rights && (ace->Header.AceFlags & inherit) == inherit;
    }
    return found;
}

// A child of a test runs this program again with only `test` (a DISABLED_
// test, which normal runs leave out); its job comes in PV_TEST_CHILD.
inline const wchar_t* childVariable() { return L"PV_TEST_CHILD"; }

// The command for `program` (this one when empty), a copy of this program.
inline std::wstring childCommand(const std::wstring& test, std::wstring program = std::wstring()) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return uitest::commandLine(program.empty() ? self : program,
                               {L"--gtest_also_run_disabled_tests", L"--gtest_brief=1", L"--gtest_filter=" + test});
}

// Starts the child with its job; with `output`, its standard output and
// error go to that file.
inline bool startChild(uitest::Process& child, const std::wstring& test, const std::wstring& job = L"1",
                       const std::wstring& output = std::wstring()) {
    return output.empty() ? child.start(childCommand(test), {{childVariable(), job}})
                          : child.startWithOutput(childCommand(test), output, {{childVariable(), job}});
}

// In a child: the job its parent gave; empty in any other run (the child
// test then skips).
inline std::wstring childJob() {
    wchar_t job[1000] = {};
    return GetEnvironmentVariableW(childVariable(), job, 1000) < 1000 ? job : L"";
}

} // namespace testkit
