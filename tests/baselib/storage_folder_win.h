// The former Windows scratch folder and folder checks under their old names,
// for tests outside this folder that still include this header; new code
// takes support/test_kit_win.h.
#pragma once

#include "support/test_kit_win.h"

class ScratchFolder : public testkit::ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& what) : testkit::ScratchFolder(uitest::narrow(uitest::uniqueName(what))) {}
    using testkit::ScratchFolder::path;
    std::wstring path(const std::wstring& name) const { return (*this / name).wstring(); }
    const std::wstring& folder() const { return m_folder; }

private:
    std::wstring m_folder = path().wstring();
};

using testkit::commonAppData;
using testkit::everyoneMayWrite;
using testkit::isFolder;
