// Window-free decisions of the configuration dialog: the save dialog's filter
// list and which profile the box selects.
#include "app/core/param_logic.h"

#include <gtest/gtest.h>

namespace {

// The entries of a NUL-separated list that ends with an empty entry (two
// NULs in a row), as the save dialog reads it; "<unterminated>" when the
// text runs out before that.
std::vector<std::wstring> filterEntries(const std::wstring& list)
{
    std::vector<std::wstring> out;
    size_t at = 0;
    for (;;) {
        size_t end = list.find(L'\0', at);
        if (end == std::wstring::npos)
            return {L"<unterminated>"};
        if (end == at)
            return out;
        out.push_back(list.substr(at, end - at));
        at = end + 1;
    }
}

} // namespace

TEST(ParamLogic, FilterListGivesPairsEndedByAnEmptyEntry)
{
    const std::wstring list = L"DjVu File (*.djvu;*.djv)|*.djvu;*.djv|MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)|*.mht|PDF File (*.pdf)|*.pdf";
    const std::vector<std::wstring> pairs = {L"DjVu File (*.djvu;*.djv)", L"*.djvu;*.djv",
                                             L"MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)", L"*.mht",
                                             L"PDF File (*.pdf)", L"*.pdf"};
    struct Case { const char* what; std::wstring resource; std::vector<std::wstring> entries; } cases[] = {
        {"the program's list", list + L"|", pairs},
        {"a translation without the final bar", list, pairs},
        {"a missing string", L"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filterEntries(fileFilterFromResource(c.resource)), c.entries) << c.what;
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
