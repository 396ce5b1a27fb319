// The printf-style engine with random directives (flags, widths and
// precisions given inline or as arguments, length letters, conversions,
// unknown letters) and random argument values of the type each directive
// takes. A "%s" with a marker follows every directive, so a directive that
// takes the wrong argument shows as a missing marker (or a crash). Integer
// and string conversions are compared with the C library.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_string.h"

using namespace Solvaris;

namespace {

class Bytes {
public:
    Bytes(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    uint8_t byte() { return m_i < m_n ? m_p[m_i++] : 0; }
    uint64_t wide() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = v << 8 | byte();
        return v;
    }
    // A width or precision: mostly small, and now and then any 32-bit value
    // (the engine clamps those), so that runs stay fast.
    uint32_t number() {
        uint64_t v = wide();
        return (v >> 60) == 0xF ? uint32_t(v) : uint32_t(v % 2000) - 1000 * ((v >> 59) & 1);
    }
    bool more() const { return m_i < m_n; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_i = 0;
};

const char* const kLengths[] = {"", "h", "hh", "l", "ll", "L", "I64", "I32", "I", "j", "t", "w", "lll", "I6"};
const char kConversions[] = "diuoxXpfeEgGcsqQzn%yabkmrvwBCDHJKMNOPRSTUVWYZ!";

enum class Arg { None, Int, Long, LongLong, Int64, SizeT, Double, LongDouble, Text, Owned, CountInt,
                 CountShort, CountChar, CountLong, CountLongLong, Invalid };

bool isInteger(char c) { return std::strchr("diuoxX", c) != nullptr; }
bool isFloat(char c) { return std::strchr("feEgG", c) != nullptr; }

// What a directive takes, by the engine's documented rules.
Arg argumentOf(const std::string& len, char conv) {
    bool letter = (conv >= 'a' && conv <= 'z') || (conv >= 'A' && conv <= 'Z');
    if (!std::strchr("diuoxXpfeEgGcsqQzn%", conv))
        return letter || !len.empty() ? Arg::Invalid : Arg::None;
    if (isInteger(conv)) {
        if (len == "" || len == "h" || len == "hh" || len == "I32") return Arg::Int;
        if (len == "l") return Arg::Long;
        if (len == "ll") return Arg::LongLong;
        if (len == "I64") return Arg::Int64;
        if (len == "I") return Arg::SizeT;
        return Arg::Invalid;
    }
    if (isFloat(conv)) {
        if (len == "" || len == "l") return Arg::Double;
        if (len == "L") return Arg::LongDouble;
        return Arg::Invalid;
    }
    if (conv == 'n') {
        if (len == "") return Arg::CountInt;
        if (len == "h") return Arg::CountShort;
        if (len == "hh") return Arg::CountChar;
        if (len == "l") return Arg::CountLong;
        if (len == "ll") return Arg::CountLongLong;
        return Arg::Invalid;
    }
    if (len != "" && len != "l" && len != "ll")
        return Arg::Invalid;
    if (conv == '%') return Arg::None;
    if (conv == 'z') return Arg::Owned;
    if (conv == 'c' || conv == 'p') return conv == 'c' ? Arg::Int : Arg::SizeT;
    return Arg::Text;
}

const char kMarker[] = "<end>";

template <class... Star>
String call(const std::string& fmt, Arg arg, Bytes& in, const char* text, Star... star) {
    const char* f = fmt.c_str();
    uint64_t v = in.wide();
    union { int i; short s; signed char c; long l; long long ll; } count{};
    switch (arg) {
    case Arg::None: return String::format(f, star..., kMarker);
    case Arg::Int: return String::format(f, star..., int(v | 1), kMarker);  // %c of 0 would end the text
    case Arg::Long: return String::format(f, star..., long(v), kMarker);
    case Arg::LongLong: return String::format(f, star..., (long long)v, kMarker);
    case Arg::Int64: return String::format(f, star..., int64_t(v), kMarker);
    case Arg::SizeT: return String::format(f, star..., size_t(v), kMarker);
    case Arg::Double: { double d; std::memcpy(&d, &v, 8); return String::format(f, star..., d, kMarker); }
    case Arg::LongDouble: { double d; std::memcpy(&d, &v, 8); return String::format(f, star..., (long double)d, kMarker); }
    case Arg::Text: return String::format(f, star..., (v & 7) == 0 ? nullptr : text, kMarker);
    case Arg::Owned: {
        char* p = nullptr;
        if (v & 7) {
            p = static_cast<char*>(memAlloc(std::strlen(text) + 1));
            std::strcpy(p, text);
        }
        return String::format(f, star..., p, kMarker);
    }
    case Arg::CountInt: return String::format(f, star..., &count.i, kMarker);
    case Arg::CountShort: return String::format(f, star..., &count.s, kMarker);
    case Arg::CountChar: return String::format(f, star..., &count.c, kMarker);
    case Arg::CountLong: return String::format(f, star..., &count.l, kMarker);
    case Arg::CountLongLong: return String::format(f, star..., &count.ll, kMarker);
    case Arg::Invalid: return String::format(f, star...);
    }
    return String();
}

// The C library's text for the integer and string directives it shares with
// the engine.
bool cLibraryText(const std::string& fmt, Arg arg, uint64_t v, const char* text, int width, int precision, int stars,
                  std::string& out) {
    char buf[4096];
    int n = -1;
    std::string f = fmt;
    if (arg == Arg::Int64)
        f.replace(f.find("I64"), 3, "ll");
    else if (arg == Arg::SizeT)
        f.replace(f.find('I'), 1, "z");
    else if (f.find("I32") != std::string::npos)
        f.replace(f.find("I32"), 3, "");
#define PV_CALL(x)                                                                             \
    (stars == 0 ? std::snprintf(buf, sizeof buf, f.c_str(), x, kMarker)                       \
     : stars == 1 ? std::snprintf(buf, sizeof buf, f.c_str(), width, x, kMarker)             \
     : stars == 2 ? std::snprintf(buf, sizeof buf, f.c_str(), precision, x, kMarker)         \
                  : std::snprintf(buf, sizeof buf, f.c_str(), width, precision, x, kMarker))
    switch (arg) {
    case Arg::Int: n = PV_CALL(int(v | 1)); break;
    case Arg::Long: n = PV_CALL(long(v)); break;
    case Arg::LongLong: n = PV_CALL((long long)v); break;
    case Arg::Int64: n = PV_CALL((long long)v); break;
    case Arg::SizeT: n = PV_CALL(size_t(v)); break;
    case Arg::Text:
        if ((v & 7) == 0)
            return false;  // the engine prints nothing for a null text, C libraries differ
        n = PV_CALL(text);
        break;
    default: return false;
    }
#undef PV_CALL
    if (n < 0 || size_t(n) >= sizeof buf)
        return false;
    out.assign(buf, size_t(n));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    std::string text;
    for (uint8_t n = in.byte() % 24; n; --n) {
        char c = char(in.byte());
        if (c)
            text += c;
    }
    int directives = 0;
    while (in.more() && directives++ < 6) {
        std::string prefix = (in.byte() & 1) ? "ab " : "";
        std::string directive;
        uint8_t flags = in.byte();
        for (int i = 0; i < 5; ++i)
            if (flags & (1 << i))
                directive += "-+ #0"[i];
        int stars = 0, width = 0, precision = 0;
        uint8_t shape = in.byte();
        bool smallNumbers = true;
        switch (shape & 3) {
        case 1: directive += std::to_string(in.byte() % 40); break;
        case 2: { uint32_t w = in.number(); directive += std::to_string(w); smallNumbers &= w <= 1000; break; }
        case 3: directive += "*"; stars |= 1; width = int(int32_t(in.number())); smallNumbers &= width >= -1000 && width <= 1000; break;
        }
        switch ((shape >> 2) & 3) {
        case 1: directive += "." + std::to_string(in.byte() % 40); break;
        case 2: directive += "."; break;
        case 3: directive += ".*"; stars |= 2; precision = int(int32_t(in.number())); smallNumbers &= precision <= 1000; break;
        }
        std::string len = kLengths[(shape >> 4) % (sizeof kLengths / sizeof kLengths[0])];
        char conv = kConversions[in.byte() % (sizeof kConversions - 1)];
        std::string whole = prefix + "%" + directive + len + conv + "%s";
        Arg arg = argumentOf(len, conv);
        uint64_t peek;
        { Bytes copy = in; peek = copy.wide(); }

        String got;
        try {
            switch (stars) {
            case 0: got = call(whole, arg, in, text.c_str()); break;
            case 1: got = call(whole, arg, in, text.c_str(), width); break;
            case 2: got = call(whole, arg, in, text.c_str(), precision); break;
            default: got = call(whole, arg, in, text.c_str(), width, precision); break;
            }
        } catch (const Exception& e) {
            if (arg != Arg::Invalid || e.code() != errInvalidParam)
                std::abort();
            continue;
        }
        if (arg == Arg::Invalid)
            std::abort();  // a directive the engine cannot read must not pass
        std::string out(got.c_str(), got.length());
        if (out.size() < sizeof kMarker - 1 || out.compare(out.size() - (sizeof kMarker - 1), std::string::npos, kMarker) != 0)
            std::abort();  // the directive took another argument than its own
        bool asInC = (isInteger(conv) && len != "L") || (conv == 's' && len.empty());
        if (asInC && smallNumbers) {
            // "#" of d, i, u, s and "0" of s are undefined in C.
            bool undefinedInC = (std::strchr("dius", conv) && (flags & 8)) || (conv == 's' && (flags & 16));
            std::string want;
            if (!undefinedInC && cLibraryText(whole, arg, peek, text.c_str(), width, precision, stars, want) &&
                want != out) {
                std::fprintf(stderr, "format \"%s\": engine \"%s\", C library \"%s\"\n", whole.c_str(), out.c_str(), want.c_str());
                std::abort();
            }
        }
    }
    return 0;
}
