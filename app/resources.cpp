#include "app/resources.h"

#include <vector>

#include "baselib/svr_handle_win.h"

namespace {
HMODULE g_language = nullptr;
HMODULE g_own = nullptr;

HMODULE selfModule() { return g_own ? g_own : GetModuleHandleW(nullptr); }

// Reads string `id` of one module without copying through a fixed buffer:
// LoadStringW with a zero length returns a pointer to the resource text.
bool loadFrom(HMODULE module, UINT id, std::wstring& out)
{
    if (!module)
        return false;
    const wchar_t* text = nullptr;
    int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n <= 0 || !text)
        return false;
    out.assign(text, static_cast<size_t>(n));
    return true;
}
} // namespace

void setResourceModules(HMODULE languageModule, HMODULE own)
{
    g_language = languageModule;
    g_own = own;
}

HMODULE resourceModule() { return g_language ? g_language : selfModule(); }
HMODULE ownModule() { return selfModule(); }

bool loadResourceString(UINT id, std::wstring& out)
{
    out.clear();
    return loadFrom(resourceModule(), id, out) || loadFrom(selfModule(), id, out);
}

std::wstring loadFormattedString(UINT id, std::initializer_list<FormatArg> args)
{
    std::wstring pattern;
    if (!loadResourceString(id, pattern) || pattern.empty())
        return std::wstring();
    std::vector<DWORD_PTR> values;
    for (const FormatArg& a : args)
        values.push_back(a.value);
    values.push_back(0);
    Solvaris_Win32::LocalPtr<wchar_t> result;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(result.put()), 0,
                             reinterpret_cast<va_list*>(values.data()));
    std::wstring text;
    if (n && result)
        text.assign(result.get(), n);
    return text;
}

std::wstring systemMessage(DWORD error)
{
    Solvaris_Win32::LocalPtr<wchar_t> text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<LPWSTR>(text.put()), 0, nullptr);
    std::wstring out = text ? text.get() : L"";
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' '))
        out.pop_back();
    return out;
}
