// Mode selection and the lenient reading of numeric arguments.
#include "app/core/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

TEST(CommandLine, SelectsModeByLowerCasedSwitchAndExactCount)
{
    const wchar_t* p = L"a";   // any argument
    struct Case { std::vector<const wchar_t*> args; Mode mode; } cases[] = {   // args: after the program path
        {{L"-PARAM", p, p, p, p, p, p, p}, Mode::Param},
        {{L"-param", p, p, p, p, p, p}, Mode::Invalid},         // 8 in all
        {{L"-param", p, p, p, p, p, p, p, p}, Mode::Invalid},   // 10 in all
        {{L"-ERRMSG", L"text", L"24"}, Mode::ErrorMessage}, {{L"-ErrMsg", L"text", L"24"}, Mode::ErrorMessage},
        {{L"-errmsg", L"text"}, Mode::Invalid}, {{L"-errmsg", L"text", L"24", L"x"}, Mode::Invalid},
        {{L"-msg", L"text"}, Mode::PlainMessage}, {{L"-Msg", L""}, Mode::PlainMessage},
        {{L"-msg"}, Mode::Invalid}, {{L"-msg", L"a", L"b"}, Mode::Invalid},
        {{L"-PIPE", L"\\\\.\\pipe\\x"}, Mode::Pipe}, {{L"-pipe"}, Mode::Invalid},
        // Unknown switches, near misses and switches without the dash.
        {{L"-bogus", L"x"}, Mode::Invalid}, {{L"msg", L"x"}, Mode::Invalid}, {{L"-msg ", L"x"}, Mode::Invalid},
        {{L"--msg", L"x"}, Mode::Invalid}, {{L"", L"x"}, Mode::Invalid},
        // Only ASCII letters are lower-cased: a dotted capital I is no 'i'.
        {{L"-p\u0130pe", L"x"}, Mode::Invalid},
        // Nothing but the program path, and a missing argument.
        {{}, Mode::Invalid}, {{nullptr, L"x"}, Mode::Invalid},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        std::vector<const wchar_t*> args = cases[i].args;
        args.insert(args.begin(), L"PrintvaneUI.exe");
        EXPECT_EQ(selectMode(static_cast<int>(args.size()), args.data()), cases[i].mode)
            << "case " << i << ": " << (args.size() > 1 && args[1] ? testing::PrintToString(std::wstring(args[1])) : "");
    }
    EXPECT_EQ(selectMode(0, &p), Mode::Invalid);
    EXPECT_EQ(selectMode(3, nullptr), Mode::Invalid);
}

TEST(CommandLine, ParsesDecimalsLeniently)
{
    struct Case { const wchar_t* text; int32_t value; } cases[] = {
        {L"0", 0}, {L"24", 24}, {L"007", 7},
        {L"\t\r\n 5", 5},                               // leading white space
        {L"+17", 17}, {L"-17", -17}, {L" -3", -3},      // one sign
        {L"--3", 0}, {L"+-3", 0}, {L"- 3", 0},          // a second sign or a gap ends it
        {L"1.5", 1}, {L"2480x3508", 2480}, {L"99 100", 99},
        {L"abc", 0}, {L"", 0}, {L"-", 0},
        {L"0x1F", 0},                                   // no hexadecimal
        {L"\uFF11\uFF12", 0},                           // full-width digits are not digits
        {L"2147483647", INT32_MAX}, {L"-2147483648", INT32_MIN},
        {L"2147483648", INT32_MAX}, {L"-2147483649", INT32_MIN},   // clamped, not wrapped
        {L"99999999999999999999999999", INT32_MAX}, {L"-99999999999999999999999999", INT32_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseLenientDecimal(c.text), c.value) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(parseLenientDecimal(nullptr), 0);
}

// Quoting for the programs that start this one: the C run-time must read
// each argument back unchanged, so quotes and the backslashes before them
// are escaped and only arguments that need quotes get them.
TEST(CommandLine, QuotesArgumentsForTheRuntimeParser)
{
    struct Case { const wchar_t* arg; const wchar_t* quoted; } cases[] = {
        {L"-param", L"-param"}, {L"", L"\"\""}, {L"tab\there", L"\"tab\there\""},
        {L"C:\\Program Files\\x.exe", L"\"C:\\Program Files\\x.exe\""},
        {L"a\\b", L"a\\b"},                              // backslashes alone stay as they are
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"dir\\ \\", L"\"dir\\ \\\\\""},                // a trailing backslash before the closing quote
        {L"a\\\"b", L"\"a\\\\\\\"b\""},                  // backslash before a quote is doubled
    };
    for (const Case& c : cases)
        EXPECT_EQ(quoteArgument(c.arg), c.quoted) << testing::PrintToString(std::wstring(c.arg));
    EXPECT_EQ(commandLine(L"C:\\a b\\P.exe", {L"-msg", L"two words"}), L"\"C:\\a b\\P.exe\" -msg \"two words\"");
}
