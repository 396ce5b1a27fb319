// Solvaris::Exception, PlatformException and the debug file.
#include "baselib/svr_error.h"

#include <cstring>

#include "baselib/svr_format.h"
#include "baselib/svr_oslayer.h"

namespace Solvaris {

namespace {

// Set while this thread formats an exception's message. Formatting itself
// throws when memory runs out; the exception built for that must not format
// again, or the two would call each other without end.
thread_local int t_buildingMessage = 0;

struct BuildingMessage {
    bool outer;
    BuildingMessage() : outer(t_buildingMessage == 0) { ++t_buildingMessage; }
    ~BuildingMessage() { --t_buildingMessage; }
};

const char kNoMessage[] = "No error message obtained...";

} // namespace

Exception::Exception(int32_t code, const char* text, const char* file, int line, const char* function)
    : m_code(code) {
    {
        BuildingMessage guard;
        if (guard.outer) {
            try {
                m_message = String::formatLocal("%s(%d) : %s: Error %d: %s\n", file, line, function, int(code),
                                                text);
            } catch (...) {
                // Out of memory: the exception still carries its code.
            }
        }
    }
    appendDebugFile(what());
}

Exception::Exception(int32_t code, const String& text, const char* file, int line, const char* function)
    : m_code(code) {
    {
        BuildingMessage guard;
        if (guard.outer) {
            try {
                m_message = String::formatLocal("%s(%d) : %s: Error %d: ", file, line, function, int(code)) + text +
                            String("\n", 1);
            } catch (...) {
            }
        }
    }
    appendDebugFile(what());
}

Exception::Exception(const Exception& other) : std::exception(other), m_code(other.m_code), m_message(other.m_message) {}

Exception& Exception::operator=(const Exception& other) {
    if (this != &other) {
        m_code = other.m_code;
        m_message = other.m_message;
    }
    return *this;
}

Exception::~Exception() {}

const char* Exception::what() const noexcept {
    // Every formatted message ends with a line break, so an empty one was
    // never formatted (memory ran out while building it).
    if (m_message.isEmpty())
        return kNoMessage;
    try {
        return m_message.c_strLocal();
    } catch (...) {
        return kNoMessage;
    }
}

PlatformException::PlatformException(int32_t code, uint32_t platformError, const String& text, const char* file,
                                     int line, const char* function)
    : Exception(code, text, file, line, function), m_platformError(platformError) {}

bool appendDebugFile(const char* text) {
    if (!text)
        return false;
    return _Svr_Internal_NS_::appendToDebugFile(text, uint32_t(std::strlen(text)));
}

bool debugFilePrintf(const char* format, ...) {
    if (!format)
        return false;
    va_list args;
    va_start(args, format);
    char* block = nullptr;
    uint32_t length = 0, capacity = 0;
    try {
        block = _Svr_Internal_NS_::formatEngine(format, args, &length, &capacity);
    } catch (...) {
        va_end(args);
        return false;
    }
    va_end(args);
    // A "%c" of 0 ends the text, as it does for formatted strings.
    bool ok = _Svr_Internal_NS_::appendToDebugFile(block, uint32_t(strnlen(block, length)));
    memWipeAndFree(block, capacity);
    return ok;
}

} // namespace Solvaris
