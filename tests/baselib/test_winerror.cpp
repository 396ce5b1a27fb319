#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "baselib/svr_winerror.h"
#include "support/test_kit.h"

using namespace Solvaris;
using namespace testkit;

TEST(WinError, TranslatesWin32Values)
{
    // The edges of the WinHTTP range, a value inside it with a code of its
    // own, and values with no meaning of their own. (The values of files
    // missing or held come from the system in the disk storage tests.)
    struct Case { uint32_t win32; int32_t code; } cases[] = {
        {12000, 2000}, {12186, 2000}, {11999, 26}, {12187, 26}, {12002, 2001}, {0, 26}, {0xFFFFFFFFu, 26},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorFromWin32(c.win32), c.code) << c.win32;
}

TEST(WinError, DescriptionFormats)
{
    // Trailing line breaks of every kind go; inner ones and other trailing
    // characters stay.
    struct Case { const char* systemText; uint32_t value; const char* expected; } cases[] = {
        {"Access is denied.\r\n", 5, "\"Access is denied.\" (00000005h)"},
        {"a\nb \x0b\x0c\r\n\xc2\x85\xe2\x80\xa8\xe2\x80\xa9", 0x3039, "\"a\nb \" (00003039h)"},
        {"ends in blank ", 0xFFFFFFFFu, "\"ends in blank \" (ffffffffh)"},
        {"", 0, "\"\" (00000000h)"},
        {"100% %s %n", 12002, "\"100% %s %n\" (00002ee2h)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(WinErrorDetail::formatDescription(c.systemText, c.value)), c.expected);
    EXPECT_EQ(str(WinErrorDetail::formatUnknown(0)), "::GetLastError() returns 0h\n");
    EXPECT_EQ(str(WinErrorDetail::formatUnknown(0xABCDEF01u)), "::GetLastError() returns abcdef01h\n");
}

// The exception names the function and the system's text; describing (also
// in the exception) keeps the last error, or sets it to the value described.
TEST(WinError, CallExceptionNamesTheFunctionAndKeepsTheLastError)
{
    setLastPlatformError(1);
    describeWin32Error(2);
    EXPECT_EQ(lastPlatformError(), 2u);
    for (uint32_t value : {2u, 0x2FFFFFFFu}) {
        SCOPED_TRACE(value);
        setLastPlatformError(value);
        String described = describeLastError();
        EXPECT_EQ(lastPlatformError(), value);
        EXPECT_EQ(str(described), str(describeWin32Error(value)));
        try {
            SVR_THROW_LAST_ERROR("CreateFileW");
        } catch (const PlatformException& e) {
            EXPECT_EQ(e.code(), errorFromWin32(value));
            EXPECT_EQ(e.platformError(), value);
            std::string message = str(e.message());
            std::string tail = " : : Error " + std::to_string(e.code()) + ": " +
                               str(describeWin32Error(value)) + " CreateFileW\n";
            ASSERT_GE(message.size(), tail.size()) << message;
            EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
            EXPECT_NE(message.find("test_winerror.cpp("), std::string::npos) << message;
        }
        EXPECT_EQ(lastPlatformError(), value);
    }
}

// Module texts: inserts give nothing, "%%" gives "%", "%" before anything
// else gives that character; the rest is kept byte for byte.
TEST(WinError, FillInsertsLeavesInsertsEmpty)
{
    struct Case { const char *raw, *filled; } cases[] = {
        {"Cannot reach %1.", "Cannot reach ."},
        {"%1!u! of %2!u! left", " of  left"},
        {"%12%99x%100", "x0"},
        {"100%% done%.", "100% done."},
        {"a %1!unterminated", "a !unterminated"},
        {"end %", "end "},
        {"no inserts \xC3\xA9", "no inserts \xC3\xA9"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(WinErrorDetail::fillInserts(c.raw)), c.filled) << c.raw;
}

#if defined(_WIN32)
// System texts are quoted with their number, without the system's line
// break. Module sources are read as data files from the system folder:
// Wine's winhttp.dll carries no message table, so wininet.dll, which holds
// texts for the same values, stands in. A module's texts come with their
// inserts left empty and "%%" as "%" (this program's message table holds
// two such texts).
TEST(WinErrorText, SystemAndModuleTexts)
{
    for (DWORD value : {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION}) {
        std::string text = str(describeWin32Error(value));
        const std::string tail = str(WinErrorDetail::formatDescription("", value)).substr(2);
        ASSERT_GT(text.size(), tail.size() + 2) << text;
        EXPECT_EQ(text[0], '"') << text;
        EXPECT_TRUE(endsWith(text, tail)) << text;
        char last = text[text.size() - tail.size() - 1];
        EXPECT_TRUE(last != '\n' && last != '\r') << text;
    }
    EXPECT_EQ(str(describeWin32Error(0x2FFFFFFF)), "::GetLastError() returns 2fffffffh\n");

    String text;
    ASSERT_TRUE(WinErrorDetail::lookUpInSystemModule(L"wininet.dll", 12002, text));
    EXPECT_TRUE(endsWith(str(WinErrorDetail::formatDescription(text, 12002)), ".\" (00002ee2h)")) << str(text);
    EXPECT_FALSE(WinErrorDetail::lookUpInSystemModule(L"no-such-module.dll", 12002, text));
    EXPECT_FALSE(WinErrorDetail::lookUpInSystemModule(L"wininet.dll", 0x2FFFFFFF, text));

    struct Case { uint32_t id; const char* text; } cases[] = {
        {0x7001, "Cannot reach the server  now."},
        {0x7002, " of  tries left: 100% used."},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WinErrorDetail::lookUpInModule(GetModuleHandleW(nullptr), c.id, text)) << c.id;
        EXPECT_EQ(str(text.trimLineBreaksRight()), c.text);
    }
}
#endif
