// Entry point of PrintvaneUI.exe: hands the wide argument vector to start-up
// and ends the process with its result.
#include "app/startup.h"

#include <delayimp.h>

#include <cstdlib>
#include <string>

namespace {
// Libraries bound for loading on first use (WinHTTP, oleacc) are taken
// from the system folder by full path, never from the program's folder or
// the search path. Should that fail, the loader's own search (which no
// longer includes the current folder) is the fallback.
FARPROC WINAPI loadFromSystemFolder(unsigned note, PDelayLoadInfo info)
{
    if (note != dliNotePreLoadLibrary || !info || !info->szDll)
        return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (!n || n >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, n);
    path += L'\\';
    for (const char* p = info->szDll; *p; ++p)
        path += wchar_t(static_cast<unsigned char>(*p));
    return reinterpret_cast<FARPROC>(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}
} // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = loadFromSystemFolder;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return runStartup(instance, __argc, __wargv);
}
