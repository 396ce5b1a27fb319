// Decisions of the page configuration dialog that need no window: result
// codes, which controls accept input, when to ask before overwriting, the
// properties rows, the save dialog's filter list and the profile selection.
// The dialog class wires these to its controls.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Result codes of the dialog beyond IDOK (1) and IDCANCEL (2); they are also
// the exit codes of the -param mode.
constexpr int IDOK_SUCCESSIVE = 1877;  // confirmed, same answer for the following pages
constexpr int IDSKIPPAGE = 1878;       // skip this page

// 1877 when "use same configuration for successive pages" is checked, else 1.
int confirmationResult(bool sameConfigChecked);

// The check box starts checked on the first page only.
bool sameConfigInitiallyChecked(int page);

// Whether the settings are written back for this result (1 and 1877 only).
bool resultSavesSettings(int result);

// The overwrite question is asked on the first page only, and only when a
// file or folder of that name exists.
bool needsOverwriteQuestion(int page, bool nameExists);

// One step of EnableControls: control `id` (0 stands for the dialog window
// itself) is enabled or disabled.
struct ControlState {
    int id;
    bool enabled;
};

// The steps in their fixed order: the output file box and Browse (only on
// page 1), then profile box, Edit, preview frame, properties list, check box,
// OK, Cancel, and last the dialog window. Skip Page and the labels never change.
std::array<ControlState, 10> enableControlsPlan(bool enable, int page);

// One row of the properties list: label string, value format string and its
// inserts. Signed inserts are "%1!d!", unsigned ones "%1!u!"; both are passed
// as the same 32-bit pattern, so -1 shows as -1 or 4294967295 by the format.
struct PropertyRow {
    unsigned labelId;
    unsigned formatId;
    unsigned argCount;
    uint32_t args[2];
};

// Rows in their order: Page, Image Size, Resolution, from the command-line
// numbers (never from the image file).
std::array<PropertyRow, 3> propertyRows(int page, int width, int height, int resolution);

// The save dialog's filter list from its string resource: every '|' becomes a
// NUL, and the list ends with two NULs even if the resource lacks the final '|'.
std::wstring fileFilterFromResource(const std::wstring& text);

// The entry of `names` to select for `wanted`: the last exact (case-sensitive)
// match, else 0; -1 when the list is empty.
int profileSelection(const std::vector<std::wstring>& names, const std::wstring& wanted);
