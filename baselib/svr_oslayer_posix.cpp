// Stand-ins for the native test build. The "system ANSI code page" is taken
// to be Latin-1 (ISO 8859-1): every byte is the code point of the same value,
// and UTF-16 units above 0xFF become the default character '?', as a
// single-byte Windows code page does for characters it lacks.
#include "baselib/svr_oslayer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Solvaris {
namespace _Svr_Internal_NS_ {

uint32_t ansiToUtf16(const char* src, uint32_t bytes, char16_t* dst, uint32_t capacity) {
    if (!dst)
        return bytes;
    uint32_t n = bytes < capacity ? bytes : capacity;
    for (uint32_t i = 0; i < n; ++i)
        dst[i] = char16_t(uint8_t(src[i]));
    return n;
}

uint32_t utf16ToAnsi(const char16_t* src, uint32_t units, char* dst, uint32_t capacity) {
    // A surrogate pair is one character and yields one default character.
    uint32_t out = 0;
    for (uint32_t i = 0; i < units; ++i) {
        char16_t u = src[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF)
            ++i;
        if (dst) {
            if (out >= capacity)
                break;
            dst[out] = u <= 0xFF ? char(u) : '?';
        }
        ++out;
    }
    return out;
}

bool appendToDebugFile(const char* text, uint32_t bytes) {
    const char* path = std::getenv("_PXLL_DEBUG_FILE");
    if (!path || !*path || std::strlen(path) > 260)
        return false;
    FILE* f = std::fopen(path, "a");
    if (!f)
        return false;
    bool ok = std::fwrite(text, 1, bytes, f) == bytes;
    if (std::fclose(f) != 0)
        ok = false;
    return ok;
}

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
