#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "baselib/alloc_probe.h"
#include "baselib/svr_string.h"
#include "support/test_kit.h"

using Solvaris::String;
using Solvaris::kNotFound;
using testkit::codeOf;
using testkit::str;

namespace {

std::u16string wide(const String& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.c_wstr()), s.wlength());
}

std::u32string utf32(const String& s) { return std::u32string(s.c_utf32(), s.utf32Length()); }

String fromUtf16(const std::u16string& u, int32_t count) {
    return String(reinterpret_cast<const Solvaris::UTF16Char*>(u.data()), count);
}

} // namespace

TEST(StringSubstring, BoundsSharingAndInnerCStr) {
    String s("abcdef");
    struct Case { uint32_t start, count; const char* want; } cases[] = {
        {5, 3, "f"}, {6, 1, ""}, {7, 1, ""}, {0, 0, ""}, {2, Solvaris::kToEnd, "cdef"}, {2, 0xFFFFFFFFu, "cdef"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(s.substring(c.start, c.count)), c.want) << c.start << "," << c.count;
    // c_str of a suffix is the shared buffer (already terminated); of an
    // inner substring a copy that leaves the shared buffer alone, and the
    // wide form handed out before (a mend: the copy used to free it).
    const char* whole = s.c_str();
    String suffix = s.substring(3);
    EXPECT_STREQ(suffix.c_str(), "def");
    EXPECT_TRUE(suffix.sharesBufferWith(s));
    String inner = s.substring(1, 3);
    const Solvaris::UTF16Char* w = inner.c_wstr();
    EXPECT_STREQ(inner.c_str(), "bcd");
    EXPECT_FALSE(inner.sharesBufferWith(s));
    EXPECT_STREQ(whole, "abcdef");
    EXPECT_EQ(inner.c_wstr(), w);
    EXPECT_EQ(wide(inner), u"bcd");
}

TEST(StringAllocation, CopiesSubstringsAndReadsAllocateNothing) {
    String s("  some text with words  ");
    String t("text"), some("some"), middle("ome text ");
    AllocProbe probe;
    {
        String copy = s;
        String assigned;
        assigned = copy;
        String sub = s.substring(3, 9);
        String trimmed = s.trim();
        String moved = std::move(copy);
        EXPECT_EQ(s.find(t), 7u);
        EXPECT_TRUE(trimmed.startsWith(some));
        EXPECT_EQ(sub.compare(middle), 0);
        EXPECT_EQ(s.rfind('w'), 17u);
        EXPECT_TRUE((s + String()).sharesBufferWith(s));
    }
    EXPECT_EQ(probe.allocations, 0);
    EXPECT_EQ(probe.frees, 0);
    String joined = s + t;   // one buffer object and one block
    EXPECT_EQ(probe.allocations, 2);
    EXPECT_EQ(str(joined), "  some text with words  text");
}

// The buffer on its own: n bytes followed by six zero bytes, the shared
// empty text while nothing is held, and assignment from its own bytes.
TEST(StringBuffer, AssignLengthsAndTrailingZeros) {
    using Solvaris::ReferableString;
    Solvaris::AutoPtr<ReferableString> buf = ReferableString::create("hello", -1);
    EXPECT_EQ(std::string(buf->getBuffer(), 11), std::string("hello\0\0\0\0\0\0", 11));

    buf->assign(buf->getBuffer() + 1, -1);
    EXPECT_EQ(std::string(buf->getBuffer(), 10), std::string("ello\0\0\0\0\0\0", 10));
    buf->assign("xyz", 2);
    EXPECT_EQ(buf->getLength(), 2);
    EXPECT_STREQ(buf->getBuffer(), "xy");
    buf->assign("", -1);
    EXPECT_FALSE(buf->isAllocated());
    EXPECT_STREQ(buf->getBuffer(), "");
    EXPECT_FALSE(ReferableString::create(nullptr, 3)->isAllocated());
}

TEST(StringAllocation, BuffersAndCachesAreWipedBeforeRelease) {
    std::string text(777, 'x');
    text[10] = '\xC3';   // one two-byte character: 776 code points
    text[11] = '\xA9';
    AllocProbe probe;
    // text block n + 6, UTF-16 and UTF-32 caches with terminator, ANSI cache
    // (776 characters, one byte each) with terminator, writable n + 1.
    probe.watchedSizes = {777 + 6, 777 * 2, 777 * 4, 777, 20 + 1};
    {
        String s(text.c_str());
        s.c_wstr();
        s.c_utf32();
        s.c_strLocal();
        String w;
        std::strcpy(w.getWritableBuffer(20), "written");
        EXPECT_EQ(str(w), "written");
    }
    EXPECT_GE(probe.watchedFrees, 5);
    EXPECT_EQ(probe.nonZeroWatchedFrees, 0);
}

// With memory exhausted every string operation that needs a block fails with
// the library's own exception, never another type.
TEST(StringAllocation, ExhaustedMemoryGivesTheLibraryException) {
    String s("some text"), t("more");
    AllocProbe probe;
    probe.failAllocations = true;
    std::function<void()> operations[] = {
        [&] { String x("new text"); },
        [&] { String x = s + t; },
        [&] { String x = s.substring(1, 3); x.c_str(); },
        [&] { String x = s.replace(String("t", 1), t); },
        [&] { String x = String::format("%s", "x"); },
        [&] { s.c_wstr(); },
        [&] { String x; x.getWritableBuffer(10); },
    };
    for (size_t i = 0; i < sizeof operations / sizeof operations[0]; ++i)
        EXPECT_EQ(codeOf(operations[i]), Solvaris::errOutOfMemory) << "operation " << i;
}

TEST(StringTrim, WhiteSpaceAndLineBreaks) {
    struct Case { const char* in; const char* trimmed; const char* noBreaks; } cases[] = {
        {"\xE3\x80\x80\t\xE3\x80\x80\t", "", "\xE3\x80\x80\t\xE3\x80\x80\t"},
        {" \xE2\x80\x8Cx\xE2\x80\x8C ", "\xE2\x80\x8Cx\xE2\x80\x8C", " \xE2\x80\x8Cx\xE2\x80\x8C "},
        {"\xC2\xA0\xE2\x80\x8B" "a b\xE2\x80\x80", "a b", "\xC2\xA0\xE2\x80\x8B" "a b\xE2\x80\x80"},
        {"\xEF\xBB\xBFx\xE2\x80\x8A", "\xEF\xBB\xBFx", "\xEF\xBB\xBFx\xE2\x80\x8A"},   // U+FEFF is no space
        {"ab \r\n\x0B\x0C", "ab", "ab "},
        {"ab \xE2\x80\xA8\xC2\x85\r", "ab \xE2\x80\xA8\xC2\x85", "ab "},
        {"\n\nab", "ab", "\n\nab"},
        {"", "", ""},
        {"x\xE2\x80\xA9", "x\xE2\x80\xA9", "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(str(String(c.in).trim()), c.trimmed) << c.in;
        EXPECT_EQ(str(String(c.in).trimLineBreaksRight()), c.noBreaks) << c.in;
    }
}

TEST(StringCompare, ByteOrderAndAsciiFolding) {
    struct Case { const char* a; const char* b; int cmp; int noCase; } cases[] = {
        {"ab", "abc", -1, -1}, {"abc", "ab", 1, 1}, {"abc", "abc", 0, 0}, {"ABC", "abc", -1, 0},
        {"\xC3\x84", "\xC3\xA4", -1, -1},          // Ä and ä stay different
        {"\xC3\xA4", "a", 1, -1},                   // bytes >= 0x80: after ASCII, before it without case
        {"Zeta", "alpha", -1, 1}, {"", "a", -1, -1},
    };
    for (const auto& c : cases) {
        String a(c.a), b(c.b);
        EXPECT_EQ((a.compare(b) > 0) - (a.compare(b) < 0), c.cmp) << c.a << " / " << c.b;
        EXPECT_EQ((a.compareNoCase(b) > 0) - (a.compareNoCase(b) < 0), c.noCase) << c.a << " / " << c.b;
        EXPECT_EQ(a == b, c.cmp == 0);
        EXPECT_EQ(a < b, c.cmp < 0);
    }
}

TEST(StringReplace, NonOverlappingLeftToRight) {
    struct Case { const char* s; const char* from; const char* to; const char* want; } cases[] = {
        {"aaa", "aa", "b", "ba"}, {"aaaa", "aa", "b", "bb"}, {"abcabc", "bc", "", "aa"}, {"abc", "x", "y", "abc"},
        {"abab", "ab", "abab", "abababab"},
        {"\xEF\xBB\xBF" "a\xEF\xBB\xBF" "b", "\xEF\xBB\xBF", "", "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(String(c.s).replace(String(c.from), String(c.to))), c.want) << c.s;
    EXPECT_EQ(str(String("\xEF\xBB\xBF" "x\xEF\xBB\xBF").removeBOM()), "x");
    EXPECT_TRUE(testkit::failsWith([] { String("abc").replace(String(), String("x")); }, Solvaris::errInvalidParam,
                                        "Error 7: inReplacee is empty!"));
}

// Both search paths (position by position, and Horspool for long haystacks
// and needles) against the standard library, on text with many near misses;
// replace uses the same search.
TEST(StringFind, AgreesWithStandardSearchOnBothPaths) {
    std::mt19937 rng(12345);
    auto randomText = [&](size_t n) {
        std::string t(n, 'a');
        for (auto& ch : t)
            ch = "abc\xC3"[rng() % 4];
        return t;
    };
    for (int round = 0; round < 400; ++round) {
        std::string hay = randomText(round % 2 ? 600 + rng() % 3000 : rng() % 600);
        size_t needleLen = 1 + rng() % 9;
        std::string needle = hay.size() > needleLen && rng() % 2
                                 ? hay.substr(rng() % (hay.size() - needleLen), needleLen)
                                 : randomText(needleLen);
        size_t want = std::string_view(hay).find(needle);
        uint32_t got = String(hay.c_str()).find(String(needle.c_str()));
        ASSERT_EQ(got, want == std::string::npos ? kNotFound : uint32_t(want)) << hay << " / " << needle;

        std::string replaced;
        size_t p = 0;
        for (size_t q; (q = hay.find(needle, p)) != std::string::npos; p = q + needle.size())
            replaced += hay.substr(p, q - p) + "<>";
        replaced += hay.substr(p);
        ASSERT_EQ(str(String(hay.c_str()).replace(String(needle.c_str()), String("<>"))), replaced);
    }
    EXPECT_EQ(String("abc").find(String("abcd")), kNotFound);
    EXPECT_FALSE(String("ab").startsWith(String("abc")));

    String s("a\xE2\x82\xAC" "b\xE2\x82\xAC" "c");   // a€b€c: rfind by code point
    EXPECT_EQ(s.rfind(0x20AC), 5u);
    EXPECT_EQ(s.rfind('a'), 0u);
    EXPECT_EQ(s.rfind('z'), kNotFound);
    // A sequence cut off by the end counts as single bytes.
    EXPECT_EQ(String("x\xE2\x82").rfind(0xE2), 1u);
}

// UTF-16 and UTF-32 units without a byte-order mark come back as they were
// through UTF-8, up to the first NUL or their count (lone surrogates too):
// fuzz/fuzz_utf.cpp checks that. Here: marks and the empty text.
TEST(StringUtf, Utf16AndUtf32InputWithMarksAndCounts) {
    struct Case { std::u16string in; int32_t count; const char* want; } cases[] = {
        {std::u16string{0xFEFF, 'h', 'i'}, -1, "hi"},
        {std::u16string{0xFFFE, 0x4100, 0x3DD8, 0x00DE}, 4, "A\xF0\x9F\x98\x80"},
        {std::u16string{0xFFFE, 0x4100, 0x0000, 0x4200}, 4, "A"}, {u"", -1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(fromUtf16(c.in, c.count)), c.want) << str(fromUtf16(c.in, c.count));
    EXPECT_EQ(str(String(static_cast<const Solvaris::UTF16Char*>(nullptr))), "");

    struct Case32 { std::u32string in; int32_t count; const char* want; } cases32[] = {
        {std::u32string{0xFEFF, 'o', 'k'}, -1, "ok"},
        {std::u32string{0xFFFE0000u, 0x41000000u, 0x00F60100u}, 3, "A\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases32)
        EXPECT_EQ(str(String(c.in.data(), c.count)), c.want);
}

#if !defined(_WIN32)
// The native stand-in treats the system code page as Latin-1.
TEST(StringUtf, LocalFormIsLatin1Natively) {
    EXPECT_EQ(str(String::fromLocal("\xC4x")), "\xC3\x84x");
    EXPECT_STREQ(String("\xC3\x84\xE2\x82\xAC").c_strLocal(), "\xC4?");
    EXPECT_EQ(str(String::formatLocal("%s!", "\xE9")), "\xC3\xA9!");
}
#endif

TEST(StringAccess, LengthsBytesAndWritableBuffer) {
    EXPECT_EQ(String("ab\0cd", 5).length(), 2u);
    EXPECT_EQ(String("abc", int32_t(0x80000000u)).length(), 3u);
    EXPECT_TRUE(String(static_cast<const char*>(nullptr)).isEmpty());
    EXPECT_TRUE(String("x", 0).isEmpty());
    String s("xyz");
    EXPECT_EQ(s.byteAt(2), 'z');
    EXPECT_EQ(s.byteAt(3) | s.byteAt(1000), 0);

    String w("old");
    w.c_wstr();
    char* p = w.getWritableBuffer(8);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[8], 0);
    std::memcpy(p, "12345678", 8);   // filled to the brim: measured up to n
    EXPECT_EQ(w.length(), 8u);
    EXPECT_EQ(wide(w), u"12345678");
    EXPECT_EQ(codeOf([&] { w.getWritableBuffer(0x80000000u); }), Solvaris::errInvalidParam);
}

TEST(StringNumbers, Parsing) {
    struct U { const char* in; uint32_t u32; uint64_t u64; int32_t i; } cases[] = {
        {"123abc", 123, 123, 123}, {"x1", 0, 0, 0}, {"4294967296", 0, 4294967296ull, INT32_MAX},
        {"18446744073709551617", 1, 1, INT32_MAX}, {"  -42x", 0, 0, -42}, {"+7", 0, 0, 7},
        {"-2147483648", 0, 0, INT32_MIN}, {"-99999999999", 0, 0, INT32_MIN},
    };
    for (const auto& c : cases) {
        String s(c.in);
        EXPECT_EQ(s.toUInt(), c.u32) << c.in;
        EXPECT_EQ(s.toUInt64(), c.u64) << c.in;
        EXPECT_EQ(s.toInt(), c.i) << c.in;
    }
    EXPECT_DOUBLE_EQ(String(" -1e3x").toDouble(), -1000.0);
    EXPECT_DOUBLE_EQ(String("abc").toDouble(), 0.0);
    EXPECT_TRUE(std::isinf(String("1e999").toDouble()));
    EXPECT_DOUBLE_EQ(String("1e-999").toDouble(), 0.0);
    for (const char* twoSigns : {"--5", "+-5", "-+5", "++5"})
        EXPECT_EQ(String(twoSigns).toDouble(), 0.0) << twoSigns;
}

TEST(Hex, DigitsAndLimits) {
    struct Case { const char* text; uint32_t n; int32_t want; } cases[] = {   // want -1: errDataBroken
        {"7fffffff", 8, 2147483647}, {"80000000", 8, -1}, {"ffffffff", 8, -1}, {"7fffffff0", 9, -1},
        {"00ff", 4, 255},            {"AbC", 3, 0xabc},   {"12g4", 4, -1},
        {"12", 4, -1},   // stops at the NUL, never reads past it
        {"zz", 0, 0},                {"1234", 2, 0x12},
    };
    for (const auto& c : cases) {
        if (c.want < 0)
            EXPECT_EQ(codeOf([&] { Solvaris::Hex::fromStrToInt(c.text, c.n); }), Solvaris::errDataBroken) << c.text;
        else
            EXPECT_EQ(Solvaris::Hex::fromStrToInt(c.text, c.n), c.want) << c.text;
    }
}

// Overlong forms stand for no character and become U+FFFD, so no NUL (or
// other smuggled character) reaches the wide and UTF-32 forms; the shortest
// forms of the same code points still decode. Code points beyond U+10FFFF
// have no UTF-16 spelling (a mend: they gave broken surrogates).
TEST(StringUtf, OutputFormsOverlongAndOutOfRangeCodePoints) {
    struct Case { const char* utf8; std::u16string utf16; std::u32string utf32; } cases[] = {
        {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", u"\u0080\u0800\U00010000", U"\u0080\u0800\U00010000"},
        {"a\xC0\x80.djvu", u"a\uFFFD.djvu", U"a\uFFFD.djvu"},
        {"a\xE0\x80\x80.djvu", u"a\uFFFD.djvu", U"a\uFFFD.djvu"},
        {"a\xF0\x80\x80\x80.djvu", u"a\uFFFD.djvu", U"a\uFFFD.djvu"},
        {"\xF8\x80\x80\x80\x80|\xFC\x80\x80\x80\x80\x80", u"\uFFFD|\uFFFD", U"\uFFFD|\uFFFD"},
        {"..\xC0\xAF..\xE0\x80\xAF", u"..\uFFFD..\uFFFD", U"..\uFFFD..\uFFFD"},   // overlong "/"
        {"\xC1\xBF\xE0\x9F\xBF\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD\uFFFD"},
        {"\xF8\x88\x80\x80\x80", u"\uFFFD", std::u32string(1, char32_t(0x200000))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        String s(c.utf8);
        EXPECT_EQ(wide(s), c.utf16);
        EXPECT_EQ(utf32(s), c.utf32);
    }
    // The caches follow the text when the string changes.
    String t("ab");
    EXPECT_EQ(wide(t), u"ab");
    t += String("c");
    EXPECT_EQ(wide(t), u"abc");
    EXPECT_EQ(*String().c_wstr(), 0);
}

// Block sizes are computed in 64 bits and refused (errOutOfMemory) beyond the
// limit instead of wrapping (a mend: the UTF-32 cache of a 1 GiB text came out
// as a 0-byte block in a 32-bit process).
TEST(StringAllocation, BlockSizesDoNotWrap) {
    const uint64_t limit32 = 0xFFFFFFFFu;
    struct Case { uint64_t units, unitSize, limit; uint64_t bytes; } cases[] = {   // bytes 0: refused
        {0x3FFFFFFFu, 4, limit32, 0xFFFFFFFCu}, {0x40000000u, 4, limit32, 0},
        {0xFFFFFFFFu, 1, limit32, 0xFFFFFFFFu}, {0x100000000u, 1, limit32, 0},
        {UINT64_MAX / 2 + 1, 2, UINT64_MAX, 0},  // no wrap in 64 bits either
        {12, 0, limit32, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        if (c.bytes == 0 && c.unitSize != 0)
            EXPECT_EQ(codeOf([&] { Solvaris::checkedBlockSize(c.units, c.unitSize, c.limit); }),
                      Solvaris::errOutOfMemory);
        else
            EXPECT_EQ(Solvaris::checkedBlockSize(c.units, c.unitSize, c.limit), c.bytes);
    }
    // The default limit is what the process can address.
    if (SIZE_MAX == limit32)
        EXPECT_EQ(codeOf([] { Solvaris::checkedBlockSize(0x40000001u, 4); }), Solvaris::errOutOfMemory);
    else
        EXPECT_EQ(uint64_t(Solvaris::checkedBlockSize(0x40000001u, 4)), 0x100000004u);
}
