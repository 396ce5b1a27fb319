// The program's resources: the language module that dialog templates come
// from, and the search list for strings (language module first, then the
// program's own module).
#pragma once
#include <windows.h>
#include <initializer_list>
#include <string>

// One insert value for loadFormattedString: a text ("%1"), an unsigned
// ("%1!u!") or a signed ("%1!d!") 32-bit number, in the order of the numbers.
struct FormatArg {
    DWORD_PTR value;
    FormatArg(const wchar_t* text) : value(reinterpret_cast<DWORD_PTR>(text ? text : L"")) {}
    FormatArg(const std::wstring& text) : value(reinterpret_cast<DWORD_PTR>(text.c_str())) {}
    FormatArg(unsigned int n) : value(n) {}
    FormatArg(int n) : value(static_cast<DWORD_PTR>(static_cast<unsigned int>(n))) {}
    FormatArg(unsigned long n) : value(n) {}
    FormatArg(long n) : value(static_cast<DWORD_PTR>(static_cast<unsigned long>(n))) {}
};

// Sets the resource module (templates) and the string search list. Until it is
// called, the program's own module serves for both.
void setResourceModules(HMODULE languageModule, HMODULE ownModule);
HMODULE resourceModule();
HMODULE ownModule();

// Loads string `id` from the first module of the search list that holds it.
// Returns false (and leaves `out` empty) when no module holds it.
bool loadResourceString(UINT id, std::wstring& out);

// Loads string `id` and formats it with the platform's numbered inserts.
// A string that no module holds gives an empty text.
std::wstring loadFormattedString(UINT id, std::initializer_list<FormatArg> args = {});

// The system's text for error `error` (GetLastError), in the user's language,
// without its closing line break; empty when the system has none.
std::wstring systemMessage(DWORD error);
