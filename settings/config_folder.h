// Where the settings INI files lie: <common application data>\Marovent\Vellumjet,
// created on demand with an access rule that lets every user write, because
// the converter and this program may run as different users.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

// Security attributes for the shared folders: a DACL (auto-inherit required)
// with one entry granting generic all access to Everyone, inherited by files
// and subfolders. Frees its descriptor when destroyed.
struct FolderSecurity {
    SECURITY_ATTRIBUTES attributes = {};
    FolderSecurity() = default;
    FolderSecurity(const FolderSecurity&) = delete;
    FolderSecurity& operator=(const FolderSecurity&) = delete;
    ~FolderSecurity();
};

// The folder's security attributes, or nullptr when the descriptor cannot
// be made (the folders then get default security).
std::unique_ptr<FolderSecurity> createFolderSecurity();

// The config folder, without a trailing separator; its two levels are
// created when missing. "C:" when the application data folder is unknown
// (nothing is created then).
std::wstring getConfigFolder();

// The INI file of a settings name: config folder + "\" + name + ".ini".
// The name is used as it is.
std::wstring getIniPath(const std::wstring& settingsName);
