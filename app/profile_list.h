// The profile box of the configuration dialog: the names of the encoding
// profiles, with the stored (or proposed) one selected.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The profile names of the default repository, in its order; the built-in
// "sdk_default" alone when the repository cannot be opened.
std::vector<std::wstring> profileNames();

// The path of the default repository file, as profileNames() reads it.
std::wstring repositoryFileName();

// Refills the combo box with `names` (as profileNames() gives them) and
// selects the entry equal to `name` (exact, letter case counts), or the
// first entry. Writes the trace lines "UpdateProfileCombo: name=..." and
// "UpdateProfileCombo: index=N for ..." to the standard output. Returns the
// selected index, -1 for none.
int fillProfileCombo(HWND combo, const std::wstring& name, const std::vector<std::wstring>& names);

// Selects the entry equal to `name` (exact, letter case counts) without
// reading the repository; false, with the box left alone, when it lists no
// such entry.
bool selectListedProfile(HWND combo, const std::wstring& name);
