// Solvaris::String: UTF-8 text in a shared, counted buffer, with cached UTF-16,
// UTF-32 and system-ANSI forms; the printf-style engine; hexadecimal parsing
// and the UTF conversion routines.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "baselib/svr_base.h"

namespace Solvaris {

// One UTF-16 code unit as the platform's wide calls take it: wchar_t on
// Windows (16 bits there), char16_t elsewhere.
#if defined(_WIN32)
typedef wchar_t UTF16Char;
#else
typedef char16_t UTF16Char;
#endif
typedef char32_t UTF32Char;

// Length marker "not measured yet / up to the first NUL", "not found" result
// and "up to the end" count.
const uint32_t kUnknownLength = 0x80000000u;
const uint32_t kNotFound = 0x80000000u;
const uint32_t kToEnd = 0x80000000u;

// The counted character buffer behind strings.
class ReferableString : public Referable {
public:
    ~ReferableString() override {}
    // Replaces the contents with count bytes (negative: up to the first NUL;
    // a NUL inside the count also ends the text).
    virtual void assign(const char* bytes, int32_t count) = 0;
    virtual const char* getBuffer() const = 0;
    // Byte length, or kUnknownLength (as int32_t) when a writer filled the
    // buffer and the length must be measured up to the first NUL.
    virtual int32_t getLength() const = 0;
    // False while this is the shared static empty text.
    virtual bool isAllocated() const = 0;

    // A new buffer holding count bytes (negative: up to the first NUL).
    static AutoPtr<ReferableString> create(const char* bytes, int32_t count);
    // The process-wide empty buffer.
    static ReferableString* empty();
};

class String {
public:
    String();
    // UTF-8 bytes; a negative count (or 0x80000000) means up to the first
    // NUL, and a NUL within the count ends the text there too.
    String(const char* utf8, int32_t count = -1);
    // UTF-16 units (negative count: up to the first NUL unit). A leading
    // U+FEFF is dropped; a leading swapped mark 0xFFFE is dropped and the
    // rest is byte-swapped.
    String(const UTF16Char* utf16, int32_t count = -1);
    // UTF-32 units, with the same byte-order-mark rules (0xFFFE0000 swapped).
    String(const UTF32Char* utf32, int32_t count = -1);
    String(const String& other);
    String(String&& other) noexcept;
    ~String();
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;

    // Text in the system ANSI code page.
    static String fromLocal(const char* ansi, int32_t count = -1);

    // printf-style formatting (see the conversion table in svr_format.cpp).
    // format takes the produced bytes as UTF-8; formatLocal as system-ANSI
    // text and converts them. A null format yields the empty string.
    static String format(const char* fmt, ...);
    static String formatV(const char* fmt, va_list args);
    static String formatLocal(const char* fmt, ...);
    static String formatLocalV(const char* fmt, va_list args);

    // Access.
    uint32_t length() const;                 // bytes, measured lazily
    bool isEmpty() const;
    uint8_t byteAt(uint32_t index) const;    // 0 beyond the end
    const char* c_str() const;               // NUL-terminated UTF-8
    const UTF16Char* c_wstr() const;         // NUL-terminated UTF-16, cached
    uint32_t wlength() const;                // UTF-16 units of c_wstr
    const UTF32Char* c_utf32() const;        // NUL-terminated UTF-32, cached
    uint32_t utf32Length() const;
    const char* c_strLocal() const;          // NUL-terminated system ANSI, cached
    // A fresh private buffer of n + 1 bytes for a platform call to fill; the
    // length is measured later up to the first NUL (at most n bytes).
    char* getWritableBuffer(uint32_t n);

    // Operations: each returns a new string.
    String operator+(const String& other) const;
    String& operator+=(const String& other);
    String substring(uint32_t start, uint32_t count = kToEnd) const;
    uint32_t find(const String& needle) const;            // kNotFound if absent
    bool startsWith(const String& prefix) const;
    uint32_t rfind(uint32_t codePoint) const;            // kNotFound if absent
    String trim() const;
    String trimLineBreaksRight() const;
    String replace(const String& replacee, const String& replacement) const;
    String removeBOM() const;

    int compare(const String& other) const;
    int compareNoCase(const String& other) const;
    bool operator==(const String& o) const { return compare(o) == 0; }
    bool operator!=(const String& o) const { return compare(o) != 0; }
    bool operator<(const String& o) const { return compare(o) < 0; }

    uint32_t toUInt() const;
    uint64_t toUInt64() const;
    int32_t toInt() const;
    double toDouble() const;

    void swap(String& other) noexcept;

    // Whether two strings share one character buffer (copies, substrings).
    bool sharesBufferWith(const String& other) const { return m_buffer.get() == other.m_buffer.get(); }

private:
    struct Adopt {};
    String(Adopt, const AutoPtr<ReferableString>& buffer, uint32_t start, int32_t length);
    const char* data() const { return m_buffer->getBuffer() + m_start; }
    void clearCaches() const;
    static String fromUtf16Units(const char16_t* units, uint32_t count, bool swap);
    template <class Unit>
    static String fromUnits(const Unit* units, uint32_t count, bool swap,
                            uint32_t (*measure)(const Unit*, uint32_t, bool),
                            uint32_t (*convert)(const Unit*, uint32_t, bool, char*));
    static String fromFormatted(char* block, uint32_t length, uint32_t capacity);

    // c_str may move a substring into a private copy of the same bytes, so
    // the buffer and start change under a const call (content never does).
    mutable AutoPtr<ReferableString> m_buffer;
    mutable uint32_t m_start;
    mutable int32_t m_length;
    mutable UTF16Char* m_utf16;
    mutable uint32_t m_utf16Length;
    mutable UTF32Char* m_utf32;
    mutable uint32_t m_utf32Length;
    mutable char* m_local;
    mutable uint32_t m_localLength;
};

inline void swap(String& a, String& b) noexcept { a.swap(b); }

// Bytes of a block of units elements of unitSize bytes, computed in 64 bits.
// Throws errOutOfMemory when the result exceeds limit (by default the
// largest block this process can address), so that no size wraps around in
// a 32-bit process.
size_t checkedBlockSize(uint64_t units, uint64_t unitSize, uint64_t limit = SIZE_MAX);

namespace Hex {
// Reads exactly digitCount hexadecimal digits (0-9, a-f, A-F), most
// significant first. Throws errDataBroken on any other character or when the
// value leaves the signed 32-bit range. A count of 0 gives 0.
int32_t fromStrToInt(const char* text, uint32_t digitCount);
} // namespace Hex

// printf-style engine shared by String::format, formatLocal and the debug
// file. Returns a block from the process allocator holding a NUL-terminated
// text (free it with memFree) and stores its byte length in *outLength.
// Throws errOutOfMemory when the output cannot be allocated.
char* formatToBuffer(const char* fmt, va_list args, uint32_t* outLength);

// UTF conversions. Decoding is bounded by the given length and stops at a
// NUL; writers append a NUL terminator, so a destination needs the counted
// size plus one.
namespace Utf {
// Decodes the sequence at p (at most avail bytes, avail >= 1) and returns the
// number of bytes consumed (1 to 6).
uint32_t decodeUtf8(const uint8_t* p, uint32_t avail, uint32_t* codePoint);
// Writes 1 to 6 bytes for codePoint and returns the count.
uint32_t encodeUtf8(uint32_t codePoint, char out[6]);

// UTF-8 -> UTF-16: units needed (without terminator) for the bytes before
// the first NUL, and the conversion itself (returns units written).
uint32_t utf8ToUtf16Length(const char* src, uint32_t bytes);
uint32_t utf8ToUtf16(const char* src, uint32_t bytes, char16_t* dst);
uint32_t utf8ToUtf32Length(const char* src, uint32_t bytes);
uint32_t utf8ToUtf32(const char* src, uint32_t bytes, char32_t* dst);

// UTF-16 / UTF-32 -> UTF-8 of count units (stops at a NUL unit); swap asks
// for byte-swapping every unit. Lone surrogates are encoded as their value.
uint32_t utf16ToUtf8Length(const char16_t* src, uint32_t count, bool swap);
uint32_t utf16ToUtf8(const char16_t* src, uint32_t count, bool swap, char* dst);
uint32_t utf32ToUtf8Length(const char32_t* src, uint32_t count, bool swap);
uint32_t utf32ToUtf8(const char32_t* src, uint32_t count, bool swap, char* dst);
} // namespace Utf

} // namespace Solvaris
