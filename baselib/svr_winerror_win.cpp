// Message texts of Win32 error values from the system and from the WinHTTP
// and credential-dialog modules.
#include "baselib/svr_winerror.h"

#include <windows.h>

namespace Solvaris {

namespace {

const DWORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 0x0409
const DWORD kUserDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);   // 0x0400

// A buffer that FormatMessageW allocated, freed on every way out.
struct LocalText {
    wchar_t* p = nullptr;
    ~LocalText() { if (p) LocalFree(p); }
};

// A module mapped as data only, unloaded on every way out.
struct DataModule {
    HMODULE h;
    explicit DataModule(const wchar_t* name) : h(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() { if (h) FreeLibrary(h); }
};

// Looks value up in one message source (the system table when module is
// null), in US English first and in the user's language when no US English
// text exists. Returns whether a text was found.
bool lookUp(HMODULE module, DWORD value, String& text)
{
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    flags |= module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD languages[] = {kUsEnglish, kUserDefault};
    for (DWORD language : languages) {
        LocalText buffer;
        DWORD n = FormatMessageW(flags, module, value, language, reinterpret_cast<wchar_t*>(&buffer.p),
                                 0, nullptr);
        if (n != 0 && buffer.p) {
            text = String(buffer.p, static_cast<int32_t>(n));
            return true;
        }
        if (GetLastError() != ERROR_RESOURCE_LANG_NOT_FOUND)
            return false;
    }
    return false;
}

bool lookUpInModule(const wchar_t* name, DWORD value, String& text)
{
    DataModule module(name);
    return module.h && lookUp(module.h, value, text);
}

}  // namespace

String describeWin32Error(uint32_t win32Error)
{
    String text;
    String result;
    if (lookUp(nullptr, win32Error, text) || lookUpInModule(L"winhttp.dll", win32Error, text) ||
        lookUpInModule(L"credui.dll", win32Error, text))
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
