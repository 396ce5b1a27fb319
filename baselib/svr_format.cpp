// The library's printf-style engine.
//
// A directive is "%", flags ("-" left-justify, "+" sign, " " blank for sign,
// "#" alternate form, "0" zero padding), a width and a precision (each a
// number or "*" taken from the arguments), a length and a letter. Lengths,
// as the C library and Windows read them:
//   h hh       short, char (the argument is an int, converted)
//   l ll       long, long long
//   L          long double (f e E g G only)
//   I64 I32 I  64-bit, 32-bit, pointer-sized integer (Windows)
// Letters:
//   d i        signed integer (int unless a length says otherwise)
//   u o x X    unsigned integer in base 10, 8, 16; "#" adds "0", "0x", "0X"
//   p          pointer, printed as an unsigned decimal number
//   f e E g G  double; NaN prints "NaN", infinities "Inf" with their sign
//   c          character; a precision n writes it n times
//   s          narrow string; null prints nothing; precision limits the bytes
//   z          as s, then the argument is released: it must be a block from
//              the process allocator (memAlloc, i.e. the C run-time heap while
//              the built-in allocator is in force) or null, and the engine
//              frees it with memFree, also when formatting fails
//   q          as s with every single quote doubled; null prints "(NULL)"
//   Q          as q, wrapped in single quotes; null prints NULL unquoted
//   n          the number of bytes produced so far is stored through the
//              argument (int*, short* with "h", signed char* with "hh",
//              long* with "l", long long* with "ll")
//   %          a literal "%"
// "l" and "ll" are accepted and ignored before c s z q Q p %. Any other
// letter, and a length the letter does not take, ends the format with
// errInvalidParam naming the directive: reading on would hand every later
// directive the wrong argument. A directive ending in a character that is no
// letter is copied to the output as it stands and takes no argument.
//
// Limits: a width above kFormatMaxWidth and a numeric precision above
// kFormatMaxNumericPrecision (and a character repeat count above the width
// limit) are clamped, so no directive can demand gigabytes. Output grows from
// 200 bytes; an append that does not fit sets the capacity to the current
// length plus twice the appended length plus one.
#include "baselib/svr_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "baselib/svr_base.h"
#include "baselib/svr_error.h"

#if defined(__MINGW32__)
// The MinGW C99 formatter, so that exponents have the same width everywhere.
#define SVR_SNPRINTF __mingw_snprintf
#else
#define SVR_SNPRINTF std::snprintf
#endif

namespace Solvaris {
namespace _Svr_Internal_NS_ {

namespace {

const uint32_t kInitialCapacity = 200;
const uint32_t kTrailingZeros = 6;

// The growing output. After a failure it stays failed and ignores appends,
// so that the rest of the format can still be walked.
class Output {
public:
    Output() : m_p(static_cast<char*>(memAlloc(kInitialCapacity))), m_len(0), m_cap(kInitialCapacity),
               m_failed(m_p == nullptr) {
        if (!m_p)
            m_cap = 0;
    }
    ~Output() { memWipeAndFree(m_p, m_cap); }

    void put(const char* s, uint32_t n) {
        if (n && reserve(n)) {
            std::memcpy(m_p + m_len, s, n);
            m_len += n;
        }
    }
    void fill(char c, uint32_t n) {
        if (n && reserve(n)) {
            std::memset(m_p + m_len, c, n);
            m_len += n;
        }
    }
    void fail() { m_failed = true; }
    bool failed() const { return m_failed; }
    uint32_t length() const { return m_len; }

    char* finish(uint32_t* length, uint32_t* capacity) {
        std::memset(m_p + m_len, 0, kTrailingZeros);
        char* p = m_p;
        *length = m_len;
        *capacity = m_cap;
        m_p = nullptr;
        return p;
    }

private:
    // Room for n more bytes plus the trailing zeros.
    bool reserve(uint32_t n) {
        if (m_failed)
            return false;
        uint64_t need = uint64_t(m_len) + n + kTrailingZeros;
        if (need <= m_cap)
            return true;
        if (uint64_t(m_len) + n > kFormatMaxOutput) {
            m_failed = true;
            return false;
        }
        uint64_t cap = uint64_t(m_len) + 2 * uint64_t(n) + 1;
        if (cap < need)
            cap = need;
        if (cap > uint64_t(kFormatMaxOutput) + kTrailingZeros)
            cap = uint64_t(kFormatMaxOutput) + kTrailingZeros;
        char* p = static_cast<char*>(memAlloc(size_t(cap)));
        if (!p) {
            m_failed = true;
            return false;
        }
        std::memcpy(p, m_p, m_len);
        memWipeAndFree(m_p, m_cap);
        m_p = p;
        m_cap = uint32_t(cap);
        return true;
    }

    char* m_p;
    uint32_t m_len;
    uint32_t m_cap;
    bool m_failed;
};

struct Directive {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    uint32_t width = 0;
    bool hasPrecision = false;
    uint32_t precision = 0;
    int size = 0;   // kNone, kLong ("l"), kLongLong ("ll") or another length below
};

enum Length { kNone = 0, kLong = 1, kLongLong = 2, kShort, kChar, kLongDouble, kInt64, kInt32, kPointerSized };

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

[[noreturn]] void unknownDirective(const char* directive, const char* end) {
    SVR_THROW(errInvalidParam, String("Unknown format directive \"", -1) +
                                   String(directive, int32_t(end - directive)) + String("\".", -1));
}

// Signed and unsigned integer arguments as their length reads them.
long long signedArgument(va_list& args, int size) {
    switch (size) {
    case kLongLong:
    case kInt64: return va_arg(args, long long);
    case kLong: return va_arg(args, long);
    case kShort: return short(va_arg(args, int));
    case kChar: return (signed char)(va_arg(args, int));
    case kPointerSized: return (long long)va_arg(args, intptr_t);
    default: return va_arg(args, int);
    }
}

uint64_t unsignedArgument(va_list& args, int size) {
    switch (size) {
    case kLongLong:
    case kInt64: return va_arg(args, unsigned long long);
    case kLong: return va_arg(args, unsigned long);
    case kShort: return (unsigned short)(va_arg(args, unsigned int));
    case kChar: return (unsigned char)(va_arg(args, unsigned int));
    case kPointerSized: return uint64_t(va_arg(args, uintptr_t));
    default: return va_arg(args, unsigned int);
    }
}

// Reads a decimal number, saturating instead of overflowing.
uint32_t readNumber(const char*& f) {
    uint32_t v = 0;
    while (*f >= '0' && *f <= '9') {
        if (v < 0x10000000u)
            v = v * 10 + uint32_t(*f - '0');
        ++f;
    }
    return v;
}

uint32_t clampTo(uint32_t v, uint32_t limit) {
    return v > limit ? limit : v;
}

// The length modifier at f: "l", "ll", "h", "hh", "L", "I64", "I32" or "I".
int parseLength(const char*& f) {
    switch (*f) {
    case 'l':
        ++f;
        return *f == 'l' ? (++f, kLongLong) : kLong;
    case 'h':
        ++f;
        return *f == 'h' ? (++f, kChar) : kShort;
    case 'L':
        ++f;
        return kLongDouble;
    case 'I':
        ++f;
        if (f[0] == '6' && f[1] == '4')
            return f += 2, kInt64;
        if (f[0] == '3' && f[1] == '2')
            return f += 2, kInt32;
        return kPointerSized;
    default:
        return kNone;
    }
}

// "n": the count so far, stored through a pointer of the directive's length.
template <typename T>
void storeCount(T* p, uint32_t produced) {
    if (p)
        *p = T(produced);
}

// Writes a field within the width: the lead (sign, prefix), zeros, then the
// body, with blanks before it (after it with "-"). With zeroFill and the "0"
// flag the zeros widen to fill the width instead of blanks.
void emitFramed(Output& out, const Directive& s, bool zeroFill, const char* lead, uint32_t nl, uint32_t zeros,
                const char* body, uint32_t nb) {
    uint32_t total = nl + zeros + nb;
    if (zeroFill && s.zero && !s.left && s.width > total) {
        zeros += s.width - total;
        total = s.width;
    }
    uint32_t pad = s.width > total ? s.width - total : 0;
    if (!s.left)
        out.fill(' ', pad);
    out.put(lead, nl);
    out.fill('0', zeros);
    out.put(body, nb);
    if (s.left)
        out.fill(' ', pad);
}

// A text within the width, padded with blanks only.
void emitPadded(Output& out, const Directive& s, const char* text, uint32_t n) {
    emitFramed(out, s, false, "", 0, 0, text, n);
}

void formatInteger(Output& out, const Directive& s, char conv, uint64_t magnitude, bool negative) {
    unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    const char* digitsSet = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[32];
    uint32_t nd = 0;
    if (!(magnitude == 0 && s.hasPrecision && s.precision == 0)) {
        uint64_t v = magnitude;
        do {
            digits[sizeof digits - 1 - nd++] = digitsSet[v % base];
            v /= base;
        } while (v);
    }
    uint32_t precision = s.hasPrecision ? clampTo(s.precision, kFormatMaxNumericPrecision) : 1;
    uint32_t zeros = precision > nd ? precision - nd : 0;
    if (conv == 'o' && s.alt && zeros == 0 && (nd == 0 || digits[sizeof digits - nd] != '0'))
        zeros = 1;

    char prefix[3];
    uint32_t np = 0;
    if (conv == 'd' || conv == 'i') {
        if (negative)
            prefix[np++] = '-';
        else if (s.plus)
            prefix[np++] = '+';
        else if (s.space)
            prefix[np++] = ' ';
    } else if ((conv == 'x' || conv == 'X') && s.alt && magnitude != 0) {
        prefix[np++] = '0';
        prefix[np++] = conv;
    }
    // An explicit precision turns the "0" flag off, as in C.
    emitFramed(out, s, !s.hasPrecision, prefix, np, zeros, digits + sizeof digits - nd, nd);
}

void formatDouble(Output& out, const Directive& s, char conv, double v) {
    if (std::isnan(v)) {
        emitPadded(out, s, "NaN", 3);
        return;
    }
    bool negative = std::signbit(v);
    const char* sign = negative ? "-" : s.plus ? "+" : s.space ? " " : "";
    uint32_t ns = uint32_t(std::strlen(sign));
    if (std::isinf(v)) {
        emitFramed(out, s, false, sign, ns, 0, "Inf", 3);
        return;
    }
    char fmt[8];
    uint32_t k = 0;
    fmt[k++] = '%';
    if (s.alt)
        fmt[k++] = '#';
    fmt[k++] = '.';
    fmt[k++] = '*';
    fmt[k++] = conv;
    fmt[k] = 0;
    int precision = int(s.hasPrecision ? clampTo(s.precision, kFormatMaxNumericPrecision) : 6);
    double magnitude = std::fabs(v);

    char local[1600];
    char* text = local;
    int n = SVR_SNPRINTF(local, sizeof local, fmt, precision, magnitude);
    if (n < 0) {
        out.fail();
        return;
    }
    if (size_t(n) >= sizeof local) {
        text = static_cast<char*>(memAlloc(size_t(n) + 1));
        if (!text) {
            out.fail();
            return;
        }
        SVR_SNPRINTF(text, size_t(n) + 1, fmt, precision, magnitude);
    }
    emitFramed(out, s, true, sign, ns, 0, text, uint32_t(n));
    if (text != local)
        memFree(text);
}

// q and Q: quotes doubled, precision limits the source bytes.
void formatQuoted(Output& out, const Directive& s, const char* str, bool wrap) {
    if (!str) {
        const char* t = wrap ? "NULL" : "(NULL)";
        uint32_t n = uint32_t(std::strlen(t));
        emitPadded(out, s, t, n);
        return;
    }
    uint32_t n = uint32_t(s.hasPrecision ? strnlen(str, s.precision) : std::strlen(str));
    uint32_t quotes = 0;
    for (uint32_t i = 0; i < n; ++i)
        quotes += str[i] == '\'';
    uint64_t total = uint64_t(n) + quotes + (wrap ? 2 : 0);
    if (total > kFormatMaxOutput) {
        out.fail();
        return;
    }
    uint32_t pad = s.width > total ? s.width - uint32_t(total) : 0;
    if (!s.left)
        out.fill(' ', pad);
    if (wrap)
        out.put("'", 1);
    uint32_t from = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (str[i] == '\'') {
            out.put(str + from, i + 1 - from);
            out.put("'", 1);
            from = i + 1;
        }
    }
    out.put(str + from, n - from);
    if (wrap)
        out.put("'", 1);
    if (s.left)
        out.fill(' ', pad);
}

// Frees a "z" argument however its directive ends.
struct ReleaseAfterUse {
    const char* p;
    ~ReleaseAfterUse() { memFree(const_cast<char*>(p)); }
};

// Flags, width, precision and length of the directive at f (just past its
// "%"); f is left on the conversion letter. "*" takes its value from the
// arguments; a negative "*" width means "-" and its magnitude.
Directive parseDirective(const char*& f, va_list& args) {
    Directive s;
    for (;; ++f) {
        if (*f == '-') s.left = true;
        else if (*f == '+') s.plus = true;
        else if (*f == ' ') s.space = true;
        else if (*f == '#') s.alt = true;
        else if (*f == '0') s.zero = true;
        else break;
    }
    if (*f == '*') {
        ++f;
        int w = va_arg(args, int);
        s.left = s.left || w < 0;
        s.width = w >= 0 ? uint32_t(w) : w == INT32_MIN ? 0x80000000u : uint32_t(-w);
    } else {
        s.width = readNumber(f);
    }
    s.width = clampTo(s.width, kFormatMaxWidth);
    if (*f == '.') {
        ++f;
        if (*f == '*') {
            ++f;
            int p = va_arg(args, int);
            s.hasPrecision = p >= 0;
            s.precision = p >= 0 ? uint32_t(p) : 0;
        } else {
            s.hasPrecision = true;
            s.precision = readNumber(f);
        }
    }
    s.size = parseLength(f);
    return s;
}

// The conversions. Each reads its argument and writes its field.
typedef void (*Convert)(Output& out, const Directive& s, char conv, va_list& args);

void convertSigned(Output& out, const Directive& s, char conv, va_list& args) {
    long long v = signedArgument(args, s.size);
    formatInteger(out, s, conv, v < 0 ? 0 - uint64_t(v) : uint64_t(v), v < 0);
}

void convertUnsigned(Output& out, const Directive& s, char conv, va_list& args) {
    formatInteger(out, s, conv, unsignedArgument(args, s.size), false);
}

void convertPointer(Output& out, const Directive& s, char, va_list& args) {
    void* v = va_arg(args, void*);
    formatInteger(out, s, 'u', uint64_t(uintptr_t(v)), false);
}

void convertDouble(Output& out, const Directive& s, char conv, va_list& args) {
    formatDouble(out, s, conv, s.size == kLongDouble ? double(va_arg(args, long double)) : va_arg(args, double));
}

void convertChar(Output& out, const Directive& s, char, va_list& args) {
    char c = char(va_arg(args, int));
    uint32_t times = s.hasPrecision && s.precision > 1 ? clampTo(s.precision, kFormatMaxWidth) : 1;
    uint32_t pad = s.width > times ? s.width - times : 0;
    if (!s.left)
        out.fill(' ', pad);
    out.fill(c, times);
    if (s.left)
        out.fill(' ', pad);
}

void convertString(Output& out, const Directive& s, char conv, va_list& args) {
    const char* str = va_arg(args, const char*);
    ReleaseAfterUse release{conv == 'z' ? str : nullptr};
    uint32_t n = 0;
    if (str)
        n = uint32_t(s.hasPrecision ? strnlen(str, s.precision) : std::strlen(str));
    emitPadded(out, s, str, n);
}

void convertQuoted(Output& out, const Directive& s, char conv, va_list& args) {
    formatQuoted(out, s, va_arg(args, const char*), conv == 'Q');
}

void convertCount(Output& out, const Directive& s, char, va_list& args) {
    uint32_t produced = out.length();
    switch (s.size) {
    case kLongLong: storeCount(va_arg(args, long long*), produced); break;
    case kLong: storeCount(va_arg(args, long*), produced); break;
    case kShort: storeCount(va_arg(args, short*), produced); break;
    case kChar: storeCount(va_arg(args, signed char*), produced); break;
    default: storeCount(va_arg(args, int*), produced); break;
    }
}

void convertPercent(Output& out, const Directive&, char, va_list&) {
    out.put("%", 1);
}

// Which lengths a conversion takes, as a set of bits 1 << Length.
const unsigned kAnyIntegerLength = ~(1u << kLongDouble);
const unsigned kDoubleLengths = 1u << kNone | 1u << kLong | 1u << kLongDouble;
const unsigned kCountLengths = 1u << kNone | 1u << kLong | 1u << kLongLong | 1u << kShort | 1u << kChar;
const unsigned kTextLengths = 1u << kNone | 1u << kLong | 1u << kLongLong;

struct Conversion {
    char letter;
    unsigned lengths;
    Convert convert;
};

const Conversion kConversions[] = {
    {'d', kAnyIntegerLength, convertSigned},  {'i', kAnyIntegerLength, convertSigned},
    {'u', kAnyIntegerLength, convertUnsigned}, {'o', kAnyIntegerLength, convertUnsigned},
    {'x', kAnyIntegerLength, convertUnsigned}, {'X', kAnyIntegerLength, convertUnsigned},
    {'f', kDoubleLengths, convertDouble},      {'e', kDoubleLengths, convertDouble},
    {'E', kDoubleLengths, convertDouble},      {'g', kDoubleLengths, convertDouble},
    {'G', kDoubleLengths, convertDouble},      {'n', kCountLengths, convertCount},
    {'c', kTextLengths, convertChar},          {'s', kTextLengths, convertString},
    {'z', kTextLengths, convertString},        {'q', kTextLengths, convertQuoted},
    {'Q', kTextLengths, convertQuoted},        {'p', kTextLengths, convertPointer},
    {'%', kTextLengths, convertPercent},
};

const Conversion* findConversion(char conv) {
    for (const Conversion& c : kConversions)
        if (c.letter == conv)
            return &c;
    return nullptr;
}

// Formats one directive starting at its "%"; returns false at the end of
// the format. A letter the table lacks, or a length its conversion does not
// take, throws; a directive ending in some other character is copied as it
// stands and takes no argument.
bool formatDirective(Output& out, const char*& f, va_list& args) {
    const char* directive = f++;
    Directive s = parseDirective(f, args);
    char conv = *f;
    if (!conv) {
        if (s.size > kLongLong)
            unknownDirective(directive, f);
        out.put(directive, uint32_t(f - directive));
        return false;
    }
    ++f;
    const Conversion* c = findConversion(conv);
    if (c ? !(c->lengths & (1u << s.size)) : isLetter(conv) || s.size != kNone)
        unknownDirective(directive, f);
    if (c)
        c->convert(out, s, conv, args);
    else
        out.put(directive, uint32_t(f - directive));
    return true;
}

} // namespace

char* formatEngine(const char* fmt, va_list argsIn, uint32_t* length, uint32_t* capacity) {
    va_list args;
    va_copy(args, argsIn);
    struct End {
        va_list& a;
        ~End() { va_end(a); }
    } end{args};

    Output out;
    const char* f = fmt ? fmt : "";
    while (*f) {
        const char* run = f;
        while (*f && *f != '%')
            ++f;
        out.put(run, uint32_t(f - run));
        if (*f && !formatDirective(out, f, args))
            break;
    }
    if (out.failed())
        SVR_THROW_CODE(errOutOfMemory);
    return out.finish(length, capacity);
}

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
