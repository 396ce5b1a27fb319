// The output file controls of the configuration dialog: file-system
// completion for the edit box, Browse through the platform's save dialog, and
// the question before an existing file is overwritten.
#pragma once
#include <windows.h>

#include <commdlg.h>

#include <functional>
#include <string>

#include "app/core/param_logic.h"

// SHAutoComplete with SHACF_FILESYSTEM | SHACF_AUTOSUGGEST_FORCE_ON.
constexpr DWORD kOutputFileCompletion = 0x10000001;
// OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING.
constexpr DWORD kSaveDialogFlags = 0x0088080C;
constexpr DWORD kSaveDialogMaxFile = 260;
// The buffer behind it: room for the longest path the platform knows.
constexpr size_t kSaveDialogBufferSize = kSaveDialogMaxFile + 32768;

// How Browse runs the save dialog: the dialog's result and, when it failed,
// CommDlgExtendedError's reason (0 for Cancel). An empty call (the default)
// is the platform's GetSaveFileNameW; tests hand in outcomes that only
// Windows' own dialog gives.
using SaveDialogCall = std::function<BOOL(OPENFILENAMEW& ofn, DWORD& error)>;
void setSaveDialogCall(SaveDialogCall call);

// Turns on file-system completion for the edit box.
void enableFileCompletion(HWND edit);

// Runs the save dialog, owned by `dialog`, starting from the text of control
// `editId`; on success puts the chosen path into that control. A text too
// long to hand over is not: the dialog starts in its folder (when that
// exists) with no name, after a message saying why. Cancelling, a failing
// save dialog or a path longer than kMaxOutputPath (refused with the "too
// long" message by either dialog) leaves the text as it was. Returns
// whether a path was chosen.
bool browseForOutputFile(HWND dialog, int editId);

// On page 1, refuses a name that can never be a file (outputNameFault, and
// an existing folder) with a message box owned by `dialog`. Returns true when
// confirmation may go on; later pages always may.
bool acceptOutputName(HWND dialog, const std::wstring& name, int page);

// The text of that message; empty for NameFault::None.
std::wstring outputNameFaultText(const std::wstring& name, NameFault fault, const std::wstring& part);

// Asks, in a message box owned by `dialog`, whether the existing file or
// folder `name` may be overwritten; only on page 1 and only when the name
// exists. Returns true when confirmation may go on.
bool confirmOverwrite(HWND dialog, const std::wstring& name, int page);

// The message and caption of that question, as the user sees them.
std::wstring overwriteQuestionText(const std::wstring& name);
std::wstring overwriteQuestionCaption();
