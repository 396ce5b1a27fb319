// Error codes, the library's exception types and the debug file.
#pragma once

#include <cstdint>
#include <exception>

#include "baselib/svr_string.h"

namespace Solvaris {

// Error codes carried by every exception of the library. A throw site without
// a text of its own uses the enumerator's name as the message.
enum GeneralErrorDefinition : int32_t {
    errInternalError = -2,
    errOutOfMemory = 1,
    errAccessDenied = 3,
    errInvalidOperation = 4,
    errAuthRequired = 5,
    errInvalidParam = 7,
    errAlreadyExists = 10,
    errNotFound = 12,
    errEOF = 13,
    errCannotCreate = 14,
    errOpenFailed = 15,
    errReadFailed = 16,
    errWriteFailed = 17,
    errSeekFailed = 18,
    errBufferOverflow = 19,
    errDataBroken = 20,
    errCancelled = 24,
    errOperationFailed = 26,
    errReadOnly = 27,
    errNotImplemented = 28,
    errNoContent = 38,
    errTooLarge = 39,
    errNetworkFailed = 2000,
    errTimeout = 2001,
    errNameNotResolved = 2002,
    errSecureChannelFailed = 2003,
    errAuthFailed = 2004,
    errLockFailed = 5004,
    errUnlockFailed = 5005,
};

// The one exception type of the library. The message is a complete line
// "<file>(<line>) : <function>: Error <code>: <text>\n", built before the
// constructor returns and also appended to the debug file. Copies share the
// message's character buffer.
class Exception : public std::exception {
public:
    // text: a NUL-terminated narrow text in the system code page (throw sites
    // pass ASCII literals); the whole line is formatted with formatLocal.
    Exception(int32_t code, const char* text, const char* file, int line, const char* function);
    // text: UTF-8 text appended unchanged behind the formatted prefix.
    Exception(int32_t code, const String& text, const char* file, int line, const char* function);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    int32_t code() const { return m_code; }
    const String& message() const { return m_message; }
    // The message in the system code page; "No error message obtained..."
    // when it cannot be converted. Never throws.
    const char* what() const noexcept override;

private:
    int32_t m_code;
    String m_message;
};

// A failure of a platform call: adds the platform's error value.
class PlatformException : public Exception {
public:
    PlatformException(int32_t code, uint32_t platformError, const String& text, const char* file,
                      int line, const char* function);
    uint32_t platformError() const { return m_platformError; }

private:
    uint32_t m_platformError;
};

// Appends text unchanged to the file named by _PXLL_DEBUG_FILE; the file is
// opened, written and closed per call with full sharing. Returns whether the
// text was written (false when the variable is unset or empty, or on failure).
bool appendDebugFile(const char* text);
// Formats with the library's printf engine, then appends like appendDebugFile.
bool debugFilePrintf(const char* format, ...);

} // namespace Solvaris

// The compiler's full signature of the enclosing function.
#if defined(_MSC_VER)
#define SVR_FUNCSIG __FUNCSIG__
#else
#define SVR_FUNCSIG __PRETTY_FUNCTION__
#endif

// Throw sites: SVR_THROW(Solvaris::errInvalidParam, "some text") or, without a
// text of its own, SVR_THROW_CODE(errInvalidParam) (message "errInvalidParam").
#define SVR_THROW(code, text) \
    throw ::Solvaris::Exception((code), (text), __FILE__, __LINE__, SVR_FUNCSIG)
#define SVR_THROW_CODE(name) \
    throw ::Solvaris::Exception(::Solvaris::name, #name, __FILE__, __LINE__, SVR_FUNCSIG)
#define SVR_THROW_PLATFORM(code, platformError, text) \
    throw ::Solvaris::PlatformException((code), (platformError), (text), __FILE__, __LINE__, SVR_FUNCSIG)
