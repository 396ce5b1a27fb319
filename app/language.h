// Finding the language module: a resource-only file "<locale>\<program>.mui"
// in a folder beside the program, loaded as data (no code of it runs).
#pragma once
#include <windows.h>

#include <string>

// The running program's file, however long its path is; empty when it
// cannot be had.
std::wstring ownProgramPath();

// One attempt for one language identifier, for the running program: loads
// "<program folder>\<locale>\<program file>.mui" as data. No attempt is made
// (and none reported) when the program path has no folder part.
HMODULE tryLanguageModule(LANGID language);
// The same for the program file `programPath` (tests point it elsewhere).
HMODULE tryLanguageModule(LANGID language, const std::wstring& programPath);

// The module for the user's language (moduleLanguage: the region format's
// language, or the display language for a custom format): that language, its
// neutral form, US English, and finally the program's own module (so
// never null).
HMODULE loadLanguageModule();
// The same search for an injected user language and program file.
HMODULE loadLanguageModule(LANGID userLanguage, const std::wstring& programPath);

// Every attempt writes "SUCCEEDED: Trying to load: <path>\n" or
// "FAILED: ..." to the debugger. A hook set here receives each line too
// (nullptr removes it); tests read the search through it.
using LanguageTraceHook = void (*)(const wchar_t* line, void* context);
void setLanguageTraceHook(LanguageTraceHook hook, void* context);
