// Finding the language module: a resource-only file "<locale>\<program>.mui"
// in a folder beside the program, loaded as data (no code of it runs).
#pragma once
#include <windows.h>

#include <string>

// One attempt for one language identifier, for the running program.
HMODULE tryLanguageModule(LANGID language);
// The same for the program file `programPath` (tests point it elsewhere).
HMODULE tryLanguageModule(LANGID language, const std::wstring& programPath);

// The module for the user's language: the user's default language, its
// neutral form, US English, and finally the program's own module.
HMODULE loadLanguageModule();
// The same search for an injected user language and program file.
HMODULE loadLanguageModule(LANGID userLanguage, const std::wstring& programPath);

// The path an attempt loads: "<folder>\<locale>\<file>.mui". Empty when the
// program path has no folder part or the identifier has no locale name.
std::wstring languageModulePath(LANGID language, const std::wstring& programPath);

// Every attempt writes "SUCCEEDED: Trying to load: <path>\n" or
// "FAILED: ..." to the debugger. A hook set here receives each line too
// (nullptr removes it); tests read the search through it.
using LanguageTraceHook = void (*)(const wchar_t* line, void* context);
void setLanguageTraceHook(LanguageTraceHook hook, void* context);
