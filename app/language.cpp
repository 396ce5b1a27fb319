#include "app/language.h"

#include "app/core/lcid_table.h"

namespace {

LanguageTraceHook g_traceHook = nullptr;
void* g_traceContext = nullptr;

} // namespace

std::wstring ownProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);   // truncated: try a larger buffer
    }
    return std::wstring();
}

namespace {

void trace(bool succeeded, const std::wstring& path)
{
    std::wstring line = succeeded ? L"SUCCEEDED" : L"FAILED";
    line += L": Trying to load: ";
    line += path;
    line += L"\n";
    OutputDebugStringW(line.c_str());
    if (g_traceHook)
        g_traceHook(line.c_str(), g_traceContext);
}

} // namespace

void setLanguageTraceHook(LanguageTraceHook hook, void* context)
{
    g_traceHook = hook;
    g_traceContext = context;
}

HMODULE tryLanguageModule(LANGID language) { return tryLanguageModule(language, ownProgramPath()); }

HMODULE tryLanguageModule(LANGID language, const std::wstring& programPath)
{
    const size_t slash = programPath.find_last_of(L"\\/");
    // No folder part, or a file name alone: there is nowhere to look.
    if (slash == std::wstring::npos || slash == 0 || slash + 1 >= programPath.size())
        return nullptr;
    // "<folder>\<locale>\<file>.mui". An identifier without a locale name
    // leaves that part empty: the path names no module, and the attempt is
    // reported all the same.
    const char* locale = localeNameOf(language);
    std::wstring path = programPath.substr(0, slash) + L'\\';
    for (const char* c = locale ? locale : ""; *c; ++c)
        path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    path += L'\\' + programPath.substr(slash + 1) + L".mui";
    HMODULE module = locale ? LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    trace(module != nullptr, path);
    return module;
}

HMODULE loadLanguageModule()
{
    return loadLanguageModule(moduleLanguage(GetUserDefaultLangID(), GetUserDefaultUILanguage()), ownProgramPath());
}

HMODULE loadLanguageModule(LANGID userLanguage, const std::wstring& programPath)
{
    for (uint16_t id : languageSearchOrder(userLanguage)) {
        if (HMODULE module = tryLanguageModule(id, programPath))
            return module;
    }
    return GetModuleHandleW(nullptr);
}
