// A scratch folder for storage tests: a fresh folder in the temporary
// folder, emptied and removed at the end; its file names (hidden ones too).
// Checks of system folders shared with the settings tests.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "baselib/svr_string.h"
#include "support/ui_probe.h"

class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& what) : m_path(uitest::tempPath(uitest::uniqueName(what))) {
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~ScratchFolder() {
        for (const std::wstring& name : files()) {
            std::wstring p = path(name);
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
        }
        RemoveDirectoryW(m_path.c_str());
    }
    std::wstring path(const std::wstring& name) const { return m_path + L"\\" + name; }
    Solvaris::String at(const std::wstring& name) const { return Solvaris::String(path(name).c_str()); }
    const std::wstring& folder() const { return m_path; }

    // Names of the files in the folder, hidden ones included.
    std::vector<std::wstring> files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((m_path + L"\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileW(h, &found));
        FindClose(h);
        return names;
    }

private:
    std::wstring m_path;
};

inline bool isFolder(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

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
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
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
    LocalFree(sd);
    return found;
}
