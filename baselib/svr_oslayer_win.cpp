// Windows side of the string and debug-file services: the system ANSI code
// page through MultiByteToWideChar / WideCharToMultiByte, and the debug file
// opened with full sharing so that several processes can append to it.
#include "baselib/svr_oslayer.h"

#include <windows.h>
#include <share.h>
#include <stdio.h>
#include <wchar.h>

#include "baselib/svr_error.h"

namespace Solvaris {
namespace _Svr_Internal_NS_ {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is one UTF-16 unit on Windows");

uint32_t ansiToUtf16(const char* src, uint32_t bytes, char16_t* dst, uint32_t capacity) {
    if (bytes == 0)
        return 0;
    if (bytes > 0x7fffffffu)
        SVR_THROW_CODE(errInvalidParam);
    int n = MultiByteToWideChar(CP_ACP, 0, src, int(bytes), reinterpret_cast<wchar_t*>(dst),
                                dst ? int(capacity) : 0);
    if (n <= 0)
        SVR_THROW_PLATFORM(errDataBroken, GetLastError(), String("MultiByteToWideChar"));
    return uint32_t(n);
}

uint32_t utf16ToAnsi(const char16_t* src, uint32_t units, char* dst, uint32_t capacity) {
    if (units == 0)
        return 0;
    if (units > 0x7fffffffu)
        SVR_THROW_CODE(errInvalidParam);
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(src), int(units), dst,
                                dst ? int(capacity) : 0, nullptr, nullptr);
    if (n <= 0)
        SVR_THROW_PLATFORM(errDataBroken, GetLastError(), String("WideCharToMultiByte"));
    return uint32_t(n);
}

bool appendToDebugFile(const char* text, uint32_t bytes) {
    // The process environment itself: the C run-time's copy misses values
    // set later through SetEnvironmentVariableW.
    wchar_t path[261];
    DWORD n = GetEnvironmentVariableW(L"_PXLL_DEBUG_FILE", path, 261);
    if (n == 0 || n > 260)
        return false;
    FILE* f = _wfsopen(path, L"at", _SH_DENYNO);
    if (!f)
        return false;
    bool ok = fwrite(text, 1, bytes, f) == bytes;
    if (fclose(f) != 0)
        ok = false;
    return ok;
}

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
