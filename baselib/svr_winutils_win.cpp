// The machine-wide data folder of the library.
#include "baselib/svr_winutils.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <winioctl.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_handle_win.h"

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
    LocalPtr<void> descriptor;
    FolderSecurity() {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, descriptor.put(),
                                                                 nullptr)) {
            attributes.nLength = sizeof attributes;
            attributes.lpSecurityDescriptor = descriptor.get();
            attributes.bInheritHandle = FALSE;
        }
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

// What one opening of a level may touch: list it (so that the handle's
// sharing counts and nobody may delete or rename the folder while it is
// held), read its attributes and access list; change the access list only
// where it will be granted.
const DWORD kLevelAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// The handle refers to the entry itself, never to what a link points to.
UniqueHandle openLevel(const std::wstring& path, bool changeAccess) {
    return UniqueHandle(CreateFileW(path.c_str(), kLevelAccess | (changeAccess ? WRITE_DAC : 0),
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The rule of a reparse tag, and the tags the system defines: a cloud tag
// differs from IO_REPARSE_TAG_CLOUD only in the bits of
// IO_REPARSE_TAG_CLOUD_MASK (0xF000), which tell the provider's kind.
enum class ReparseRule { refuse, accept, volumeOwnedBySystem };
const struct {
    uint32_t tag, ignoredBits;
    ReparseRule rule;
} kReparseRules[] = {
    {IO_REPARSE_TAG_SYMLINK, 0, ReparseRule::refuse},
    {IO_REPARSE_TAG_MOUNT_POINT, 0, ReparseRule::volumeOwnedBySystem},
    {0x9000001Au, 0x0000F000u, ReparseRule::accept},  // IO_REPARSE_TAG_CLOUD, CLOUD_1 to CLOUD_F
};

// "\??\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\", and nothing after it.
bool isVolumeTarget(const String& target) {
    const std::wstring t(target.c_wstr());
    const wchar_t prefix[] = L"\\??\\Volume{";
    const size_t n = wcslen(prefix);
    if (t.size() != n + 38 || _wcsnicmp(t.c_str(), prefix, n) != 0 || t.compare(n + 36, 2, L"}\\") != 0)
        return false;
    for (size_t i = 0; i < 36; ++i) {
        const wchar_t c = t[n + i];
        if (i == 8 || i == 13 || i == 18 || i == 23 ? c != L'-' : !iswxdigit(c))
            return false;
    }
    return true;
}

// The tag of the reparse point the handle holds; 0 when it cannot be read.
DWORD reparseTag(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO info = {};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info) ? info.ReparseTag : 0;
}

// A mount point's target as the system keeps it (the substitute name);
// empty when it cannot be read. The data: tag (4 bytes), data length and a
// reserved word (2 each), then the substitute name's offset and length and
// the print name's (2 bytes each), then the names; offsets count from there.
String mountPointTarget(HANDLE h) {
    std::vector<BYTE> data(16 * 1024);
    DWORD got = 0;
    if (!DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), DWORD(data.size()), &got, nullptr) ||
        got < 16)
        return String();
    auto word = [&](size_t at) { return size_t(data[at] | (data[at + 1] << 8)); };
    const size_t offset = 16 + word(8), length = word(10);
    if (offset + length > got || length % 2)
        return String();
    std::wstring name(length / 2, L'\0');
    memcpy(&name[0], data.data() + offset, length);
    return String(name.c_str());
}

// Whether the entry's owner is Administrators or SYSTEM.
bool ownedBySystem(HANDLE h) {
    PSID owner = nullptr;
    LocalPtr<void> descriptor;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.put()) != ERROR_SUCCESS || !owner)
        return false;
    return IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid);
}

// reparsePointAccepted for the reparse point the handle holds.
bool reparseAcceptedThrough(HANDLE h) {
    const DWORD tag = reparseTag(h);
    const bool mount = tag == IO_REPARSE_TAG_MOUNT_POINT;
    return reparsePointAccepted(tag, mount ? mountPointTarget(h) : String(), mount && ownedBySystem(h));
}

bool everyoneHasFullControl(HANDLE folder) {
    PACL acl = nullptr;
    LocalPtr<void> descriptor;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                        descriptor.put()) != ERROR_SUCCESS)
        return false;
    return grantsEveryoneFullControl(acl);
}

// Adds "Everyone: full control, inherited by files and subfolders" to the
// folder's access list, keeping the entries it has. Set through the handle
// with the kernel's own call: it changes this folder's list and walks
// nothing below it.
void grantEveryoneFullControl(HANDLE folder) {
    PACL oldAcl = nullptr;
    LocalPtr<void> old;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl, nullptr,
                        old.put()) != ERROR_SUCCESS)
        return;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    LocalPtr<ACL> newAcl;
    if (CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize)) {
        EXPLICIT_ACCESSW access = {};
        access.grfAccessPermissions = FILE_ALL_ACCESS;
        access.grfAccessMode = GRANT_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
        // The list keeps its inheritance marks (auto-inherited, protected).
        SECURITY_DESCRIPTOR updated;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        const SECURITY_DESCRIPTOR_CONTROL marks = SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
        if (SetEntriesInAclW(1, &access, oldAcl, newAcl.put()) == ERROR_SUCCESS &&
            InitializeSecurityDescriptor(&updated, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&updated, TRUE, newAcl.get(), FALSE) &&
            GetSecurityDescriptorControl(old.get(), &control, &revision) &&
            SetSecurityDescriptorControl(&updated, marks, control & marks))
            SetKernelObjectSecurity(folder, DACL_SECURITY_INFORMATION, &updated);
    }
}

// The length of the root of a full path ("C:\", "\\server\share\"), or 0.
size_t rootLength(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return 3;
    if (path.compare(0, 2, L"\\\\") == 0) {
        size_t server = path.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    return 0;
}

// Splits a folder path into the base and the levels SharedFolder opens:
// every missing level and the deepest one that exists (the folder
// new levels would be made in, or the folder itself). The base is the
// folder above them, used as it is.
bool splitAtExistingFolder(const String& folder, String* base, std::vector<String>* levels) {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD n = GetFullPathNameW(folder.c_wstr(), DWORD(buffer.size()), buffer.data(), nullptr);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetFullPathNameW(folder.c_wstr(), DWORD(buffer.size()), buffer.data(), nullptr);
    }
    if (n == 0 || n >= buffer.size())
        return false;
    std::wstring path(buffer.data(), n);
    const size_t root = rootLength(path);
    if (root == 0)
        return false;
    while (path.size() > root && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    std::vector<std::wstring> names;
    auto climb = [&] {
        size_t cut = path.find_last_of(L"\\/");
        names.push_back(path.substr(cut + 1));
        path.resize(cut < root ? root : cut);
    };
    while (path.size() > root && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        climb();
    if (path.size() > root)
        climb();
    *base = String(path.c_str());
    levels->clear();
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        levels->push_back(String(it->c_str()));
    return true;
}

} // namespace

bool grantsEveryoneFullControl(const _ACL* constAcl) {
    PACL acl = const_cast<PACL>(constAcl);
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    if (!acl || !CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize))
        return false;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    bool onFolder = false, inherited = false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !EqualSid(everyone, &ace->SidStart))
            continue;
        DWORD mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        if ((mask & FILE_ALL_ACCESS) != FILE_ALL_ACCESS)
            continue;
        const BYTE flags = ace->Header.AceFlags;
        if (!(flags & INHERIT_ONLY_ACE))
            onFolder = true;
        if ((flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
            inherited = true;
    }
    return onFolder && inherited;
}

bool reparsePointAccepted(uint32_t tag, const String& target, bool ownerIsSystem) {
    for (const auto& r : kReparseRules) {
        if ((tag & ~r.ignoredBits) != r.tag)
            continue;
        if (r.rule == ReparseRule::volumeOwnedBySystem)
            return ownerIsSystem && isVolumeTarget(target);
        return r.rule == ReparseRule::accept;
    }
    return false;
}

namespace {

// A link the handle shows and the table refuses, or one only the name shows
// (the handle followed it).
bool isRefusedLink(uint32_t handleAttributes, uint32_t nameAttributes, bool reparseAccepted) {
    if (handleAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return !reparseAccepted;
    return (nameAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The attributes read through the handle, and whether its reparse point (if
// any) is accepted.
bool readEntry(HANDLE h, BY_HANDLE_FILE_INFORMATION* info, bool* reparseAccepted) {
    if (!GetFileInformationByHandle(h, info))
        return false;
    *reparseAccepted = (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && reparseAcceptedThrough(h);
    return true;
}

} // namespace

SharedFolder::State judgeLevel(uint32_t handleAttributes, uint32_t nameAttributes, bool reparseAccepted) {
    if (isRefusedLink(handleAttributes, nameAttributes, reparseAccepted))
        return SharedFolder::isLink;
    if (!(handleAttributes & nameAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SharedFolder::notFolder;
    return SharedFolder::usable;
}

SharedFolder::SharedFolder(const String& base, const std::vector<String>& levels, _SECURITY_ATTRIBUTES* security,
                           unsigned options)
    : m_path(base) {
    std::wstring path(base.c_wstr());
    for (size_t i = 0; i < levels.size(); ++i) {
        const bool last = i + 1 == levels.size();
        if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
            path += L'\\';
        path += levels[i].c_wstr();
        m_path = String(path.c_str());
        // Made here, inside the level held open just before.
        bool created = false;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            created = CreateDirectoryW(path.c_str(), last || (options & secureEveryLevel) ? security : nullptr) != FALSE;
        const bool grant = last && (options & grantEveryone) && created;
        UniqueHandle level = openLevel(path, grant);
        if (!level) {
            m_state = failed;
            m_error = GetLastError();
            m_failedLevel = m_path;
            return;
        }
        const HANDLE h = level.get();
        m_handles.push_back(std::move(level));
        BY_HANDLE_FILE_INFORMATION info = {};
        bool accepted = false;
        const DWORD byName = GetFileAttributesW(path.c_str());
        if (!readEntry(h, &info, &accepted) || byName == INVALID_FILE_ATTRIBUTES) {
            m_state = failed;
            m_error = GetLastError();
        } else {
            m_state = judgeLevel(info.dwFileAttributes, byName, accepted);
        }
        if (m_state != usable) {
            if (!m_error)
                m_error = ERROR_CANT_ACCESS_FILE;
            m_failedLevel = m_path;
            return;
        }
        m_created = created;
        if (grant && !everyoneHasFullControl(h))
            grantEveryoneFullControl(h);
    }
}

SharedFolder::~SharedFolder() = default;

String SharedFolder::reason() const {
    switch (m_state) {
    case usable: return String();
    case isLink: return String::format("%s is a link, not a folder", m_failedLevel.c_str());
    case notFolder: return String::format("%s is not a folder", m_failedLevel.c_str());
    default: return String::format("%s cannot be opened (error %u)", m_failedLevel.c_str(), unsigned(m_error));
    }
}

UniqueHandle openSharedFile(const String& path, uint32_t access, uint32_t share, uint32_t* error) {
    // Read before the open, so that the file is held no longer than the
    // judgement through the handle takes (Wine shows a link only here).
    DWORD byName = GetFileAttributesW(path.c_wstr());
    if (byName == INVALID_FILE_ATTRIBUTES)
        byName = 0;
    UniqueHandle file(CreateFileW(path.c_wstr(), access | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE, share,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                  nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    bool accepted = false;
    if (!file || !readEntry(file.get(), &info, &accepted)) {
        *error = GetLastError();
        return UniqueHandle();
    }
    const char* why = nullptr;
    if (isRefusedLink(info.dwFileAttributes, byName, accepted))
        why = "is a link";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        why = "is a folder";
    else if (info.nNumberOfLinks > 1)
        why = "has more than one name (a hard link)";
    *error = why ? ERROR_CANT_ACCESS_FILE : ERROR_SUCCESS;
    if (why) {
        Solvaris::debugFilePrintf("openSharedFile: %s %s; it is not used.\n", path.c_str(), why);
        return UniqueHandle();
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return file;
    // An accepted placeholder: opened as it stands, its content is not
    // fetched; the same file, opened again through this handle, is.
    UniqueHandle content(ReOpenFile(file.get(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION));
    if (!content)
        *error = GetLastError();
    return content;
}

bool isPlainFolderName(const String& name) {
    std::wstring n(name.c_wstr());
    if (n.empty() || n.size() > 255 || n == L"." || n == L".." || n.back() == L'.' || n.back() == L' ')
        return false;
    for (wchar_t c : n)
        if (c < 0x20 || wcschr(L"<>:\"/\\|?*", c))
            return false;
    // Device names, also before an extension ("nul.txt") and blanks.
    std::wstring stem = n.substr(0, n.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (wchar_t& c : stem)
        c = wchar_t(towupper(c));
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : devices)
        if (stem == device)
            return false;
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
        (iswdigit(stem[3]) || stem[3] == L'\u00B9' || stem[3] == L'\u00B2' || stem[3] == L'\u00B3'))
        return false;
    return true;
}

SystemReservedDirectoryLocator::SystemReservedDirectoryLocator() {
    FolderSecurity security;
    ComScope com;

    String name = environmentValue(L"SVRDBDIR_ALTNAME");
    if (!name.isEmpty() && !isPlainFolderName(name)) {
        Solvaris::debugFilePrintf("SystemReservedDirectoryLocator: SVRDBDIR_ALTNAME \"%s\" is no plain folder "
                                  "name; \"Marovent\" is used.\n",
                                  name.c_str());
        name = String();
    }
    if (name.isEmpty())
        name = "Marovent";

    String dbDir = environmentValue(L"SVRDBDIR");
    String base;
    std::vector<String> levels;
    bool named = true;
    if (!dbDir.isEmpty()) {
        named = splitAtExistingFolder(dbDir, &base, &levels);
    } else {
        String common = shellFolder(CSIDL_COMMON_APPDATA);
        base = common.isEmpty() ? String("C:\\") : common;
        levels.push_back(common.isEmpty() ? String("Marovent") : name);
    }
    if (named)
        m_held.reset(new SharedFolder(base, levels, security.get(), SharedFolder::grantEveryone));
    if (m_held && m_held->isUsable()) {
        m_systemDir = dbDir.isEmpty() ? m_held->path() : dbDir;
    } else {
        String why = m_held ? m_held->reason() : String::format("SVRDBDIR \"%s\" names no folder", dbDir.c_str());
        Solvaris::debugFilePrintf("SystemReservedDirectoryLocator: %s; the profile repository is not used there.\n",
                                  why.c_str());
        m_held.reset();
    }
}

SystemReservedDirectoryLocator::~SystemReservedDirectoryLocator() {}

String getSystemReservedDirectory() {
    SystemReservedDirectoryLocator* locator = SystemReservedDirectoryLocator::instance();
    return locator ? locator->getSystemReservedDirectory() : String();
}

std::string utf8(const std::wstring& text)
{
    const int size = int(text.size());
    const int n = size ? WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr) : 0;
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& utf8Text)
{
    const int size = int(utf8Text.size());
    const int n = size ? MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), size, nullptr, 0) : 0;
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), size, &out[0], n);
    return out;
}

} // namespace Solvaris_Win32
