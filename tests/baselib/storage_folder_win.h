// A scratch folder for storage tests: a fresh folder in the temporary
// folder, emptied and removed at the end; its file names (hidden ones too)
// and whole-file reads.
#pragma once

#include <windows.h>

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
