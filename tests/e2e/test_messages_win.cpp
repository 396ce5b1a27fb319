// The two message modes and the language module search, seen from the
// outside: the real program is started, its box is read through WM_GETTEXT,
// photographed and closed. The same tests run once per user locale (see
// CMakeLists.txt); the expected texts come from the language module that the
// locale selects.
#include "app/core/lcid_table.h"
#include "app/res/resource.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace uitest;

namespace {

const wchar_t kCanceledEnglish[] = L"The process is canceled.";

// Tag of the user's locale for screenshot names ("en-US", "ja-JP", ...).
std::wstring localeTag()
{
    const char* name = localeNameOf(GetUserDefaultLangID());
    return name ? winkit::wide(name) : L"lang" + std::to_wstring(GetUserDefaultLangID());
}

// What a box showed, and how the program ended.
struct BoxSeen {
    std::wstring shot;         // the screenshot's name
    bool shown = false;
    std::wstring title, text;
    RECT rect = {};            // the box on the screen
    bool topmost = false;      // system-modal boxes stay above every window
    bool owned = true;
    DebugRun run;              // the program's end and its debugger output
};

// On a helper thread while the program runs: reads its box into `seen`,
// saves its picture and presses OK.
void readAndClose(DWORD pid, BoxSeen& seen)
{
    HWND box = waitForWindow(pid, kProgramWait, L"#32770");
    if (!box)
        return;
    seen.shown = true;
    seen.title = windowText(box);
    seen.text = staticTexts(box);
    GetWindowRect(box, &seen.rect);
    seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    EXPECT_FALSE(saveScreenshot(box, seen.shot + L"_" + localeTag()).empty());
    pressButton(box, IDOK);
}

// Runs `exe` with `args` under our debugger and reads its box. Every box is
// titled "Vellumjet" in every language, and the program ends with 0.
BoxSeen runBox(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& shot)
{
    BoxSeen seen;
    seen.shot = shot;
    seen.run = runWithDebugger(commandLine(exe, args), 30000, {}, [&](DWORD pid) { readAndClose(pid, seen); });
    EXPECT_TRUE(seen.run.started && seen.run.ended);
    EXPECT_EQ(seen.run.exitCode, 0u);
    EXPECT_TRUE(seen.shown) << "no box";
    EXPECT_EQ(seen.title, L"Vellumjet");
    return seen;
}

} // namespace

// -errmsg shows the translated text for a known code (LanguageSearch below)
// and the converter's text otherwise; -msg shows its text unchanged (the
// icon of each: DpiLayout.WindowsAtThisResolution). Both: title "Vellumjet"
// in every language, no owner, above every window, exit 0. A text too long
// for the screen is cut, at a line or within one, with an ellipsis, so that
// the whole box, title bar and OK button included, lies in the work area;
// the debugger still gets the whole text.
TEST(Messages, ErrorBoxTranslatesKnownCodesOnlyAndPlainBoxShowsTextUnchanged)
{
    const std::wstring given = L"Encoding failed on page 3 (disk full)";
    std::wstring lines;
    for (int i = 0; i < 2000; ++i)
        lines += L"line " + std::to_wstring(i) + L"\n";
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Switches and codes are read by the command-line reader
    // (CommandLine.SelectsModeByLowerCasedSwitchAndExactCount, .ParsesDecimalsLeniently).
    // Expected for -msg: empty, the text given.
    struct Case { const wchar_t* shot; std::vector<std::wstring> args; std::wstring expected; bool cut = false; } cases[] = {
        // A known code's text in the user's language: LanguageSearch.AttemptsSeenByDebugger.
        // The table ends at code 0, so 0 never matches; other codes keep the
        // text (code 5 below).
        {L"errmsg_0", {L"-errmsg", given, L"0"}, given},
        {L"msg_0", {L"-MSG", L"Printing finished: 3 pages, 100% done.\nSaved to C:\\Out\\report %1.djvu"}, L""},
        {L"msg_1", {L"-msg", L"R&D \"draft\" \u00FCber \u65E5\u672C\u8A9E"}, L""},
        // Wildcards are text, not file names to expand (the working folder
        // holds .exe files).
        {L"msg_2", {L"-Msg", L"*.exe"}, L""},
        {L"msg_3", {L"-msg", L""}, L""},
        // Shown in the order sent: no override reverses the name, no control
        // character is drawn as a box; line breaks stay.
        {L"msg_bidi", {L"-msg", L"Saved as evil\u202Eexe.txt\a\u2066!\u2069\nNext line"}, L"Saved as evilexe.txt!\nNext line"},
        {L"errmsg_long_lines", {L"-errmsg", lines, L"5"}, L"", true},
        {L"msg_long_word", {L"-msg", std::wstring(20000, L'w')}, L"", true},
    };
    for (const Case& c : cases) {
        const bool plain = c.args.size() == 2;
        SCOPED_TRACE(narrow(c.shot));
        BoxSeen seen = runBox(productProgram(), c.args, c.shot);
        EXPECT_TRUE(seen.topmost);
        EXPECT_FALSE(seen.owned);
        if (!c.cut) {
            EXPECT_EQ(seen.text, plain && c.expected.empty() ? c.args[1] : c.expected);
            continue;
        }
        const std::wstring& text = c.args[1];
        EXPECT_TRUE(seen.rect.left >= work.left && seen.rect.top >= work.top && seen.rect.right <= work.right &&
                    seen.rect.bottom <= work.bottom) << seen.rect.left << "," << seen.rect.top << " " << seen.rect.right
                                                     << "," << seen.rect.bottom;
        // Cut (where and how: DpiLayout.TextIsCutToFitItsBox).
        EXPECT_LT(seen.text.size(), text.size());
        bool whole = false;
        for (const std::wstring& line : seen.run.debugLines)
            whole = whole || line.find(text) != std::wstring::npos;
        EXPECT_TRUE(whole) << "the whole text goes to the debugger";
    }
}

namespace {

// The attempts the program reported to the debugger, as "FAILED de-DE";
// every path lies in `folder` and names the module file.
std::vector<std::string> attemptsOf(const std::vector<std::wstring>& lines, const std::wstring& folder)
{
    std::vector<std::string> out;
    const std::wstring marker = L": Trying to load: ";
    for (const std::wstring& line : lines) {
        size_t at = line.find(marker);
        if (at == std::wstring::npos)
            continue;
        std::wstring path = line.substr(at + marker.size());
        EXPECT_EQ(_wcsnicmp(path.c_str(), (folder + L"\\").c_str(), folder.size() + 1), 0) << narrow(path);
        size_t end = path.find_last_of(L'\\');
        size_t begin = path.find_last_of(L'\\', end - 1);
        EXPECT_EQ(path.substr(end + 1), L"PrintvaneUI.exe.mui\n");
        out.push_back(narrow(line.substr(0, at) + L" " + path.substr(begin + 1, end - begin - 1)));
    }
    return out;
}

} // namespace

// The folders tried beside the shipped modules, seen through the debugger,
// and the text of the module they end in. Where every attempt fails (en-US,
// which has no module), the English texts of the program's own serve; the
// order of the folders for every language: LanguageSearch in app_core.
TEST(LanguageSearch, AttemptsSeenByDebugger)
{
    const std::map<LANGID, std::vector<std::string>> expected = {
        {0x0409, {"FAILED en-US", "FAILED en", "FAILED en-US"}}, {0x0407, {"FAILED de-DE", "SUCCEEDED de"}},
        {0x0C07, {"FAILED de-AT", "SUCCEEDED de"}}, {0x0807, {"FAILED de-CH", "SUCCEEDED de"}},
        {0x0C0C, {"FAILED fr-CA", "SUCCEEDED fr"}}, {0x080C, {"FAILED fr-BE", "SUCCEEDED fr"}},
        {0x0411, {"FAILED ja-JP", "SUCCEEDED ja"}}, {0x0404, {"FAILED zh-TW", "SUCCEEDED zh-Hant"}},
        {0x1004, {"FAILED zh-SG", "SUCCEEDED zh-Hans"}},
    };
    auto it = expected.find(GetUserDefaultLangID());
    if (it == expected.end())
        GTEST_SKIP() << "no expectation for " << narrow(localeTag());
    const std::string& last = it->second.back();
    const std::wstring module = last.rfind("SUCCEEDED ", 0) == 0
        ? programFolder() + L"\\" + winkit::wide(last.substr(10)) + L"\\PrintvaneUI.exe.mui" : L"";
    BoxSeen seen = runBox(productProgram(), {L"-errmsg", L"x", L"24"}, L"errmsg_24");
    EXPECT_EQ(attemptsOf(seen.run.debugLines, programFolder()), it->second);
    EXPECT_EQ(seen.text, module.empty() ? kCanceledEnglish : resourceString(module, IDS_CANCELED));
}
