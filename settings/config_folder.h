// Where the settings INI files lie: <common application data>\Marovent\Vellumjet,
// created on demand with an access rule that lets every user write, because
// the converter and this program may run as different users.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "baselib/svr_handle_win.h"

// Security attributes for the shared folders: a DACL (auto-inherit required)
// with one entry granting generic all access to Everyone, inherited by files
// and subfolders. Frees its descriptor when destroyed.
struct FolderSecurity {
    SECURITY_ATTRIBUTES attributes = {};
    Solvaris_Win32::LocalPtr<void> descriptor;  // what attributes.lpSecurityDescriptor points to
};

// The folder's security attributes, or nullptr when the descriptor cannot
// be made (the folders then get default security).
std::unique_ptr<FolderSecurity> createFolderSecurity();

namespace Solvaris_Win32 {
class SharedFolder;
}

// The config folder, opened for use: its two levels are created when
// missing (with the folder security), each opened without following links
// and held open while the object lives, so that neither can be removed,
// renamed or replaced by a link meanwhile. A link or a non-folder at either
// level makes the folder unusable: nothing is created inside it, and the
// settings are neither read from it nor written to it. When the application
// data folder is unknown the folder is "C:", and nothing is created or held.
class ConfigFolder {
public:
    ConfigFolder();
    ~ConfigFolder();
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    // Without a trailing separator.
    const std::wstring& path() const { return m_path; }
    bool usable() const { return m_usable; }
    // Why it cannot be used (ERROR_CANT_ACCESS_FILE for a link or a
    // non-folder), for GetLastError.
    DWORD error() const { return m_error; }

private:
    std::wstring m_path;
    std::unique_ptr<Solvaris_Win32::SharedFolder> m_levels;
    bool m_usable = true;
    DWORD m_error = ERROR_SUCCESS;
};

// The config folder's path (see ConfigFolder), without a trailing separator.
std::wstring getConfigFolder();

// The INI file of a settings name: config folder + "\" + name + ".ini".
// The name is used as it is.
std::wstring getIniPath(const std::wstring& settingsName);
