// Win32 error values: their library error codes, their readable texts, and
// the exception that file and storage routines throw for a failed Windows
// call.
#pragma once

#include <cstdint>

#include "baselib/svr_error.h"
#include "baselib/svr_string.h"

namespace Solvaris {

// The library code for a Win32 or WinHTTP error value.
GeneralErrorDefinition errorFromWin32(uint32_t win32Error);

// The system's text for a Win32 error value, looked up in the system message
// table, then in winhttp.dll and credui.dll (US English first, then the
// user's language), as "\"<text>\" (<value as 8 hex digits>h)". A value
// without any text gives "::GetLastError() returns <hex value>h\n". The
// thread's last error is set to the value before returning.
String describeWin32Error(uint32_t win32Error);
// describeWin32Error of the calling thread's last error, which is left as it
// was.
String describeLastError();

// The calling thread's last platform error, and setting it.
uint32_t lastPlatformError();
void setLastPlatformError(uint32_t win32Error);

// The exception of a failed Windows call in the file and storage routines:
// code errorFromWin32(win32Error), text "<description> <function>", the
// platform error stored, and an empty function-signature part.
PlatformException win32CallException(uint32_t win32Error, const char* windowsFunction,
                                     const char* file, int line);

namespace WinErrorDetail {
// "\"<text>\" (<value>h)" with trailing line breaks (LF, VT, FF, CR, U+0085,
// U+2028, U+2029) removed from text.
String formatDescription(const String& systemText, uint32_t win32Error);
// "::GetLastError() returns <value>h\n".
String formatUnknown(uint32_t win32Error);
// A module's message text as read with its inserts left in place, formatted
// the way the system formats messages with every insert empty: "%1" to
// "%99" (also typed, as "%1!u!") give nothing, "%%" gives "%", and "%"
// before any other character gives that character. Module texts (WinHTTP,
// credential dialogs) get this; the system table's texts are used as read.
String fillInserts(const String& raw);
#if defined(_WIN32)
// The message text of value in the system module name (a file in the system
// folder, mapped as data only), inserts filled as fillInserts does; false
// when there is none.
bool lookUpInSystemModule(const wchar_t* name, uint32_t value, String& text);
// The same for a module already loaded (a HMODULE).
bool lookUpInModule(void* module, uint32_t value, String& text);
#endif
}  // namespace WinErrorDetail

}  // namespace Solvaris

// Throws the exception above for the last error of the Windows call named,
// e.g. SVR_THROW_LAST_ERROR("CreateFileW") right after CreateFileW failed.
#define SVR_THROW_LAST_ERROR(windowsFunction)                                                  \
    throw ::Solvaris::win32CallException(::Solvaris::lastPlatformError(), (windowsFunction), \
                                         __FILE__, __LINE__)
