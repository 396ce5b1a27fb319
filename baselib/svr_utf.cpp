// UTF-8, UTF-16 and UTF-32 conversions: bounded by the given length, stopping
// at a NUL, invalid input replaced by U+FFFD (see svr_string.h).
#include "baselib/svr_string.h"

#include <cstring>

namespace Solvaris {

namespace Utf {

namespace {
const uint32_t kOffsets[6] = {0x0u, 0x3080u, 0xE2080u, 0x3C82080u, 0xFA082080u, 0x82082080u};

uint32_t encodedLength(uint32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : cp < 0x200000 ? 4 : cp < 0x4000000 ? 5 : 6;
}

inline char16_t swap16(char16_t u) {
    return char16_t((u >> 8) | (u << 8));
}
inline char32_t swap32(char32_t u) {
    return char32_t(((u & 0xFFu) << 24) | ((u & 0xFF00u) << 8) | ((u >> 8) & 0xFF00u) | (u >> 24));
}
inline bool isHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads one code point from UTF-16 units, pairing surrogates; returns units used.
inline uint32_t readUtf16(const char16_t* src, uint32_t i, uint32_t count, bool swap, uint32_t* cp) {
    uint32_t u = swap ? swap16(src[i]) : src[i];
    if (isHigh(u) && i + 1 < count) {
        uint32_t l = swap ? swap16(src[i + 1]) : src[i + 1];
        if (isLow(l)) {
            *cp = 0x10000 + ((u - 0xD800) << 10) + (l - 0xDC00);
            return 2;
        }
    }
    *cp = u;
    return 1;
}

// A sequence longer than its value needs (an overlong form such as C0 80
// for U+0000) stands for no character: it becomes U+FFFD like other invalid
// input. Otherwise C0 80 would put a NUL into a wide string and cut a file
// name short where a system call reads it. Values that wrapped below the
// offset are huge, not small, and stay as they are.
inline uint32_t minimalOrReplaced(uint32_t cp, uint32_t len) {
    static const uint32_t kSmallest[7] = {0, 0, 0x80u, 0x800u, 0x10000u, 0x200000u, 0x4000000u};
    return cp < kSmallest[len] ? 0xFFFDu : cp;
}

inline uint32_t clampLength(uint64_t n) {
    return n > 0xffffffffu ? 0xffffffffu : uint32_t(n);
}
} // namespace

uint32_t decodeUtf8(const uint8_t* p, uint32_t avail, uint32_t* codePoint) {
    uint8_t b = p[0];
    uint32_t len = b < 0x80 ? 1
                 : (b & 0xE0) == 0xC0 ? 2
                 : (b & 0xF0) == 0xE0 ? 3
                 : (b & 0xF8) == 0xF0 ? 4
                 : (b & 0xFC) == 0xF8 ? 5
                 : (b & 0xFE) == 0xFC ? 6
                 : 1;
    // A sequence cut short by the end of the text or by a NUL counts as one
    // byte with its own value, so decoding never reads past the text.
    if (len > avail)
        len = 1;
    for (uint32_t i = 1; i < len; ++i) {
        if (p[i] == 0) {
            len = 1;
            break;
        }
    }
    uint32_t v = 0;
    for (uint32_t i = 0; i < len; ++i)
        v = v * 64u + p[i];
    *codePoint = minimalOrReplaced(v - kOffsets[len - 1], len);
    return len;
}

uint32_t encodeUtf8(uint32_t cp, char out[6]) {
    uint32_t n = encodedLength(cp);
    static const uint8_t kLead[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (uint32_t i = n - 1; i > 0; --i) {
        out[i] = char(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = char(kLead[n] | (n == 6 ? (cp & 0x01) : cp));
    return n;
}

namespace {
// Length of the run of plain ASCII bytes (no NUL) from i, taken eight at a time.
inline uint32_t asciiRun(const uint8_t* p, uint32_t i, uint32_t bytes) {
    uint32_t start = i;
    while (bytes - i >= 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        const uint64_t high = 0x8080808080808080ull, ones = 0x0101010101010101ull;
        if ((w & high) || ((w - ones) & ~w & high))
            break;
        i += 8;
    }
    while (i < bytes && p[i] && p[i] < 0x80)
        ++i;
    return i - start;
}

// decodeUtf8 with the common two- and three-byte forms inline.
inline uint32_t decodeAt(const uint8_t* p, uint32_t i, uint32_t bytes, uint32_t* cp) {
    uint8_t b = p[i];
    if ((b & 0xE0) == 0xC0 && bytes - i >= 2 && p[i + 1]) {
        *cp = minimalOrReplaced((uint32_t(b) << 6) + p[i + 1] - 0x3080u, 2);
        return 2;
    }
    if ((b & 0xF0) == 0xE0 && bytes - i >= 3 && p[i + 1] && p[i + 2]) {
        *cp = minimalOrReplaced((uint32_t(b) << 12) + (uint32_t(p[i + 1]) << 6) + p[i + 2] - 0xE2080u, 3);
        return 3;
    }
    return decodeUtf8(p + i, bytes - i, cp);
}
} // namespace

uint32_t utf8ToUtf16Length(const char* src, uint32_t bytes) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(src);
    uint64_t units = 0;
    uint32_t i = 0;
    while (i < bytes && p[i]) {
        if (p[i] < 0x80) {
            uint32_t run = asciiRun(p, i, bytes);
            units += run;
            i += run;
            continue;
        }
        uint32_t cp;
        i += decodeAt(p, i, bytes, &cp);
        units += (cp >= 0x10000 && cp <= 0x10FFFF) ? 2 : 1;
    }
    return clampLength(units);
}

// Code points beyond U+10FFFF cannot be written as UTF-16 and become U+FFFD.
uint32_t utf8ToUtf16(const char* src, uint32_t bytes, char16_t* dst) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(src);
    uint32_t i = 0, o = 0;
    while (i < bytes && p[i]) {
        if (p[i] < 0x80) {
            uint32_t run = asciiRun(p, i, bytes);
            for (uint32_t k = 0; k < run; ++k)
                dst[o + k] = p[i + k];
            o += run;
            i += run;
            continue;
        }
        uint32_t cp;
        i += decodeAt(p, i, bytes, &cp);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            dst[o++] = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            dst[o++] = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            dst[o++] = char16_t(cp > 0x10FFFF ? 0xFFFD : cp);
        }
    }
    dst[o] = 0;
    return o;
}

uint32_t utf8ToUtf32Length(const char* src, uint32_t bytes) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(src);
    uint32_t units = 0, i = 0;
    while (i < bytes && p[i]) {
        uint32_t cp;
        i += p[i] < 0x80 ? 1 : decodeUtf8(p + i, bytes - i, &cp);
        ++units;
    }
    return units;
}

uint32_t utf8ToUtf32(const char* src, uint32_t bytes, char32_t* dst) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(src);
    uint32_t i = 0, o = 0;
    while (i < bytes && p[i]) {
        uint32_t cp = p[i];
        i += cp < 0x80 ? 1 : decodeUtf8(p + i, bytes - i, &cp);
        dst[o++] = cp;
    }
    dst[o] = 0;
    return o;
}

uint32_t utf16ToUtf8Length(const char16_t* src, uint32_t count, bool swap) {
    uint64_t bytes = 0;
    uint32_t i = 0;
    while (i < count && src[i]) {
        uint32_t cp;
        i += readUtf16(src, i, count, swap, &cp);
        bytes += encodedLength(cp);
    }
    return clampLength(bytes);
}

uint32_t utf16ToUtf8(const char16_t* src, uint32_t count, bool swap, char* dst) {
    uint32_t i = 0, o = 0;
    while (i < count && src[i]) {
        uint32_t cp;
        i += readUtf16(src, i, count, swap, &cp);
        if (cp < 0x80)
            dst[o++] = char(cp);
        else
            o += encodeUtf8(cp, dst + o);
    }
    dst[o] = 0;
    return o;
}

uint32_t utf32ToUtf8Length(const char32_t* src, uint32_t count, bool swap) {
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < count && src[i]; ++i)
        bytes += encodedLength(swap ? swap32(src[i]) : src[i]);
    return clampLength(bytes);
}

uint32_t utf32ToUtf8(const char32_t* src, uint32_t count, bool swap, char* dst) {
    uint32_t o = 0;
    for (uint32_t i = 0; i < count && src[i]; ++i)
        o += encodeUtf8(swap ? swap32(src[i]) : src[i], dst + o);
    dst[o] = 0;
    return o;
}

} // namespace Utf

} // namespace Solvaris
