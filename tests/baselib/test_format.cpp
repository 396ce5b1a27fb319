#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "baselib/alloc_probe.h"
#include "baselib/svr_error.h"
#include "baselib/svr_string.h"
#include "support/test_kit.h"

using Solvaris::String;
using testkit::str;

// Integer and string conversions over flags x width x precision (given
// inline or as "*" arguments, negative ones too) are compared with the C
// library by fuzz/fuzz_format.cpp; here are the engine's own letters, its
// limits and the mends.
TEST(FormatConversions, LibrarySpecificLetters) {
    struct Case { String got; const char* want; } cases[] = {
        {String::format("%p|%8p", static_cast<void*>(nullptr), reinterpret_cast<void*>(uintptr_t(42))), "0|      42"},
        {String::format("%q", "it's"), "it''s"},
        {String::format("%Q", "it's"), "'it''s'"},
        {String::format("%q|%Q", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr)), "(NULL)|NULL"},
        {String::format("%.2q", "''''"), "''''"},
        {String::format("%-9Q|", "a'b"), "'a''b'   |"},
        {String::format("[%s]", static_cast<const char*>(nullptr)), "[]"},
        {String::format("%.3c|%-3c|%c", 'x', 'y', 'z'), "xxx|y  |z"},
        {String::format("100%% %! %"), "100% %! %"},
        {String::format("%5"), "%5"},
        {String::format("%.2f|%e|%E", 3.14159, 1.5, 0.00025), "3.14|1.500000e+00|2.500000E-04"},
        {String::format("%g|%G|%g", std::nan(""), 1e-10, 100000.0), "NaN|1E-10|100000"},
        {String::format("%08.3f|%-7.1f|%+.1f|%+f", -1.5, 2.25, INFINITY, -INFINITY), "-001.500|2.2    |+Inf|-Inf"},
        {String::format("%#.0f|% .2e", 2.0, 12345.678), "2.| 1.23e+04"},
        {String::format("ab%ccd", 0), "ab"},   // an embedded NUL ends the text
        {String::format(nullptr), ""},
        {String::formatLocal(nullptr), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(c.got), c.want);

    int n = -1;
    long long nn = -1;
    EXPECT_EQ(str(String::format("abc%n%s%lln", &n, "de", &nn)), "abcde");
    EXPECT_TRUE(n == 3 && nn == 5) << n << " " << nn;
}

// Widths are clamped to 100000 bytes and precisions to 1000 digits (100000
// repeats for %c); reading a string never goes beyond its terminator whatever
// the precision says. The sanitizers of the native build watch every byte.
TEST(FormatLimits, HugeWidthAndPrecisionStayBounded) {
    struct Case { String got; uint32_t length; } cases[] = {
        {String::format("%2147483647d", 1), 100000},
        {String::format("%99999999999999999999d", 1), 100000},
        {String::format("%*d", INT_MIN, 1), 100000},
        {String::format("%-2147483647.5000000u", 12345u), 100000},
        {String::format("%.2147483647d", 1), 1000},
        {String::format("%100001.2147483647u", 1u), 100000},
        {String::format("%.2147483647f", 1.0), 1002},
        {String::format("%.2147483647c", 'a'), 100000},
        {String::format("%-7.2147483647c", 'a'), 100000},
        {String::format("%2147483647.99c", 'a'), 100000},
        {String::format("%-2147483647.2147483647s", "text"), 100000},
        {String::format("%.300f", 1e308), 309 + 1 + 300},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].got.length(), cases[i].length) << "case " << i;
    char shortText[3] = {'a', 'b', 0};
    EXPECT_EQ(str(String::format("%.2147483647s|%.*q", shortText, INT_MAX, shortText)), "ab|ab");

    // Growth from the first 200 bytes through many appends.
    std::string big(70000, 'q'), want;
    for (int i = 0; i < 3; ++i)
        want += big + "|";
    EXPECT_EQ(str(String::format("%s|%s|%s|", big.c_str(), big.c_str(), big.c_str())), want);
}

TEST(FormatRelease, ZArgumentIsFreedEvenWhenFormattingFails) {
    auto dup = [](const char* s) { return std::strcpy(static_cast<char*>(Solvaris::memAlloc(std::strlen(s) + 1)), s); };
    {
        char* owned = dup("owned");
        AllocProbe probe;
        EXPECT_EQ(str(String::format("<%z|%z>", owned, static_cast<char*>(nullptr))), "<owned|>");
        EXPECT_EQ(probe.freed.count(owned), 1u);
    }
    char* a = dup("first");
    char* b = dup("second");
    AllocProbe probe;
    probe.failAllocations = true;
    EXPECT_EQ(testkit::codeOf([&] { String::format("%z and %d and %z", a, 5, b); }), Solvaris::errOutOfMemory);
    EXPECT_EQ(probe.freed.count(a) + probe.freed.count(b), 2u);
}

// Length letters are read as the C library and Windows read them, so the
// directives after them take their own arguments (the marker "%s" shows it).
// fuzz/fuzz_format.cpp checks every integer length letter against the C
// library with such a marker; here are one of them, and the long double
// and count letters that it does not compare.
TEST(FormatLengths, ShortCharLongDoubleAndWindowsSizes) {
    EXPECT_EQ(str(String::format("%hhd|%hhu|%hhX|%s", 200, -1, 0x1AB, "end")), "-56|255|AB|end");
    EXPECT_EQ(str(String::format("%.1Lf|%Le|%s", 2.4L, 1.5L, "end")), "2.4|1.500000e+00|end");
    short h = -1;
    signed char hh = -1;
    EXPECT_EQ(str(String::format("abc%hnde%hhn%s", &h, &hh, "f")), "abcdef");
    EXPECT_TRUE(h == 3 && hh == 5) << h << " " << int(hh);
}

// A letter the engine does not know, or a length its letter does not take,
// ends the format with a clear error instead of reading wrong arguments.
TEST(FormatLengths, UnknownDirectivesAreErrors) {
    for (const char* fmt : {"%y", "a %k b", "%5.2w", "%hs", "%hhc", "%Ld", "%Lu", "%hf", "%I64f", "%I32g", "%Ln",
                            "%I64n", "%lh", "%j", "%t", "%Ip", "%h!", "%L"}) {
        SCOPED_TRACE(fmt);
        const testkit::Thrown e = testkit::thrown([&] { String::format(fmt, 1, 2, 3); });
        EXPECT_EQ(e.code, Solvaris::errInvalidParam);
        std::string directive = std::string(std::strchr(fmt, '%'));
        directive = directive.substr(0, directive.find(' '));
        EXPECT_NE(e.message.find("Unknown format directive \"" + directive + "\"."), std::string::npos) << e.message;
    }
}
