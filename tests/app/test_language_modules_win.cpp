// The language modules: attempts without a usable folder, and that each
// shipped module carries the whole string table with its inserts intact.
// That the texts fit their controls and keep their keyboard letters:
// DpiLayout (every module at every resolution). The folders tried
// for a user language: LanguageSearch in app_core (the order) and in e2e (the
// attempts of the real program, seen by a debugger).
#include "app/language.h"
#include "app/res/resource.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

using namespace uitest;

namespace {

// The shipped module folders: each language in its neutral folder.
const wchar_t* const kLocales[] = {L"ja", L"de", L"fr", L"zh-Hans", L"zh-Hant"};

// The program's own (English) string table: identifier and text. String
// block N holds the strings (N - 1) * 16 to N * 16 - 1.
using Strings = std::vector<std::pair<UINT, std::wstring>>;
BOOL CALLBACK addBlock(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR strings)
{
    const UINT first = (UINT(reinterpret_cast<uintptr_t>(name)) - 1) * 16;
    for (UINT id = first; id < first + 16; ++id)
        if (std::wstring text = resourceString(module, id); !text.empty())
            reinterpret_cast<Strings*>(strings)->emplace_back(id, text);
    return TRUE;
}

// Collects the attempts reported through the trace hook.
struct TraceLog {
    std::vector<std::wstring> lines;
    TraceLog() { setLanguageTraceHook(&TraceLog::add, this); }
    ~TraceLog() { setLanguageTraceHook(nullptr, nullptr); }
    static void add(const wchar_t* line, void* self) { static_cast<TraceLog*>(self)->lines.push_back(line); }
};

std::vector<std::wstring> insertsOf(const std::wstring& text)
{
    static const std::wregex insert(L"%[0-9]+(![a-z]+!)?");
    std::vector<std::wstring> out;
    for (std::wsregex_iterator it(text.begin(), text.end(), insert), end; it != end; ++it)
        out.push_back(it->str());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::wstring> splitBars(const std::wstring& text)
{
    std::vector<std::wstring> out(1);
    for (wchar_t c : text) {
        if (c == L'|')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

} // namespace

TEST(LanguageModules, AttemptsWithoutAUsableFolderFailQuietly)
{
    TraceLog log;
    // A bare file name has no folder to look in.
    EXPECT_EQ(tryLanguageModule(0x0409, L"app.exe"), nullptr);
    EXPECT_EQ(tryLanguageModule(0x0409, L""), nullptr);
    EXPECT_EQ(tryLanguageModule(0x0409, L"C:\\folder\\"), nullptr);
    EXPECT_TRUE(log.lines.empty());
    // A path far beyond the classic 260 characters is reported whole, not cut.
    std::wstring deep = buildFolder() + L"\\" + std::wstring(300, L'x') + L"\\app.exe";
    EXPECT_EQ(tryLanguageModule(0x0411, deep), nullptr);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], L"FAILED: Trying to load: " + buildFolder() + L"\\" + std::wstring(300, L'x') +
                                L"\\ja-JP\\app.exe.mui\n");
    // An identifier without a locale name loads nothing and is reported with
    // the locale part empty.
    EXPECT_EQ(tryLanguageModule(0x0FFF, programFolder() + L"\\PrintvaneUI.exe"), nullptr);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[1], L"FAILED: Trying to load: " + programFolder() + L"\\\\PrintvaneUI.exe.mui\n");
}

TEST(LanguageModules, CarryWholeStringTableWithInsertsIntact)
{
    HMODULE own = GetModuleHandleW(nullptr);
    Strings english;
    EnumResourceNamesW(own, MAKEINTRESOURCEW(6) /* RT_STRING */, addBlock, reinterpret_cast<LONG_PTR>(&english));
    ASSERT_GE(english.size(), 28u);
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        const std::wstring module = programFolder() + L"\\" + locale + L"\\PrintvaneUI.exe.mui";
        ASSERT_EQ(resourceString(module, IDS_DEFAULT_EXT), L"djvu") << "missing " << narrow(module);
        for (const auto& [id, text] : english) {
            SCOPED_TRACE(id);
            std::wstring translated = resourceString(module, id);
            EXPECT_FALSE(translated.empty());
            EXPECT_EQ(insertsOf(translated), insertsOf(text)) << narrow(translated);
        }
        // The file filter keeps its structure: the same patterns in the same
        // places, display names in between, and the closing bar.
        std::vector<std::wstring> filter = splitBars(resourceString(own, IDS_FILE_FILTER));
        std::vector<std::wstring> translated = splitBars(resourceString(module, IDS_FILE_FILTER));
        ASSERT_EQ(translated.size(), filter.size());
        for (size_t i = 0; i < filter.size(); ++i) {
            if (i % 2 == 1 || i + 1 == filter.size())
                EXPECT_EQ(translated[i], filter[i]) << i;
            else
                EXPECT_FALSE(translated[i].empty()) << i;
        }
        EXPECT_NE(resourceString(module, IDS_CANCELED), resourceString(own, IDS_CANCELED));
    }
}
