#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "baselib/svr_winerror.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

TEST(WinErrorText, SystemValuesAreQuotedWithTheirNumber)
{
    struct Case { DWORD value; const char* tail; } cases[] = {
        {ERROR_FILE_NOT_FOUND, "\" (00000002h)"},
        {ERROR_ACCESS_DENIED, "\" (00000005h)"},
        {ERROR_SHARING_VIOLATION, "\" (00000020h)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        SetLastError(12345);
        std::string text = str(describeWin32Error(c.value));
        EXPECT_EQ(GetLastError(), c.value);
        ASSERT_GT(text.size(), strlen(c.tail) + 2) << text;
        EXPECT_EQ(text[0], '"') << text;
        EXPECT_TRUE(endsWith(text, c.tail)) << text;
        // The system's own line break before the closing quote is gone.
        char last = text[text.size() - strlen(c.tail) - 1];
        EXPECT_TRUE(last != '\n' && last != '\r') << text;
    }
}

TEST(WinErrorText, UnknownValueGivesTheFallbackLine)
{
    SetLastError(7);
    EXPECT_EQ(str(describeWin32Error(0x2FFFFFFF)), "::GetLastError() returns 2fffffffh\n");
    EXPECT_EQ(GetLastError(), 0x2FFFFFFFu);
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
