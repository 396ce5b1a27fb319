// The dialog-editor hand-off without windows: the parameter string in both
// directions, the command line split, and the copy-data requests.
#include "app/core/editor_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

TEST(EditorLink, ParameterStringReadsBackAsItWasBuilt)
{
    struct Case { const char* what; std::wstring name; intptr_t window; std::wstring image, text; } cases[] = {
        {"plain", L"vjt300", 132456, L"C:\\t\\p.img", L"vjt300 -nologo -hwnd 132456 -icp \"C:\\t\\p.img\""},
        {"a name with spaces stays unquoted", L"My fine  profile", 7, L"p", L"My fine  profile -nologo -hwnd 7 -icp \"p\""},
        {"no profile selected", L"", 7, L"p", L" -nologo -hwnd 7 -icp \"p\""},
        {"a handle above 2^31 is negative", L"a", intptr_t(int32_t(0x80001234u)), L"p",
         L"a -nologo -hwnd -2147478988 -icp \"p\""},
        {"a name that looks like a switch", L"x -hwnd 5", 9, L"C:\\a b\\p.img", L"x -hwnd 5 -nologo -hwnd 9 -icp \"C:\\a b\\p.img\""},
    };
    for (const Case& c : cases) {
        const std::wstring text = editorParameters(c.name, c.window, c.image);
        EXPECT_EQ(text, c.text) << c.what;
        // The editor sees the text behind one blank after its quoted name.
        const EditorArguments a = parseEditorArguments(parametersOfCommandLine(L"\"C:\\bin\\tessforge7.exe\" " + text));
        EXPECT_TRUE(a.valid && a.noLogo) << c.what;
        EXPECT_EQ(std::make_tuple(a.profileName, a.window, a.imagePath), std::make_tuple(c.name, c.window, c.image))
            << c.what;
    }
}

TEST(EditorLink, HandWrittenAndDamagedCommandLines)
{
    struct Case { const char* what; std::wstring commandLine; bool valid; std::wstring name; intptr_t window; } cases[] = {
        {"program alone", L"tessforge7.exe", true, L"", 0},
        {"a name alone", L"tessforge7 Fine one", true, L"Fine one", 0},
        {"window without logo switch", L"\"t f.exe\" Fine -hwnd 12", true, L"Fine", 12},
        {"window that is no number", L"t Fine -nologo -hwnd 12x -icp \"p\"", false, L"", 0},
        {"window without digits", L"t Fine -nologo -hwnd  -icp \"p\"", false, L"", 0},
        {"path without closing quote", L"t Fine -nologo -hwnd 3 -icp \"p", false, L"", 0},
        {"quote inside the path", L"t Fine -nologo -hwnd 3 -icp \"p\"q\"", false, L"", 0},
        {"a window too long to be one", L"t a -hwnd 123456789012345678901", false, L"", 0},
        {"19 digits beyond any window", L"t a -hwnd 9999999999999999999", false, L"", 0},
        {"19 digits below any window", L"t a -hwnd -9999999999999999999", false, L"", 0},
        {"the lowest 32-bit window", L"t a -hwnd -2147483648", true, L"a", intptr_t(INT32_MIN)},
    };
    for (const Case& c : cases) {
        const EditorArguments a = parseEditorArguments(parametersOfCommandLine(c.commandLine));
        EXPECT_EQ(a.valid, c.valid) << c.what;
        if (c.valid) {
            EXPECT_EQ(std::make_pair(a.profileName, a.window), std::make_pair(c.name, c.window)) << c.what;
        }
    }
}

TEST(EditorLink, CopyDataIsReadOnlyWithinItsBlock)
{
    EXPECT_EQ(editorRequest(0x446A5675), EditorRequest::SelectProfile);
    EXPECT_EQ(editorRequest(0x446A5676), EditorRequest::GiveInputBack);
    EXPECT_EQ(editorRequest(0x446A5677), EditorRequest::Ignore);
    EXPECT_EQ(editorRequest(uintptr_t(0x446A5675) | (uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1))), EditorRequest::Ignore);

    const std::u16string block = copyDataBlock(L"Fine \u00FCber");
    // units: copied into a block of exactly `bytes`.
    struct Case { const char* what; std::vector<char16_t> units; size_t bytes; bool ok; std::wstring name; } cases[] = {
        {"name and NUL", std::vector<char16_t>(block.begin(), block.end()), block.size() * 2, true, L"Fine \u00FCber"},
        {"longer block, text ends at the NUL", {u'a', 0, u'b', 0}, 8, true, L"a"},
        {"empty name", {0}, 2, true, L""},
        {"no NUL within the length", {u'a', u'b', u'c'}, 6, false, L""},
        {"NUL only in a cut-off half unit", {u'a', 0}, 3, false, L""},
        {"empty block", {}, 0, false, L""},
    };
    for (const Case& c : cases) {
        // An exact-size heap block, so a read past it is caught by the
        // address sanitizer.
        std::vector<unsigned char> bytes(c.bytes);
        if (c.bytes)
            std::memcpy(bytes.data(), c.units.data(), std::min(c.bytes, c.units.size() * 2));
        std::wstring name = L"unchanged";
        EXPECT_EQ(copyDataProfileName(c.bytes ? bytes.data() : reinterpret_cast<const void*>(""), c.bytes, name), c.ok)
            << c.what;
        EXPECT_EQ(name, c.ok ? c.name : L"unchanged") << c.what;
    }
    std::wstring name;
    EXPECT_FALSE(copyDataProfileName(nullptr, 8, name)) << "no block";
}
