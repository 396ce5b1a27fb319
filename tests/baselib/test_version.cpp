#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "baselib/svr_version.h"
#include "pv_version.h"
#include "support/test_kit.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "support/ui_probe.h"
#endif

using namespace Solvaris;
using namespace testkit;

// The build version comes from the commit's date (CMake's PV_BUILD_EPOCH),
// never the compiler's clock, and the platform and user-agent texts carry it.
TEST(Version, BuildVersionFromTheBuildDate)
{
    struct Case { int64_t seconds; const char* expected; } cases[] = {
        {1457029243, "35888.20160303.182043"},
        {946684799, "35888.19991231.235959"},
        {1709210096, "35888.20240229.123456"},   // a leap day
        {4107542400, "35888.21000301.000000"},   // 2100 is no leap year
        {-5, "35888.19700101.000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(VersionDetail::buildVersion(c.seconds)), c.expected) << c.seconds;

    std::string build = str(getBuildVersionString());
    EXPECT_EQ(build, str(VersionDetail::buildVersion(PV_BUILD_EPOCH)));
    EXPECT_EQ(kBuildNumber, unsigned(PV_VERSION_BUILD));
    EXPECT_TRUE(std::regex_match(build, std::regex(R"(\d+\.\d{8}\.\d{6})"))) << build;
    EXPECT_EQ(str(getPlatformString()), "Windows; Intel; Build " + build);
    EXPECT_EQ(str(getUserAgentString()), "Quillon Base Library (Windows; Intel; Build " + build + ")");
}

#ifdef _WIN32
namespace {

// The version resource of a file: its fixed versions and type on one line,
// then the U.S. English strings (empty when missing).
std::vector<std::string> versionResource(const std::wstring& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || len < sizeof *fixed)
        return {};
    char numbers[80];
    std::snprintf(numbers, sizeof numbers, "%08lx.%08lx %08lx.%08lx type %lu", fixed->dwFileVersionMS,
                  fixed->dwFileVersionLS, fixed->dwProductVersionMS, fixed->dwProductVersionLS, fixed->dwFileType);
    std::vector<std::string> lines = {numbers};
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"CompanyName", L"ProductName", L"OriginalFilename"}) {
        wchar_t* text = nullptr;
        UINT n = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        lines.push_back(VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &n)
                            ? uitest::narrow(text) : "");
    }
    return lines;
}

}  // namespace

// The shipped files carry CMake's version: the program, the editor and every
// language module the build made (whatever folders it names); the program's
// manifest names the same version, and Windows 10/11 among the systems.
TEST(Version, ResourcesAndManifestCarryTheProjectVersion)
{
    const std::wstring bin = uitest::programFolder();
    struct File { std::wstring path; const char* originalName; DWORD type; };
    std::vector<File> files = {{bin + L"\\PrintvaneUI.exe", "PrintvaneUI.exe", VFT_APP},
                               {bin + L"\\tessforge7.exe", "tessforge7.exe", VFT_APP}};
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((bin + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        const std::wstring mui = bin + L"\\" + found.cFileName + L"\\PrintvaneUI.exe.mui";
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.' &&
            GetFileAttributesW(mui.c_str()) != INVALID_FILE_ATTRIBUTES)
            files.push_back({mui, "PrintvaneUI.exe.mui", VFT_DLL});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_GE(files.size(), 2u + 5u) << "the five language modules";

    const unsigned long ms = (unsigned long)(PV_VERSION_MAJOR) << 16 | PV_VERSION_MINOR;
    const unsigned long ls = (unsigned long)(PV_VERSION_BUILD) << 16;
    for (const File& f : files) {
        char numbers[80];
        std::snprintf(numbers, sizeof numbers, "%08lx.%08lx %08lx.%08lx type %lu", ms, ls, ms, ls, f.type);
        const std::vector<std::string> expected = {numbers, PV_VERSION_TEXT, PV_VERSION_TEXT, "Marovent", "Vellumjet",
                                                   f.originalName};
        EXPECT_EQ(versionResource(f.path), expected) << uitest::narrow(f.path);
    }

    HMODULE module = LoadLibraryExW(files[0].path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_TRUE(res);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, res)));
    const std::string manifest(bytes, SizeofResource(module, res));
    FreeLibrary(module);
    EXPECT_NE(manifest.find("name=\"Marovent.Vellumjet.PrintvaneUI\" version=\"" PV_VERSION_QUAD_TEXT "\""),
              std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}
#endif
