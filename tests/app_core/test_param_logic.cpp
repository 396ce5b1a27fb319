// Window-free decisions of the configuration dialog: the save dialog's filter
// list and which profile the box selects.
#include "app/core/param_logic.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(ParamLogic, FilterListGivesPairsEndedByAnEmptyEntry)
{
    // The save dialog reads NUL-separated pairs up to an empty entry.
    const std::wstring list = L"DjVu File (*.djvu;*.djv)|*.djvu;*.djv|MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)|*.mht|PDF File (*.pdf)|*.pdf";
    const std::wstring pairs =
        L"DjVu File (*.djvu;*.djv)\0*.djvu;*.djv\0MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)\0*.mht\0PDF File (*.pdf)\0*.pdf\0\0"s;
    struct Case { const char* what; std::wstring resource, filter; } cases[] = {
        {"the program's list", list + L"|", pairs}, {"a translation without the final bar", list, pairs},
        {"a missing string", L"", L"\0\0"s}};
    for (const Case& c : cases)
        EXPECT_EQ(fileFilterFromResource(c.resource), c.filter) << c.what;
}

TEST(ParamLogic, ProfileSelectionIsTheExactMatchOrTheFirst)
{
    const std::vector<std::wstring> names = {L"sdk_default", L"vjt300", L"vjt600", L"Photo scan"};
    struct Case { const char* what; std::vector<std::wstring> names; std::wstring wanted; int expected; } cases[] = {
        {"exact match with a space", names, L"Photo scan", 3},
        {"letter case counts", names, L"VJT600", 0},
        {"a prefix is no match", names, L"vjt", 0},
        {"unknown name", names, L"vjt1200", 0},
        {"empty name", names, L"", 0},
        {"the last of equal names", {L"a", L"b", L"a"}, L"a", 2},
        {"empty list", {}, L"vjt600", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(profileSelection(c.names, c.wanted), c.expected) << c.what;
}

// What Browse hands the save dialog and takes back: a text the settings can
// carry (259 characters), never a cut one.
TEST(ParamLogic, SaveDialogGetsAndGivesOnlyPathsTheSettingsCarry)
{
    const std::wstring folder = L"C:\\" + std::wstring(200, L'd');           // 203 characters
    const std::wstring fits = folder + L"\\" + std::wstring(50, L'n');       // 254
    const std::wstring over = folder + L"\\" + std::wstring(60, L'n');       // 264
    struct Start { const char* what; std::wstring box, start; } starts[] = {
        {"a path that fits", fits, fits},
        {"259 characters", std::wstring(259, L'x'), std::wstring(259, L'x')},
        {"too long: its folder", over, folder + L"\\"},
        {"too long with forward slashes", L"C:/a/" + std::wstring(300, L'n'), L"C:/a/"},
        {"too long, folder too", L"C:\\" + std::wstring(300, L'd') + L"\\a.djvu", L""},
        {"too long, no folder", std::wstring(260, L'n'), L""},
    };
    for (const Start& c : starts)
        EXPECT_EQ(saveDialogStartText(c.box), c.start) << c.what;

    std::vector<wchar_t> buffer(300, L'x');
    struct Back { const char* what; size_t end; bool ok; } backs[] = {
        {"259 characters", 259, true}, {"empty", 0, true}, {"260 characters", 260, false},
        {"not ended within the buffer", 300, false}};
    for (const Back& c : backs) {
        std::fill(buffer.begin(), buffer.end(), L'x');
        if (c.end < buffer.size())
            buffer[c.end] = L'\0';
        std::wstring path = L"unchanged";
        EXPECT_EQ(saveDialogChosenPath(buffer.data(), buffer.size(), path), c.ok) << c.what;
        EXPECT_EQ(path, c.ok ? std::wstring(c.end, L'x') : L"unchanged") << c.what;
    }

    // The path the save dialog builds from its folder and the typed text.
    struct Built { const char* what; std::wstring folder, typed; size_t length; } built[] = {
        {"name in the folder, extension added", L"C:\\out", L"report", 18},
        {"folder ending in a separator", L"C:\\", L"report.djv", 13},
        {"quotes and spaces do not count", L"C:\\out", L"  \"report.pdf\" ", 17},
        {"a full path ignores the folder", folder, L"D:\\x.djvu", 9},
        {"a UNC path", folder, L"\\\\srv\\share\\x", 18},
        {"the root of the folder's drive", folder, L"\\x.djvu", 9},
        {"a dot in a folder is no extension", L"C:\\out", L"v1.2\\report", 23},
        {"the long case", folder + L"\\" + std::wstring(60, L'd'), std::wstring(80, L'g'), 204 + 61 + 80 + 5},
    };
    for (const Built& c : built)
        EXPECT_EQ(saveDialogPathLength(c.folder, c.typed, L"djvu"), c.length) << c.what;
}

// Names that can never be a file, or that are no full path to one, are
// refused at confirmation; everything else is the converter's business.
TEST(ParamLogic, OutputNamesThatCanNeverBeAFile)
{
    using F = NameFault;
    struct Case { const char* what; std::wstring name; bool isFolder; NameFault fault; std::wstring part; } cases[] = {
        {"a plain path", L"C:\\out\\report.djvu", false, F::None, L""},
        {"empty", L"", false, F::None, L""},
        {"UNC", L"\\\\server\\share\\report.djvu", false, F::None, L""},
        {"long-path prefix", L"\\\\?\\C:\\out\\report.djvu", false, F::None, L""},
        {"UNC under the long-path prefix", L"\\\\?\\UNC\\server\\share\\x.djvu", false, F::None, L""},
        {"a way up", L"C:\\out\\..\\report.djvu", false, F::None, L""},
        {"259 characters", L"C:\\" + std::wstring(256, L'n'), false, F::None, L""},
        {"a name that only starts like a device", L"C:\\out\\CONSOLE.djvu", false, F::None, L""},
        {"COM10 is no device", L"C:\\out\\com10.djvu", false, F::None, L""},
        {"non-ASCII", L"C:\\\u65E5\u672C\\\u00FCber.djvu", false, F::None, L""},
        {"260 characters", L"C:\\" + std::wstring(257, L'n'), false, F::TooLong, L""},
        {"too long beats a folder", std::wstring(300, L'n'), true, F::TooLong, L""},
        {"every forbidden character", L"C:\\a<b>c|d?e*f\".djvu", false, F::ForbiddenCharacter, L""},
        {"a colon after the drive", L"C:\\out\\a:b.djvu", false, F::ForbiddenCharacter, L""},
        {"a question mark in a folder", L"C:\\wh?\\a.djvu", false, F::ForbiddenCharacter, L""},
        {"a control character", L"C:\\out\\a\tb.djvu", false, F::ForbiddenCharacter, L""},
        {"CON", L"C:\\CON", false, F::DeviceName, L"CON"},
        {"nul with an extension", L"C:\\out\\nul.djvu", false, F::DeviceName, L"nul"},
        {"COM1 with spaces before the dot", L"C:\\out\\COM1 .djvu", false, F::DeviceName, L"COM1"},
        {"LPT9", L"D:\\lpt9.pdf", false, F::DeviceName, L"lpt9"},
        {"COM with a superscript digit", L"C:\\COM\u00B9", false, F::DeviceName, L"COM\u00B9"},
        {"a device as folder", L"C:\\aux\\report.djvu", false, F::DeviceName, L"aux"},
        {"a console name", L"C:\\conout$", false, F::DeviceName, L"conout$"},
        {"a device under the long-path prefix", L"\\\\?\\C:\\nul.djvu", false, F::DeviceName, L"nul"},
        {"relative", L"report", false, F::NotFullPath, L""},
        {"relative to the drive's folder", L"C:report.djvu", false, F::NotFullPath, L""},
        {"from the current drive's root", L"\\report.djvu", false, F::NotFullPath, L""},
        {"the device namespace", L"\\\\.\\PRN", false, F::NotFullPath, L""},
        {"a pipe", L"\\\\.\\pipe\\x", false, F::NotFullPath, L""},
        {"the object namespace", L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\x.djvu", false, F::NotFullPath, L""},
        {"a server without a share", L"\\\\server", false, F::NotFullPath, L""},
        {"a trailing dot", L"C:\\out\\report.", false, F::TrailingDotOrSpace, L""},
        {"a folder ending in a blank", L"\\\\?\\C:\\out \\report.djvu", false, F::TrailingDotOrSpace, L""},
        {"an existing folder", L"C:\\out", true, F::Folder, L""},
    };
    for (const Case& c : cases) {
        std::wstring part;
        EXPECT_EQ(outputNameFault(c.name, c.isFolder, &part), c.fault) << c.what;
        EXPECT_EQ(part, c.part) << c.what;
    }
}
