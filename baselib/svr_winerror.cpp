#include "baselib/svr_winerror.h"

namespace Solvaris {

namespace {

// Win32 and WinHTTP error values that have a library code of their own.
// Every other WinHTTP value (12000..12186) is a network failure; anything
// else is a plain operation failure.
struct Win32Mapping {
    uint32_t win32;
    GeneralErrorDefinition code;
};

const Win32Mapping kWin32Mappings[] = {
    {8, errOutOfMemory},            // ERROR_NOT_ENOUGH_MEMORY
    {14, errOutOfMemory},           // ERROR_OUTOFMEMORY
    {5, errAccessDenied},           // ERROR_ACCESS_DENIED
    {6, errInvalidParam},           // ERROR_INVALID_HANDLE
    {13, errInvalidParam},          // ERROR_INVALID_DATA
    {15, errInvalidParam},          // ERROR_INVALID_DRIVE
    {87, errInvalidParam},          // ERROR_INVALID_PARAMETER
    {123, errInvalidParam},         // ERROR_INVALID_NAME
    {12005, errInvalidParam},       // ERROR_WINHTTP_INVALID_URL
    {12006, errInvalidParam},       // ERROR_WINHTTP_UNRECOGNIZED_SCHEME
    {12009, errInvalidParam},       // ERROR_WINHTTP_INVALID_OPTION
    {12154, errInvalidParam},       // ERROR_WINHTTP_INVALID_QUERY_REQUEST
    {2, errNotFound},               // ERROR_FILE_NOT_FOUND
    {3, errNotFound},               // ERROR_PATH_NOT_FOUND
    {53, errNotFound},              // ERROR_BAD_NETPATH
    {38, errEOF},                   // ERROR_HANDLE_EOF
    {110, errOpenFailed},           // ERROR_OPEN_FAILED
    {30, errReadFailed},            // ERROR_READ_FAULT
    {29, errWriteFailed},           // ERROR_WRITE_FAULT
    {88, errWriteFailed},           // ERROR_NET_WRITE_FAULT
    {25, errSeekFailed},            // ERROR_SEEK
    {111, errBufferOverflow},       // ERROR_BUFFER_OVERFLOW
    {12152, errDataBroken},         // ERROR_WINHTTP_INVALID_SERVER_RESPONSE
    {12153, errDataBroken},         // ERROR_WINHTTP_INVALID_HEADER
    {12166, errDataBroken},         // ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT
    {12017, errCancelled},          // ERROR_WINHTTP_OPERATION_CANCELLED
    {4, errOperationFailed},        // ERROR_TOO_MANY_OPEN_FILES
    {7, errOperationFailed},        // ERROR_ARENA_TRASHED
    {9, errOperationFailed},        // ERROR_INVALID_BLOCK
    {12, errOperationFailed},       // ERROR_INVALID_ACCESS
    {16, errOperationFailed},       // ERROR_CURRENT_DIRECTORY
    {24, errOperationFailed},       // ERROR_BAD_LENGTH
    {32, errOperationFailed},       // ERROR_SHARING_VIOLATION
    {86, errOperationFailed},       // ERROR_INVALID_PASSWORD
    {1, errNotImplemented},         // ERROR_INVALID_FUNCTION
    {50, errNotImplemented},        // ERROR_NOT_SUPPORTED
    {12181, errTooLarge},           // ERROR_WINHTTP_HEADER_COUNT_EXCEEDED
    {12182, errTooLarge},           // ERROR_WINHTTP_HEADER_SIZE_OVERFLOW
    {12183, errTooLarge},           // ERROR_WINHTTP_CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW
    {12184, errTooLarge},           // ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW
    {12002, errTimeout},            // ERROR_WINHTTP_TIMEOUT
    {12007, errNameNotResolved},    // ERROR_WINHTTP_NAME_NOT_RESOLVED
    {12037, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_CERT_DATE_INVALID
    {12038, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_CERT_CN_INVALID
    {12045, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_INVALID_CA
    {12057, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_CERT_REV_FAILED
    {12157, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_CHANNEL_ERROR
    {12169, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_INVALID_CERT
    {12170, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_CERT_REVOKED
    {12175, errSecureChannelFailed},  // ERROR_WINHTTP_SECURE_FAILURE
};

const uint32_t kWinHttpFirst = 12000;
const uint32_t kWinHttpLast = 12186;

}  // namespace

GeneralErrorDefinition errorFromWin32(uint32_t value)
{
    for (const Win32Mapping& m : kWin32Mappings) {
        if (m.win32 == value)
            return m.code;
    }
    if (value >= kWinHttpFirst && value <= kWinHttpLast)
        return errNetworkFailed;
    return errOperationFailed;
}

namespace WinErrorDetail {

String formatDescription(const String& systemText, uint32_t win32Error)
{
    String text = systemText.trimLineBreaksRight();
    return String::format("\"%s\" (%08xh)", text.c_str(), win32Error);
}

String formatUnknown(uint32_t win32Error)
{
    return String::format("::GetLastError() returns %xh\n", win32Error);
}

String fillInserts(const String& raw)
{
    const char* p = raw.c_str();
    const uint32_t n = raw.length();
    // The result is never longer than the raw text.
    char* out = nullptr;
    String result;
    out = result.getWritableBuffer(n);
    uint32_t o = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (p[i] != '%') {
            out[o++] = p[i];
            continue;
        }
        if (i + 1 == n)
            break;  // a lone "%" at the end stands for nothing
        char next = p[i + 1];
        if (next >= '1' && next <= '9') {
            // "%1" to "%99", optionally typed as in "%1!u!": left empty.
            i += 1;
            if (i + 1 < n && p[i + 1] >= '0' && p[i + 1] <= '9')
                ++i;
            if (i + 1 < n && p[i + 1] == '!') {
                uint32_t close = i + 2;
                while (close < n && p[close] != '!')
                    ++close;
                if (close < n)
                    i = close;
            }
            continue;
        }
        out[o++] = next;  // "%%" is "%", and "%" before anything else drops out
        ++i;
    }
    out[o] = 0;
    return result;
}

}  // namespace WinErrorDetail

String describeLastError()
{
    uint32_t value = lastPlatformError();
    String text = describeWin32Error(value);
    setLastPlatformError(value);
    return text;
}

PlatformException win32CallException(uint32_t win32Error, const char* windowsFunction,
                                     const char* file, int line)
{
    String text = describeWin32Error(win32Error) + String(" ") + String(windowsFunction);
    PlatformException e(errorFromWin32(win32Error), win32Error, text, file, line, "");
    setLastPlatformError(win32Error);
    return e;
}

}  // namespace Solvaris
