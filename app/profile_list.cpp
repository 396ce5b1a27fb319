#include "app/profile_list.h"

#include <string>

#include "app/core/param_logic.h"
#include "baselib/svr_error.h"
#include "baselib/svr_stdout_win.h"
#include "baselib/svr_winutils.h"
#include "profile/djv_fileaccess.h"
#include "profile/djv_profiles.h"

using Solvaris_Win32::utf8;

std::vector<std::wstring> profileNames()
{
    // The repository is opened afresh for every fill and released at once
    // (releasing it saves pending changes, of which a read makes none).
    try {
        Solvaris::AutoPtr<Solvaris::DjVu::ProfileRepository> repository =
            Solvaris::DjVu::ProfileRepository::create(Solvaris::String());
        Solvaris::SimpleArray<Solvaris::String> names;
        repository->getProfileNames(names);
        std::vector<std::wstring> out;
        out.reserve(names.count());
        for (const Solvaris::String& n : names)
            out.emplace_back(n.c_wstr(), n.wlength());
        return out;
    } catch (const std::exception& e) {
        // The library never throws past the dialog: what an unreadable
        // repository gives, the built-in profile alone.
        OutputDebugStringA(e.what());
        return {L"sdk_default"};
    }
}

std::wstring repositoryFileName()
{
    const Solvaris::String folder = Solvaris::DjVu::FileAccess::systemReservedDirectory();
    const Solvaris::String path = Solvaris::DjVu::FileAccess::joinPath(folder, "db0.dprepo");
    return std::wstring(path.c_wstr(), path.wlength());
}

int fillProfileCombo(HWND combo, const std::wstring& name, const std::vector<std::wstring>& names)
{
    Solvaris_Win32::writeStandardOutput("UpdateProfileCombo: name=" + utf8(name) + "\n");

    const int wanted = profileSelection(names, name);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    LRESULT selection = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        // The box is not sorted, so the returned index is the position; it
        // is still the returned index that gets selected.
        LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
        if (names[i] == name) {
            Solvaris_Win32::writeStandardOutput("UpdateProfileCombo: index=" + std::to_string(i) + " for " +
                                                utf8(names[i]) + "\n");
        }
        if (int(i) == wanted)
            selection = index;
    }
    if (selection < 0)
        return -1;
    SendMessageW(combo, CB_SETCURSEL, WPARAM(selection), 0);
    return int(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

bool selectListedProfile(HWND combo, const std::wstring& name)
{
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    std::wstring entry;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0);
        if (length < 0 || size_t(length) != name.size())
            continue;
        entry.assign(size_t(length) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&entry[0]));
        if (entry.compare(0, name.size(), name) == 0) {
            SendMessageW(combo, CB_SETCURSEL, WPARAM(i), 0);
            return true;
        }
    }
    return false;
}
