// The machine-wide and per-user data folders of the library.
#include "baselib/svr_winutils.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace Solvaris_Win32 {

using Solvaris::String;

namespace {

// Everyone may do everything, inherited by files and subfolders; the low
// mandatory label with no-write-up lets low-integrity processes write too.
const wchar_t kFolderSddl[] = L"D:AR(A;OICI;GA;;;WD)S:(ML;;NW;;;LW)";

// The descriptor for new folders, freed on every way out; null (default
// security) when the text cannot be converted.
struct FolderSecurity {
    SECURITY_ATTRIBUTES attributes = {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    FolderSecurity() {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
            attributes.nLength = sizeof attributes;
            attributes.lpSecurityDescriptor = descriptor;
            attributes.bInheritHandle = FALSE;
        }
    }
    ~FolderSecurity() {
        if (descriptor)
            LocalFree(descriptor);
    }
    SECURITY_ATTRIBUTES* get() { return descriptor ? &attributes : nullptr; }
};

// COM for this thread while the folders are looked up, left as it was.
struct ComScope {
    bool started;
    ComScope() : started(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (started)
            CoUninitialize();
    }
};

// The value of an environment variable; empty when unset. Read whole, so a
// long value is never cut into another folder's name.
String environmentValue(const wchar_t* name) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD n = GetEnvironmentVariableW(name, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return String();
        if (n < buffer.size())
            return String(buffer.data(), int32_t(n));
        buffer.resize(n);
    }
    return String();
}

String shellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return String();
    path[MAX_PATH - 1] = L'\0';
    return String(path);
}

// Creates the folder (and missing parents, with default security); the
// folder itself gets the descriptor. An existing folder, and any failure,
// are passed over: a later file operation there reports the real problem.
void createFolder(const String& folder, SECURITY_ATTRIBUTES* security) {
    std::wstring path(folder.c_wstr());
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    if (CreateDirectoryW(path.c_str(), security) || GetLastError() != ERROR_PATH_NOT_FOUND)
        return;
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut < 3)
        return;
    createFolder(String(path.substr(0, cut).c_str()), nullptr);
    CreateDirectoryW(path.c_str(), security);
}

// Adds "Everyone: full control, inherited by files and subfolders" to the
// folder's access list, keeping the entries it has.
void grantEveryoneFullControl(const String& folder) {
    PACL oldAcl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring path(folder.c_wstr());
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    PACL newAcl = nullptr;
    if (CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize)) {
        EXPLICIT_ACCESSW access = {};
        access.grfAccessPermissions = FILE_ALL_ACCESS;
        access.grfAccessMode = GRANT_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
        if (SetEntriesInAclW(1, &access, oldAcl, &newAcl) == ERROR_SUCCESS)
            SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, newAcl,
                                  nullptr);
    }
    if (newAcl)
        LocalFree(newAcl);
    LocalFree(descriptor);
}

} // namespace

SystemReservedDirectoryLocator::SystemReservedDirectoryLocator() {
    FolderSecurity security;
    ComScope com;

    String name = environmentValue(L"SVRDBDIR_ALTNAME");
    if (name.isEmpty())
        name = "Marovent";

    m_systemDir = environmentValue(L"SVRDBDIR");
    if (m_systemDir.isEmpty()) {
        String common = shellFolder(CSIDL_COMMON_APPDATA);
        m_systemDir = common.isEmpty() ? String("C:\\Marovent") : common + "\\" + name;
    }
    createFolder(m_systemDir, security.get());
    grantEveryoneFullControl(m_systemDir);

    String local = shellFolder(CSIDL_LOCAL_APPDATA);
    m_userDir = local.isEmpty() ? m_systemDir + "\\.local" : local + "\\" + name;
    createFolder(m_userDir, security.get());
}

String getSystemReservedDirectory() {
    SystemReservedDirectoryLocator* locator = SystemReservedDirectoryLocator::instance();
    return locator ? locator->getSystemReservedDirectory() : String();
}

} // namespace Solvaris_Win32
