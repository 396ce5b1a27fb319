// Where the settings live and how their folders are made.
#include "settings/config_folder.h"

#include <aclapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "baselib/storage_folder_win.h"

namespace {

// The file lies at <common application data>\Marovent\Vellumjet\<name>.ini;
// the folders are made when absent and used as they are when present.
TEST(ConfigFolder, IniPathAndFoldersAbsentOrPresent)
{
    const std::wstring outer = commonAppData() + L"\\Marovent";
    const std::wstring inner = outer + L"\\Vellumjet";
    // Removes the folders only when they are empty: files of other runs stay.
    RemoveDirectoryW(inner.c_str());
    RemoveDirectoryW(outer.c_str());
    for (const char* state : {"absent", "present"}) {
        SCOPED_TRACE(state);
        EXPECT_EQ(inner, getConfigFolder());
        EXPECT_TRUE(isFolder(inner));
        // The name is used as it is.
        EXPECT_EQ(inner + L"\\a b.c.ini", getIniPath(L"a b.c"));
    }
    std::wstring file = getIniPath(L"pvtest-folder-" + std::to_wstring(GetCurrentProcessId()));
    EXPECT_TRUE(WritePrivateProfileStringW(L"VJT", L"Key", L"1", file.c_str()));
    EXPECT_TRUE(DeleteFileW(file.c_str()));
}

TEST(ConfigFolder, FolderSecurityGrantsEveryoneFullAccessInheritedByChildren)
{
    std::unique_ptr<FolderSecurity> security = createFolderSecurity();
    ASSERT_TRUE(security);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), security->attributes.nLength);
    EXPECT_FALSE(security->attributes.bInheritHandle);
    PSECURITY_DESCRIPTOR sd = security->attributes.lpSecurityDescriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(sd && GetSecurityDescriptorControl(sd, &control, &revision) &&
                GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl);
    EXPECT_TRUE(control & SE_DACL_AUTO_INHERIT_REQ);
    EXPECT_TRUE(control & SE_SELF_RELATIVE);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_EQ(1u, dacl->AceCount);
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags);
    EXPECT_EQ(DWORD(GENERIC_ALL), ace->Mask);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
    EXPECT_TRUE(EqualSid(everyone, &ace->SidStart));
}

// Runs getConfigFolder on a fresh thread (that first joins the apartment
// `model` when `joinFirst`) and returns what one more CoInitializeEx with that
// model answers afterwards.
HRESULT comAfterConfigFolder(DWORD model, bool joinFirst)
{
    auto answer = std::make_shared<std::promise<HRESULT>>();
    std::future<HRESULT> result = answer->get_future();
    std::thread([model, joinFirst, answer] {
        const bool joined = joinFirst && SUCCEEDED(CoInitializeEx(nullptr, model));
        getConfigFolder();
        const HRESULT again = CoInitializeEx(nullptr, model);
        if (SUCCEEDED(again))
            CoUninitialize();
        if (joined)
            CoUninitialize();
        answer->set_value(again);
    }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the folder lookup did not return";
        return E_FAIL;
    }
    return result.get();
}

TEST(ConfigFolder, LeavesTheCallersComStateAsItWas)
{
    // No COM before: none after (a fresh start gives S_OK, not S_FALSE).
    EXPECT_EQ(S_OK, comAfterConfigFolder(COINIT_APARTMENTTHREADED, false));
    // The caller's single-threaded apartment is still there...
    EXPECT_EQ(S_FALSE, comAfterConfigFolder(COINIT_APARTMENTTHREADED, true));
    // ...and so is a multithreaded one, which the folder lookup could not join.
    EXPECT_EQ(S_FALSE, comAfterConfigFolder(COINIT_MULTITHREADED, true));
}

} // namespace
