// The two message modes: an error box that turns known converter error codes
// into the user's language, and an information box that shows its text as is.
#pragma once
#include <windows.h>

#include <string>

// A converter error code and the string that explains it.
struct ErrorMessageEntry {
    int code;
    UINT stringId;
};

// Searched from the front; a pair with code 0 ends it.
extern const ErrorMessageEntry errorMessageTable[];

// The text the error box shows for `code`: the table's string when the code
// is listed and some module of the search list holds the string, otherwise
// `text` (an absent text gives an empty body).
std::wstring errorMessageText(const wchar_t* text, int code);

// The box title: string 100 of `instance` (the program's own module), empty
// when that module lacks it.
std::wstring messageTitle(HINSTANCE instance);

// Shows the error box (no owner, error icon, system-modal) and waits for it.
void showErrorMessage(HINSTANCE instance, const wchar_t* text, int code);
// Shows the information box (no owner, information icon, system-modal).
void showPlainMessage(HINSTANCE instance, const wchar_t* text);
