// Message texts of Win32 error values from the system and from the WinHTTP
// and credential-dialog modules.
#include "baselib/svr_winerror.h"

#include <windows.h>

#include <cwchar>

#include "baselib/svr_handle_win.h"

namespace Solvaris {

namespace {

const DWORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 0x0409
const DWORD kUserDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);   // 0x0400

// A system module mapped as data only (nothing in it runs), unloaded on
// every way out; null when it cannot be loaded. It is taken from the system
// folder by full path, so that a file of the same name beside the program
// cannot stand in for it.
Solvaris_Win32::LoadedModule systemDataModule(const wchar_t* name)
{
    wchar_t path[MAX_PATH + 32];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || wcslen(name) > 30)
        return Solvaris_Win32::LoadedModule();
    path[n] = L'\\';
    wcscpy(path + n + 1, name);
    return Solvaris_Win32::LoadedModule(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

// Looks value up in one message source (the system table when module is
// null), in US English first and in the user's language when there is no
// US English text. The second try follows any failure of the first: systems
// report a missing language with several different errors. Returns whether
// a text was found. Texts are read with their inserts in place (there are no
// values to put in, and reading values that were never passed is unsafe);
// a module's text then gets its inserts filled (left empty), as the system
// would format it; the system table's texts are used as read.
bool lookUp(HMODULE module, DWORD value, String& text)
{
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    flags |= module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD languages[] = {kUsEnglish, kUserDefault};
    for (DWORD language : languages) {
        Solvaris_Win32::LocalPtr<wchar_t> buffer;
        DWORD n = FormatMessageW(flags, module, value, language, reinterpret_cast<wchar_t*>(buffer.put()),
                                 0, nullptr);
        if (n != 0 && buffer) {
            text = String(buffer.get(), static_cast<int32_t>(n));
            if (module)
                text = WinErrorDetail::fillInserts(text);
            return true;
        }
    }
    return false;
}

}  // namespace

bool WinErrorDetail::lookUpInSystemModule(const wchar_t* name, uint32_t value, String& text)
{
    const Solvaris_Win32::LoadedModule module = systemDataModule(name);
    return module && lookUp(module.get(), value, text);
}

bool WinErrorDetail::lookUpInModule(void* module, uint32_t value, String& text)
{
    return module && lookUp(static_cast<HMODULE>(module), value, text);
}

String describeWin32Error(uint32_t win32Error)
{
    String text;
    String result;
    if (lookUp(nullptr, win32Error, text) || WinErrorDetail::lookUpInSystemModule(L"winhttp.dll", win32Error, text) ||
        WinErrorDetail::lookUpInSystemModule(L"credui.dll", win32Error, text))
        result = WinErrorDetail::formatDescription(text, win32Error);
    else
        result = WinErrorDetail::formatUnknown(win32Error);
    SetLastError(win32Error);
    return result;
}

uint32_t lastPlatformError()
{
    return GetLastError();
}

void setLastPlatformError(uint32_t win32Error)
{
    SetLastError(win32Error);
}

}  // namespace Solvaris
