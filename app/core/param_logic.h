// Decisions of the page configuration dialog that need no window: result
// codes, which controls accept input, when to ask before overwriting, the
// properties rows, the save dialog's filter list, the output file names the
// save dialog and the settings can carry, and the profile selection.
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
// Skip Page, OK, Cancel, and last the dialog window. The labels never change.
// Skip Page follows the others: enabled, it would end the page (an
// accessibility client or BM_CLICK can press it while the window is
// disabled) and leave the editor running without its dialog.
std::array<ControlState, 11> enableControlsPlan(bool enable, int page);

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

// The longest output path the settings file's readers take: the platform's
// classic path limit of 260 characters less the terminating NUL.
constexpr size_t kMaxOutputPath = 259;

// The text the save dialog starts from: the box's text when it fits, else its
// folder (up to and with the last separator) when that fits, else nothing.
// A cut text would start the dialog in another folder with another name.
std::wstring saveDialogStartText(const std::wstring& boxText);

// Reads the path the save dialog left in `buffer` of `size` characters: true
// with `path` when the text ends within the buffer and is no longer than
// kMaxOutputPath; false otherwise, which counts as a failed dialog.
bool saveDialogChosenPath(const wchar_t* buffer, size_t size, std::wstring& path);

// The length of the path the save dialog builds when the user confirms
// `typed` in `folder`: the typed text alone when it names a full path, else
// the folder, a separator and the text; `defaultExt` with its dot added when
// the text has no extension. Surrounding quotes and spaces do not count.
size_t saveDialogPathLength(const std::wstring& folder, const std::wstring& typed, const std::wstring& defaultExt);

// Why an output file name can never be written, checked at confirmation on
// the first page. Anything else is accepted, also a folder that does not
// exist or cannot be written now: the converter may create it or run with
// other rights. A name with the long-path prefix ("\\?\C:\...",
// "\\?\UNC\server\share\...") is judged as the path after it.
enum class NameFault {
    None,
    TooLong,            // more than kMaxOutputPath characters
    NotFullPath,        // not a drive ("C:\...") or UNC path: relative, or a device ("\\.\", "\\?\GLOBALROOT")
    TrailingDotOrSpace, // a name part ending in a dot or a blank, which Windows drops
    ForbiddenCharacter, // < > : " | ? * or a control character in a name part
    DeviceName,         // CON, PRN, AUX, NUL, COM0-9, LPT0-9, ... with or without extension
    Folder,             // an existing folder
};

// The fault of `name`; `isFolder` tells whether an existing folder has that
// name. For DeviceName, `part` (when given) receives the reserved name as
// written ("nul" for "C:\out\nul.djvu").
NameFault outputNameFault(const std::wstring& name, bool isFolder, std::wstring* part = nullptr);

// The entry of `names` to select for `wanted`: the last exact (case-sensitive)
// match, else 0; -1 when the list is empty.
int profileSelection(const std::vector<std::wstring>& names, const std::wstring& wanted);
