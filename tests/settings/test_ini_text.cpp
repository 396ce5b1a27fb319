// The text of a settings file read key by key, as load reads a file that
// starts with the UTF-8 mark (the profile functions would not find its
// first section).
#include "settings/ini_text.h"

#include <gtest/gtest.h>

TEST(IniText, ValueFromTheFirstSectionOfThatName)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* key;
        const wchar_t* value;
    } cases[] = {
        {L"[VJT]\r\nProfile=vjt300\r\n", L"Profile", L"vjt300"},
        {L"  [ vjt ]  \nprofile = a b \n", L"PROFILE", L"a b"},
        {L"[VJT]\r\nProfile=\" a \"\r\nWmPos='7'\r\n", L"Profile", L" a "},
        {L"[VJT]\r\nProfile=\"q\r\n", L"Profile", L"\"q"},
        {L"[VJT]\r\nProfile=\r\nProfile=second\r\n", L"Profile", L""},
        {L"Profile=before\r\n[Other]\r\nProfile=other\r\n[VJT]\r\nProfile=right\r\n", L"Profile", L"right"},
        {L"[VJT]\r\nOutput=x\r\n[VJT]\r\nProfile=later\r\n", L"Profile", L""},
        {L"[VJT]\r\nProfile\r\nProfileName=x\r\n", L"Profile", L""},
        {L"[Other]\r\nProfile=x\r\n", L"Profile", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.text)));
        EXPECT_EQ(iniValue(c.text, L"VJT", c.key), c.value);
    }
}
