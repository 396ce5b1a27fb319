// Where the settings live and how their folders are made.
#include "settings/config_folder.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

std::wstring commonAppData()
{
    wchar_t base[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)));
    return base;
}

bool isFolder(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(ConfigFolder, IniPathLiesUnderTheCommonApplicationDataFolder)
{
    const std::wstring folder = commonAppData() + L"\\Marovent\\Vellumjet";
    EXPECT_EQ(folder, getConfigFolder());
    EXPECT_EQ(folder + L"\\Printer1.ini", getIniPath(L"Printer1"));
    // The name is used as it is.
    EXPECT_EQ(folder + L"\\a b.c.ini", getIniPath(L"a b.c"));
}

TEST(ConfigFolder, FoldersAreCreatedWhenAbsentAndUsedWhenPresent)
{
    const std::wstring outer = commonAppData() + L"\\Marovent";
    const std::wstring inner = outer + L"\\Vellumjet";
    // Removes the folders only when they are empty: files of other runs stay.
    RemoveDirectoryW(inner.c_str());
    RemoveDirectoryW(outer.c_str());
    const bool wereAbsent = !isFolder(outer);

    EXPECT_EQ(inner, getConfigFolder());
    EXPECT_TRUE(isFolder(outer));
    EXPECT_TRUE(isFolder(inner));
    // Present now: the same answer, and a file can be written there.
    EXPECT_EQ(inner, getConfigFolder());
    std::wstring file = inner + L"\\pvtest-folder-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    EXPECT_TRUE(WritePrivateProfileStringW(L"VJT", L"Key", L"1", file.c_str()));
    EXPECT_TRUE(DeleteFileW(file.c_str()));
    if (!wereAbsent)
        std::printf("note: the config folders held other files and were not removed first\n");
}

TEST(ConfigFolder, FolderSecurityGrantsEveryoneFullAccessInheritedByChildren)
{
    std::unique_ptr<FolderSecurity> security = createFolderSecurity();
    ASSERT_TRUE(security);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), security->attributes.nLength);
    EXPECT_FALSE(security->attributes.bInheritHandle);
    PSECURITY_DESCRIPTOR sd = security->attributes.lpSecurityDescriptor;
    ASSERT_TRUE(sd);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_AUTO_INHERIT_REQ);
    EXPECT_TRUE(control & SE_SELF_RELATIVE);

    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    ASSERT_EQ(1u, dacl->AceCount);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags);
    EXPECT_EQ(DWORD(GENERIC_ALL), ace->Mask);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPECT_TRUE(EqualSid(everyone, &ace->SidStart));
    FreeSid(everyone);
}

struct ComProbe {
    DWORD model;
    bool initialiseFirst;
    HRESULT again;
};

DWORD WINAPI comProbeThread(void* p)
{
    ComProbe& a = *static_cast<ComProbe*>(p);
    bool started = a.initialiseFirst && SUCCEEDED(CoInitializeEx(nullptr, a.model));
    getConfigFolder();
    a.again = CoInitializeEx(nullptr, a.model);
    if (SUCCEEDED(a.again))
        CoUninitialize();
    if (started)
        CoUninitialize();
    return 0;
}

// Runs getConfigFolder on a fresh thread (that first joins the apartment
// `model` when `initialiseFirst`) and returns what one more CoInitializeEx
// with that model answers afterwards.
HRESULT comAfterConfigFolder(DWORD model, bool initialiseFirst)
{
    ComProbe* probe = new ComProbe{model, initialiseFirst, E_FAIL};
    HANDLE thread = CreateThread(nullptr, 0, comProbeThread, probe, 0, nullptr);
    EXPECT_NE(thread, nullptr);
    if (!thread) {
        delete probe;
        return E_FAIL;
    }
    bool ended = WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    EXPECT_TRUE(ended) << "the folder lookup did not return";
    if (!ended)
        return E_FAIL;   // the thread may still use the probe: leave it
    HRESULT again = probe->again;
    delete probe;
    return again;
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
