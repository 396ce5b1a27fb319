// The output file controls of the configuration dialog: file-system
// completion for the edit box, Browse through the platform's save dialog, and
// the question before an existing file is overwritten.
#pragma once
#include <windows.h>

#include <string>

// SHAutoComplete with SHACF_FILESYSTEM | SHACF_AUTOSUGGEST_FORCE_ON.
constexpr DWORD kOutputFileCompletion = 0x10000001;
// OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING.
constexpr DWORD kSaveDialogFlags = 0x0088080C;
constexpr DWORD kSaveDialogMaxFile = 260;

// Turns on file-system completion for the edit box.
void enableFileCompletion(HWND edit);

// Runs the save dialog, owned by `dialog`, starting from the text of control
// `editId`; on success puts the chosen path into that control. Cancelling (or
// a failing save dialog) leaves the text as it was. Returns whether a path
// was chosen.
bool browseForOutputFile(HWND dialog, int editId);

// Asks, in a message box owned by `dialog`, whether the existing file or
// folder `name` may be overwritten; only on page 1 and only when the name
// exists. Returns true when confirmation may go on.
bool confirmOverwrite(HWND dialog, const std::wstring& name, int page);

// The message and caption of that question, as the user sees them.
std::wstring overwriteQuestionText(const std::wstring& name);
std::wstring overwriteQuestionCaption();
