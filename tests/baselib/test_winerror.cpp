#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "baselib/svr_winerror.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

TEST(WinError, TranslatesWin32Values)
{
    struct Case { uint32_t win32; int32_t code; } cases[] = {
        // a few values with a code of their own (the map itself is a table)
        {8, 1}, {5, 3}, {2, 12}, {32, 26}, {12002, 2001},
        // the WinHTTP range and its edges
        {12000, 2000}, {12003, 2000}, {12186, 2000}, {11999, 26}, {12187, 26},
        // values with no meaning of their own
        {0, 26}, {997, 26}, {0x80070005u, 26}, {0xFFFFFFFFu, 26},
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

TEST(WinError, DescribingKeepsTheLastError)
{
    setLastPlatformError(5);
    String described = describeLastError();
    EXPECT_EQ(lastPlatformError(), 5u);
    EXPECT_EQ(str(described), str(describeWin32Error(5)));

    setLastPlatformError(1);
    describeWin32Error(2);
    EXPECT_EQ(lastPlatformError(), 2u);  // set to the value described
}

TEST(WinError, CallExceptionNamesTheFunction)
{
    const uint32_t kValues[] = {2, 32, 12002, 0x2FFFFFFFu};
    for (uint32_t value : kValues) {
        SCOPED_TRACE(value);
        setLastPlatformError(value);
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
TEST(WinErrorText, SystemValuesAreQuotedWithTheirNumber)
{
    struct Case { DWORD value; const char* tail; } cases[] = {
        {ERROR_FILE_NOT_FOUND, "\" (00000002h)"},
        {ERROR_SHARING_VIOLATION, "\" (00000020h)"},
    };
    for (const Case& c : cases) {
        std::string text = str(describeWin32Error(c.value));
        ASSERT_GT(text.size(), strlen(c.tail) + 2) << text;
        EXPECT_EQ(text[0], '"') << text;
        EXPECT_TRUE(endsWith(text, c.tail)) << text;
        // The system's own line break before the closing quote is gone.
        char last = text[text.size() - strlen(c.tail) - 1];
        EXPECT_TRUE(last != '\n' && last != '\r') << text;
    }
    EXPECT_EQ(str(describeWin32Error(0x2FFFFFFF)), "::GetLastError() returns 2fffffffh\n");
}

// The module sources are read as data files from the system folder. Wine's
// winhttp.dll carries no message table, so wininet.dll, which holds texts
// for the same values, stands in to exercise the path.
TEST(WinErrorText, ModuleSourcesAreReadAsData)
{
    String text;
    ASSERT_TRUE(WinErrorDetail::lookUpInSystemModule(L"wininet.dll", 12002, text));
    std::string quoted = str(WinErrorDetail::formatDescription(text, 12002));
    EXPECT_GT(quoted.size(), strlen("\"\" (00002ee2h)")) << quoted;
    EXPECT_TRUE(endsWith(quoted, ".\" (00002ee2h)")) << quoted;

    EXPECT_FALSE(WinErrorDetail::lookUpInSystemModule(L"no-such-module.dll", 12002, text));
    EXPECT_FALSE(WinErrorDetail::lookUpInSystemModule(L"wininet.dll", 0x2FFFFFFF, text));
}

// A module's texts come with their inserts filled (left empty) and "%%" as
// "%", as the system formats them; this program's own message table holds
// two such texts.
TEST(WinErrorText, ModuleTextsHaveTheirInsertsFilled)
{
    struct Case { uint32_t id; const char* text; } cases[] = {
        {0x7001, "Cannot reach the server  now."},
        {0x7002, " of  tries left: 100% used."},
    };
    for (const Case& c : cases) {
        String text;
        ASSERT_TRUE(WinErrorDetail::lookUpInModule(GetModuleHandleW(nullptr), c.id, text)) << c.id;
        EXPECT_EQ(str(text.trimLineBreaksRight()), c.text);
    }
}
#endif
