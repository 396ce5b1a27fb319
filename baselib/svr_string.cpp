// Solvaris::String and its counted UTF-8 buffer, and hexadecimal parsing.
// The UTF conversions it uses live in svr_utf.cpp.
#include "baselib/svr_string.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "baselib/svr_array.h"
#include "baselib/svr_error.h"
#include "baselib/svr_format.h"
#include "baselib/svr_oslayer.h"

namespace Solvaris {

namespace {

// Longest text a buffer may hold; keeps n + 6 and every length in range.
const uint32_t kMaxBytes = 0x7ffffff0u;

[[noreturn]] void throwOutOfMemory() {
    SVR_THROW_CODE(errOutOfMemory);
}

// Every ANSI code page the platform offers agrees with ASCII on bytes below
// 0x80, so such a text needs no conversion in either direction.
bool isAsciiOnly(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
}

void* allocOrThrow(size_t n) {
    void* p = memAlloc(n);
    if (!p)
        throwOutOfMemory();
    return p;
}

const char kEmptyText[8] = {0};
const UTF16Char kEmptyWide[1] = {0};
const UTF32Char kEmptyUtf32[1] = {0};

} // namespace

namespace _Svr_Internal_NS_ {

// The one buffer implementation. A filled buffer holds n bytes followed by 6
// zero bytes; every block is wiped before it is freed.
class ReferableUtf8StringImpl : public ReferableString {
public:
    ReferableUtf8StringImpl() : m_buffer(const_cast<char*>(kEmptyText)), m_capacity(0), m_length(0) {}
    ~ReferableUtf8StringImpl() override { releaseBlock(); }

    void assign(const char* bytes, int32_t count) override {
        size_t n = 0;
        if (bytes)
            n = count < 0 ? std::strlen(bytes) : strnlen(bytes, size_t(count));
        if (n == 0) {
            releaseBlock();
            return;
        }
        if (n > kMaxBytes)
            throwOutOfMemory();
        // The source may lie in the current block: copy before releasing it.
        char* block = static_cast<char*>(allocOrThrow(n + 6));
        std::memcpy(block, bytes, n);
        std::memset(block + n, 0, 6);
        replaceBlock(block, uint32_t(n + 6), int32_t(n));
    }
    const char* getBuffer() const override { return m_buffer; }
    int32_t getLength() const override { return m_length; }
    bool isAllocated() const override { return m_capacity != 0; }

    // Space for n bytes of text, followed by 6 zero bytes.
    char* allocate(uint32_t n) {
        char* block = static_cast<char*>(allocOrThrow(size_t(n) + 6));
        std::memset(block + n, 0, 6);
        replaceBlock(block, n + 6, int32_t(n));
        return block;
    }

    // n + 1 bytes, first and last zero, length to be measured.
    char* allocateForWriting(uint32_t n) {
        char* block = static_cast<char*>(allocOrThrow(size_t(n) + 1));
        block[0] = 0;
        block[n] = 0;
        replaceBlock(block, n + 1, int32_t(kUnknownLength));
        return block;
    }

    void adopt(char* block, uint32_t length, uint32_t capacity) {
        replaceBlock(block, capacity, int32_t(length));
    }

private:
    void replaceBlock(char* block, uint32_t capacity, int32_t length) {
        releaseBlock();
        m_buffer = block;
        m_capacity = capacity;
        m_length = length;
    }
    void releaseBlock() {
        if (m_capacity) {
            memWipeAndFree(m_buffer, m_capacity);
        }
        m_buffer = const_cast<char*>(kEmptyText);
        m_capacity = 0;
        m_length = 0;
    }

    char* m_buffer;
    uint32_t m_capacity;
    int32_t m_length;
};

} // namespace _Svr_Internal_NS_

using _Svr_Internal_NS_::ReferableUtf8StringImpl;

namespace {

OnceFlag g_emptyOnce;
alignas(ReferableUtf8StringImpl) unsigned char g_emptyStorage[sizeof(ReferableUtf8StringImpl)];
ReferableUtf8StringImpl* g_empty = nullptr;

// A new buffer with room for n bytes; *out receives the byte pointer.
AutoPtr<ReferableString> newBuffer(uint64_t n, char** out) {
    if (n > kMaxBytes)
        throwOutOfMemory();
    ReferableUtf8StringImpl* impl = new ReferableUtf8StringImpl();
    AutoPtr<ReferableString> holder(impl);
    *out = impl->allocate(uint32_t(n));
    return holder;
}

} // namespace

AutoPtr<ReferableString> ReferableString::create(const char* bytes, int32_t count) {
    AutoPtr<ReferableString> holder(new ReferableUtf8StringImpl());
    holder->assign(bytes, count);
    return holder;
}

ReferableString* ReferableString::empty() {
    callOnce(g_emptyOnce, [] {
        // Lives until the process ends: the extra reference keeps it.
        g_empty = new (g_emptyStorage) ReferableUtf8StringImpl();
        g_empty->addRef();
    });
    return g_empty;
}

// ---------------------------------------------------------------------------
// Construction

String::String()
    : m_buffer(ReferableString::empty()), m_start(0), m_length(0), m_utf16(nullptr), m_utf16Length(0),
      m_utf32(nullptr), m_utf32Length(0), m_local(nullptr), m_localLength(0) {}

String::String(Adopt, const AutoPtr<ReferableString>& buffer, uint32_t start, int32_t length)
    : m_buffer(buffer), m_start(start), m_length(length), m_utf16(nullptr), m_utf16Length(0),
      m_utf32(nullptr), m_utf32Length(0), m_local(nullptr), m_localLength(0) {}

String::String(const char* utf8, int32_t count) : String() {
    if (!utf8 || count == 0)
        return;
    size_t n = count < 0 ? std::strlen(utf8) : strnlen(utf8, size_t(count));
    if (n == 0)
        return;
    char* p;
    m_buffer = newBuffer(n, &p);
    std::memcpy(p, utf8, n);
    m_length = int32_t(n);
}

namespace {

// UTF-16 or UTF-32 input: counts the units (a negative count: up to the first
// NUL unit) and handles a leading byte-order mark: U+FEFF is dropped; the
// swapped mark is dropped and asks for every following unit to be swapped.
template <class Unit>
uint32_t takeMark(const Unit*& s, int32_t count, Unit swappedMark, bool* swap) {
    uint32_t n = 0;
    if (count < 0) {
        while (s[n])
            ++n;
    } else {
        n = uint32_t(count);
    }
    *swap = false;
    if (n > 0 && (s[0] == 0xFEFF || s[0] == swappedMark)) {
        *swap = s[0] == swappedMark;
        ++s;
        --n;
    }
    return n;
}

} // namespace

// The UTF-8 string of count units through the given measuring and
// converting routines.
template <class Unit>
String String::fromUnits(const Unit* units, uint32_t count, bool swap,
                         uint32_t (*measure)(const Unit*, uint32_t, bool),
                         uint32_t (*convert)(const Unit*, uint32_t, bool, char*)) {
    uint32_t bytes = measure(units, count, swap);
    if (bytes == 0)
        return String();
    char* p;
    AutoPtr<ReferableString> buf = newBuffer(bytes, &p);
    convert(units, count, swap, p);
    return String(Adopt(), buf, 0, int32_t(bytes));
}

String String::fromUtf16Units(const char16_t* units, uint32_t count, bool swap) {
    return fromUnits<char16_t>(units, count, swap, Utf::utf16ToUtf8Length, Utf::utf16ToUtf8);
}

String::String(const UTF16Char* utf16, int32_t count) : String() {
    if (!utf16 || count == 0)
        return;
    const char16_t* s = reinterpret_cast<const char16_t*>(utf16);
    bool swap;
    uint32_t n = takeMark<char16_t>(s, count, 0xFFFE, &swap);
    String r = fromUtf16Units(s, n, swap);
    this->swap(r);
}

String::String(const UTF32Char* utf32, int32_t count) : String() {
    if (!utf32 || count == 0)
        return;
    const char32_t* s = utf32;
    bool swap;
    uint32_t n = takeMark<char32_t>(s, count, 0xFFFE0000u, &swap);
    String r = fromUnits<char32_t>(s, n, swap, Utf::utf32ToUtf8Length, Utf::utf32ToUtf8);
    this->swap(r);
}

String String::fromLocal(const char* ansi, int32_t count) {
    if (!ansi || count == 0)
        return String();
    size_t n = count < 0 ? std::strlen(ansi) : strnlen(ansi, size_t(count));
    if (n == 0)
        return String();
    if (n > kMaxBytes)
        throwOutOfMemory();
    if (isAsciiOnly(ansi, n))
        return String(ansi, int32_t(n));
    uint32_t units = _Svr_Internal_NS_::ansiToUtf16(ansi, uint32_t(n), nullptr, 0);
    struct Block {
        char16_t* p;
        size_t bytes;
        ~Block() { memWipeAndFree(p, bytes); }
    } tmp{nullptr, checkedBlockSize(uint64_t(units) + 1, 2)};
    tmp.p = static_cast<char16_t*>(allocOrThrow(tmp.bytes));
    units = _Svr_Internal_NS_::ansiToUtf16(ansi, uint32_t(n), tmp.p, units);
    return fromUtf16Units(tmp.p, units, false);
}

String::String(const String& other)
    : m_buffer(other.m_buffer), m_start(other.m_start), m_length(other.m_length), m_utf16(nullptr),
      m_utf16Length(0), m_utf32(nullptr), m_utf32Length(0), m_local(nullptr), m_localLength(0) {}

String::String(String&& other) noexcept : String() {
    swap(other);
}

String::~String() {
    clearCaches();
}

String& String::operator=(const String& other) {
    if (this != &other) {
        String copy(other);
        swap(copy);
    }
    return *this;
}

String& String::operator=(String&& other) noexcept {
    if (this != &other) {
        String moved(std::move(other));
        swap(moved);
    }
    return *this;
}

void String::swap(String& o) noexcept {
    m_buffer.swap(o.m_buffer);
    std::swap(m_start, o.m_start);
    std::swap(m_length, o.m_length);
    std::swap(m_utf16, o.m_utf16);
    std::swap(m_utf16Length, o.m_utf16Length);
    std::swap(m_utf32, o.m_utf32);
    std::swap(m_utf32Length, o.m_utf32Length);
    std::swap(m_local, o.m_local);
    std::swap(m_localLength, o.m_localLength);
}

void String::clearCaches() const {
    if (m_utf16) {
        memWipeAndFree(m_utf16, size_t((uint64_t(m_utf16Length) + 1) * sizeof(UTF16Char)));
        m_utf16 = nullptr;
        m_utf16Length = 0;
    }
    if (m_utf32) {
        // The block was allocated at this size, so the product fits.
        memWipeAndFree(m_utf32, size_t((uint64_t(m_utf32Length) + 1) * sizeof(UTF32Char)));
        m_utf32 = nullptr;
        m_utf32Length = 0;
    }
    if (m_local) {
        memWipeAndFree(m_local, size_t(m_localLength) + 1);
        m_local = nullptr;
        m_localLength = 0;
    }
}

String String::fromFormatted(char* block, uint32_t length, uint32_t capacity) {
    // A "%c" of 0 may have put a NUL inside: the text ends there, and the
    // rest is cleared so that the bytes behind the text stay zero.
    uint32_t n = uint32_t(strnlen(block, length));
    if (n < length)
        memWipe(block + n, length - n);
    if (n == 0) {
        memWipeAndFree(block, capacity);
        return String();
    }
    ReferableUtf8StringImpl* impl;
    try {
        impl = new ReferableUtf8StringImpl();
    } catch (...) {
        memWipeAndFree(block, capacity);
        throw;
    }
    AutoPtr<ReferableString> holder(impl);
    impl->adopt(block, n, capacity);
    return String(Adopt(), holder, 0, int32_t(n));
}

String String::formatV(const char* fmt, va_list args) {
    if (!fmt)
        return String();
    uint32_t length, capacity;
    char* block = _Svr_Internal_NS_::formatEngine(fmt, args, &length, &capacity);
    return fromFormatted(block, length, capacity);
}

String String::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    struct End {
        va_list& a;
        ~End() { va_end(a); }
    } end{args};
    return formatV(fmt, args);
}

String String::formatLocalV(const char* fmt, va_list args) {
    if (!fmt)
        return String();
    uint32_t length, capacity;
    char* block = _Svr_Internal_NS_::formatEngine(fmt, args, &length, &capacity);
    struct Block {
        char* p;
        uint32_t capacity;
        ~Block() { memWipeAndFree(p, capacity); }
    } guard{block, capacity};
    return fromLocal(block, int32_t(length));
}

String String::formatLocal(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    struct End {
        va_list& a;
        ~End() { va_end(a); }
    } end{args};
    return formatLocalV(fmt, args);
}

char* formatToBuffer(const char* fmt, va_list args, uint32_t* outLength) {
    uint32_t length = 0, capacity = 0;
    char* block = _Svr_Internal_NS_::formatEngine(fmt ? fmt : "", args, &length, &capacity);
    if (outLength)
        *outLength = length;
    return block;
}

// ---------------------------------------------------------------------------
// Access

uint32_t String::length() const {
    if (m_length < 0) {
        // Unmeasured: the text ends at the first NUL, at most -m_length bytes on.
        uint32_t limit = uint32_t(-(int64_t(m_length)));
        m_length = int32_t(strnlen(data(), limit));
    }
    return uint32_t(m_length);
}

bool String::isEmpty() const {
    return length() == 0 || data()[0] == 0;
}

uint8_t String::byteAt(uint32_t index) const {
    return index < length() ? uint8_t(data()[index]) : 0;
}

const char* String::c_str() const {
    uint32_t n = length();
    const char* d = data();
    if (d[n] == 0)
        return d;
    // A proper substring: take a private NUL-terminated copy. The text is
    // unchanged, so the caches (and pointers handed out from them) stay valid.
    char* p;
    AutoPtr<ReferableString> buf = newBuffer(n, &p);
    std::memcpy(p, d, n);
    m_buffer = buf;
    m_start = 0;
    return p;
}

namespace {

// The cache block of Unit for n UTF-8 bytes: the one already built, or a new
// NUL-terminated block converted now and stored (seen as Cached, the unit
// type callers get) with its length; an empty result leaves the cache empty
// and yields the static empty text.
template <class Unit, class Cached>
const Cached* buildCache(const char* text, uint32_t n, Cached*& cache, uint32_t& cacheLength,
                         const Cached* emptyText, uint32_t (*measure)(const char*, uint32_t),
                         uint32_t (*convert)(const char*, uint32_t, Unit*)) {
    static_assert(sizeof(Unit) == sizeof(Cached), "one unit type seen two ways");
    if (cache)
        return cache;
    uint32_t units = n ? measure(text, n) : 0;
    if (units == 0)
        return emptyText;
    Unit* p = static_cast<Unit*>(allocOrThrow(checkedBlockSize(uint64_t(units) + 1, sizeof(Unit))));
    convert(text, n, p);
    cache = reinterpret_cast<Cached*>(p);
    cacheLength = units;
    return cache;
}

} // namespace

// A built cache implies a measured text, so length() is cheap here.
const UTF16Char* String::c_wstr() const {
    return buildCache<char16_t>(data(), length(), m_utf16, m_utf16Length, kEmptyWide, Utf::utf8ToUtf16Length,
                                Utf::utf8ToUtf16);
}

uint32_t String::wlength() const {
    c_wstr();
    return m_utf16Length;
}

const UTF32Char* String::c_utf32() const {
    return buildCache<char32_t>(data(), length(), m_utf32, m_utf32Length, kEmptyUtf32, Utf::utf8ToUtf32Length,
                                Utf::utf8ToUtf32);
}

uint32_t String::utf32Length() const {
    c_utf32();
    return m_utf32Length;
}

const char* String::c_strLocal() const {
    if (m_local)
        return m_local;
    uint32_t n = length();
    if (n && isAsciiOnly(data(), n)) {
        char* p = static_cast<char*>(allocOrThrow(checkedBlockSize(uint64_t(n) + 1, 1)));
        std::memcpy(p, data(), n);
        p[n] = 0;
        m_local = p;
        m_localLength = n;
        return m_local;
    }
    const char16_t* w = reinterpret_cast<const char16_t*>(c_wstr());
    uint32_t units = m_utf16Length;
    if (units == 0)
        return kEmptyText;
    uint32_t bytes = _Svr_Internal_NS_::utf16ToAnsi(w, units, nullptr, 0);
    char* p = static_cast<char*>(allocOrThrow(checkedBlockSize(uint64_t(bytes) + 1, 1)));
    try {
        bytes = _Svr_Internal_NS_::utf16ToAnsi(w, units, p, bytes);
    } catch (...) {
        memFree(p);
        throw;
    }
    p[bytes] = 0;
    m_local = p;
    m_localLength = bytes;
    return m_local;
}

char* String::getWritableBuffer(uint32_t n) {
    if (n > kMaxBytes)
        SVR_THROW_CODE(errInvalidParam);
    ReferableUtf8StringImpl* impl = new ReferableUtf8StringImpl();
    AutoPtr<ReferableString> holder(impl);
    char* p = impl->allocateForWriting(n);
    clearCaches();
    m_buffer = holder;
    m_start = 0;
    m_length = -int32_t(n);
    return p;
}

// ---------------------------------------------------------------------------
// Operations

String String::operator+(const String& other) const {
    uint32_t a = length(), b = other.length();
    if (b == 0)
        return *this;
    if (a == 0)
        return other;
    char* p;
    AutoPtr<ReferableString> buf = newBuffer(uint64_t(a) + b, &p);
    std::memcpy(p, data(), a);
    std::memcpy(p + a, other.data(), b);
    return String(Adopt(), buf, 0, int32_t(a + b));
}

String& String::operator+=(const String& other) {
    String joined = *this + other;
    swap(joined);
    return *this;
}

String String::substring(uint32_t start, uint32_t count) const {
    uint32_t n = length();
    if (count == 0 || start >= n)
        return String();
    uint32_t rest = n - start;
    uint32_t take = (count >= kToEnd || count > rest) ? rest : count;
    return String(Adopt(), m_buffer, m_start + start, int32_t(take));
}

namespace {

// Searches one needle in one haystack, repeatedly if asked. Short needles or
// haystacks are compared position by position; otherwise Boyer-Moore-Horspool
// skips by the haystack byte under the needle's last byte.
class Finder {
public:
    Finder(const char* hay, uint32_t hayLen, const char* needle, uint32_t needleLen)
        : m_hay(reinterpret_cast<const uint8_t*>(hay)), m_hayLen(hayLen),
          m_needle(reinterpret_cast<const uint8_t*>(needle)), m_needleLen(needleLen),
          m_horspool(needleLen >= 4 && hayLen >= 512) {
        if (m_horspool) {
            for (uint32_t i = 0; i < 256; ++i)
                m_skip[i] = needleLen;
            for (uint32_t j = 0; j + 1 < needleLen; ++j)
                m_skip[m_needle[j]] = needleLen - 1 - j;
        }
    }

    // First match at or after from, or kNotFound.
    uint32_t find(uint32_t from) const {
        if (m_needleLen == 0)
            return from <= m_hayLen ? from : kNotFound;
        if (m_needleLen > m_hayLen || from > m_hayLen - m_needleLen)
            return kNotFound;
        const uint32_t lastPos = m_hayLen - m_needleLen;
        if (!m_horspool) {
            const uint8_t first = m_needle[0];
            uint32_t pos = from;
            while (pos <= lastPos) {
                const void* hit = std::memchr(m_hay + pos, first, lastPos - pos + 1);
                if (!hit)
                    return kNotFound;
                pos = uint32_t(static_cast<const uint8_t*>(hit) - m_hay);
                if (std::memcmp(m_hay + pos + 1, m_needle + 1, m_needleLen - 1) == 0)
                    return pos;
                ++pos;
            }
            return kNotFound;
        }
        const uint32_t lastIdx = m_needleLen - 1;
        const uint8_t lastByte = m_needle[lastIdx];
        const uint8_t* window = m_hay + lastIdx;   // byte under the needle's last byte
        uint32_t pos = from;
        while (pos <= lastPos) {
            uint8_t b = window[pos];
            if (b != lastByte) {
                pos += m_skip[b];
                continue;
            }
            if (std::memcmp(m_hay + pos, m_needle, lastIdx) == 0)
                return pos;
            pos += m_skip[b];
        }
        return kNotFound;
    }

private:
    const uint8_t* m_hay;
    uint32_t m_hayLen;
    const uint8_t* m_needle;
    uint32_t m_needleLen;
    bool m_horspool;
    uint32_t m_skip[256];
};

bool isWhiteSpace(uint32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200B) ||
           cp == 0x3000;
}

bool isLineBreak(uint32_t cp) {
    return (cp >= 0x0A && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029;
}

} // namespace

uint32_t String::find(const String& needle) const {
    Finder f(data(), length(), needle.data(), needle.length());
    return f.find(0);
}

bool String::startsWith(const String& prefix) const {
    uint32_t n = prefix.length();
    return n <= length() && std::memcmp(data(), prefix.data(), n) == 0;
}

uint32_t String::rfind(uint32_t codePoint) const {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data());
    uint32_t n = length(), pos = 0, found = kNotFound;
    while (pos < n) {
        uint32_t cp;
        uint32_t used = Utf::decodeUtf8(p + pos, n - pos, &cp);
        if (cp == codePoint)
            found = pos;
        pos += used;
    }
    return found;
}

String String::trim() const {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data());
    uint32_t n = length(), pos = 0, first = kNotFound, end = 0;
    while (pos < n) {
        uint32_t cp;
        uint32_t used = Utf::decodeUtf8(p + pos, n - pos, &cp);
        if (!isWhiteSpace(cp)) {
            if (first == kNotFound)
                first = pos;
            end = pos + used;
        }
        pos += used;
    }
    if (first == kNotFound)
        return String();
    return substring(first, end - first);
}

String String::trimLineBreaksRight() const {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data());
    uint32_t n = length(), pos = 0, end = 0;
    while (pos < n) {
        uint32_t cp;
        uint32_t used = Utf::decodeUtf8(p + pos, n - pos, &cp);
        if (!isLineBreak(cp))
            end = pos + used;
        pos += used;
    }
    return substring(0, end);
}

String String::replace(const String& replacee, const String& replacement) const {
    uint32_t oldLen = replacee.length();
    if (oldLen == 0)
        SVR_THROW(errInvalidParam, "inReplacee is empty!");
    uint32_t n = length();
    Finder f(data(), n, replacee.data(), oldLen);
    SimpleArray<uint32_t> hits;
    for (uint32_t pos = f.find(0); pos != kNotFound; pos = f.find(pos + oldLen))
        hits.append(pos);
    if (hits.isEmpty())
        return *this;
    uint32_t newLen = replacement.length();
    int64_t total = int64_t(n) + int64_t(hits.count()) * (int64_t(newLen) - int64_t(oldLen));
    if (total == 0)
        return String();
    char* out;
    AutoPtr<ReferableString> buf = newBuffer(uint64_t(total), &out);
    const char* src = data();
    const char* with = replacement.data();
    uint32_t from = 0;
    char* w = out;
    for (uint32_t hit : hits) {
        std::memcpy(w, src + from, hit - from);
        w += hit - from;
        std::memcpy(w, with, newLen);
        w += newLen;
        from = hit + oldLen;
    }
    std::memcpy(w, src + from, n - from);
    return String(Adopt(), buf, 0, int32_t(total));
}

String String::removeBOM() const {
    return replace(String("\xEF\xBB\xBF", 3), String());
}

int String::compare(const String& other) const {
    const uint8_t* a = reinterpret_cast<const uint8_t*>(data());
    const uint8_t* b = reinterpret_cast<const uint8_t*>(other.data());
    uint32_t na = length(), nb = other.length();
    uint32_t n = na < nb ? na : nb;
    for (uint32_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0)
            return 0;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

int String::compareNoCase(const String& other) const {
    const char* a = data();
    const char* b = other.data();
    uint32_t na = length(), nb = other.length();
    uint32_t n = na < nb ? na : nb;
    for (uint32_t i = 0; i < n; ++i) {
        // Only A-Z fold; the folded bytes compare as signed values, so bytes
        // from 0x80 up sort before ASCII.
        int8_t ca = int8_t(a[i] >= 'A' && a[i] <= 'Z' ? a[i] + ('a' - 'A') : a[i]);
        int8_t cb = int8_t(b[i] >= 'A' && b[i] <= 'Z' ? b[i] + ('a' - 'A') : b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

uint32_t String::toUInt() const {
    const char* p = data();
    uint32_t n = length(), v = 0;
    for (uint32_t i = 0; i < n && p[i] >= '0' && p[i] <= '9'; ++i)
        v = v * 10u + uint32_t(p[i] - '0');
    return v;
}

uint64_t String::toUInt64() const {
    const char* p = data();
    uint32_t n = length();
    uint64_t v = 0;
    for (uint32_t i = 0; i < n && p[i] >= '0' && p[i] <= '9'; ++i)
        v = v * 10u + uint64_t(p[i] - '0');
    return v;
}

namespace {
bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

// As the run-time's atoi: leading blanks, an optional sign, then digits. A
// value beyond the 32-bit range is clamped to its limit.
int32_t String::toInt() const {
    const char* p = data();
    uint32_t n = length(), i = 0;
    while (i < n && isAsciiSpace(p[i]))
        ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-'))
        negative = p[i++] == '-';
    int64_t v = 0;
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > int64_t(INT32_MAX) + 1)
            v = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX)
        v = INT32_MAX;
    return int32_t(v);
}

// Decimal or exponent notation, after optional blanks and sign; "inf" and
// "nan" as the C library spells them. Independent of the C locale. Text that
// is not a number gives 0.
double String::toDouble() const {
    const char* p = data();
    uint32_t n = length(), i = 0;
    while (i < n && isAsciiSpace(p[i]))
        ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-'))
        negative = p[i++] == '-';
    // One sign only: the number reader below would take a second "-" itself.
    if (i < n && (p[i] == '+' || p[i] == '-'))
        return 0;
    double v = 0;
    auto r = std::from_chars(p + i, p + n, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as strtod does.
        bool tiny = false;
        for (const char* q = p + i; q < r.ptr; ++q) {
            if (*q == 'e' || *q == 'E') {
                tiny = q + 1 < r.ptr && q[1] == '-';
                break;
            }
        }
        v = tiny ? 0.0 : HUGE_VAL;
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return negative ? -v : v;
}

size_t checkedBlockSize(uint64_t units, uint64_t unitSize, uint64_t limit) {
    if (limit > SIZE_MAX)
        limit = SIZE_MAX;
    if (unitSize != 0 && units > limit / unitSize)
        throwOutOfMemory();
    return size_t(units * unitSize);
}

// ---------------------------------------------------------------------------
// Hexadecimal

int32_t Hex::fromStrToInt(const char* text, uint32_t digitCount) {
    if (digitCount == 0)
        return 0;
    if (!text)
        SVR_THROW_CODE(errInvalidParam);
    uint32_t v = 0;
    for (uint32_t i = 0; i < digitCount; ++i) {
        char c = text[i];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = uint32_t(c - 'A' + 10);
        else
            SVR_THROW_CODE(errDataBroken);   // also stops at a NUL
        if (v > 0x07ffffffu)
            SVR_THROW_CODE(errDataBroken);
        v = v * 16 + d;
        if (v > 0x7fffffffu)
            SVR_THROW_CODE(errDataBroken);
    }
    return int32_t(v);
}

} // namespace Solvaris
