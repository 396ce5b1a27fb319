#include "settings/config_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include "baselib/svr_winutils.h"

namespace {

const wchar_t kFolderSddl[] = L"D:AR(A;OICI;GA;;;WD)";
const DWORD kSddlRevision1 = 1;

using ConvertSddlFn = BOOL(WINAPI*)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

} // namespace

std::unique_ptr<FolderSecurity> createFolderSecurity()
{
    // Bound at run time: the program makes no hard reference to the SDDL
    // converter.
    const Solvaris_Win32::LoadedModule advapi(LoadLibraryW(L"advapi32.dll"));
    if (!advapi)
        return nullptr;
    auto convert = reinterpret_cast<ConvertSddlFn>(reinterpret_cast<void*>(
        GetProcAddress(advapi.get(), "ConvertStringSecurityDescriptorToSecurityDescriptorW")));
    std::unique_ptr<FolderSecurity> security(new FolderSecurity);
    bool made = convert && convert(kFolderSddl, kSddlRevision1, security->descriptor.put(), nullptr) &&
                security->descriptor;
    if (!made)
        return nullptr;
    security->attributes.nLength = sizeof(SECURITY_ATTRIBUTES);
    security->attributes.lpSecurityDescriptor = security->descriptor.get();
    security->attributes.bInheritHandle = FALSE;
    return security;
}

ConfigFolder::ConfigFolder()
{
    bool comStarted = SUCCEEDED(CoInitialize(nullptr));  // S_FALSE (already started) counts
    std::unique_ptr<FolderSecurity> security = createFolderSecurity();

    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) {
        m_path = L"C:";
    } else {
        base[MAX_PATH - 1] = L'\0';
        m_levels.reset(new Solvaris_Win32::SharedFolder(Solvaris::String(base),
                                                        {Solvaris::String("Marovent"), Solvaris::String("Vellumjet")},
                                                        security ? &security->attributes : nullptr,
                                                        Solvaris_Win32::SharedFolder::secureEveryLevel));
        m_path = std::wstring(base) + L"\\Marovent\\Vellumjet";
        m_usable = m_levels->isUsable();
        m_error = m_levels->error();
    }

    security.reset();
    if (comStarted)
        CoUninitialize();
}

ConfigFolder::~ConfigFolder() = default;

std::wstring getConfigFolder()
{
    return ConfigFolder().path();
}

std::wstring getIniPath(const std::wstring& settingsName)
{
    return getConfigFolder() + L"\\" + settingsName + L".ini";
}
