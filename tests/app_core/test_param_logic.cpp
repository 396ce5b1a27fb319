// Window-free decisions of the page configuration dialog.
#include "app/core/param_logic.h"
#include "app/res/resource.h"

#include <gtest/gtest.h>

TEST(ParamLogic, ResultCodesAndWhatTheySave)
{
    EXPECT_EQ(confirmationResult(true), 1877);
    EXPECT_EQ(confirmationResult(false), 1);
    for (int code : {1, 1877})
        EXPECT_TRUE(resultSavesSettings(code)) << code;
    for (int code : {2, 1878, -1, 0})
        EXPECT_FALSE(resultSavesSettings(code)) << code;
}

TEST(ParamLogic, FirstPageOnlyChecksTheBoxAndAsksBeforeOverwriting)
{
    for (int page : {1, 2, 0, -1, 1000}) {
        EXPECT_EQ(sameConfigInitiallyChecked(page), page == 1) << page;
        EXPECT_EQ(needsOverwriteQuestion(page, true), page == 1) << page;
        EXPECT_FALSE(needsOverwriteQuestion(page, false)) << page;
    }
}

TEST(ParamLogic, EnableControlsOrderAndStates)
{
    const int order[] = {IDC_OUTPUT_FILE, IDC_BROWSE, IDC_PROFILE, IDC_EDIT_PROFILE, IDC_PREVIEW_FRAME,
                         IDC_PROPERTIES, IDC_SAME_CONFIG, 1, 2, 0};
    struct Case {
        bool flag;
        int page;
        bool outputFile, others;
    } cases[] = {
        {true, 1, true, true},
        {true, 2, false, true},
        {true, -1, false, true},
        {false, 1, false, false},
        {false, 2, false, false},
    };
    for (const Case& c : cases) {
        auto plan = enableControlsPlan(c.flag, c.page);
        for (size_t i = 0; i < plan.size(); ++i) {
            EXPECT_EQ(plan[i].id, order[i]) << "step " << i;
            bool expected = i < 2 ? c.outputFile : c.others;
            EXPECT_EQ(plan[i].enabled, expected) << "flag " << c.flag << " page " << c.page << " id " << plan[i].id;
        }
        for (const ControlState& s : plan)
            EXPECT_NE(s.id, IDC_SKIP_PAGE);
    }
}

TEST(ParamLogic, PropertyRowsComeFromTheCommandLineNumbers)
{
    auto rows = propertyRows(-3, -1, 3508, 300);
    EXPECT_EQ(rows[0].labelId, unsigned(IDS_ROW_PAGE));
    EXPECT_EQ(rows[0].formatId, unsigned(IDS_FMT_PAGE));
    EXPECT_EQ(int32_t(rows[0].args[0]), -3);
    EXPECT_EQ(rows[1].labelId, unsigned(IDS_ROW_IMAGE_SIZE));
    EXPECT_EQ(rows[1].argCount, 2u);
    EXPECT_EQ(rows[1].args[0], 4294967295u);
    EXPECT_EQ(rows[1].args[1], 3508u);
    EXPECT_EQ(rows[2].labelId, unsigned(IDS_ROW_RESOLUTION));
    EXPECT_EQ(rows[2].formatId, unsigned(IDS_FMT_RESOLUTION));
    EXPECT_EQ(rows[2].args[0], 300u);
}

TEST(ParamLogic, FileFilterBecomesNulSeparatedPairs)
{
    struct Case {
        std::wstring resource;
        std::vector<std::wstring> parts;
    } cases[] = {
        {L"DjVu File (*.djvu;*.djv)|*.djvu;*.djv|PDF File (*.pdf)|*.pdf|",
         {L"DjVu File (*.djvu;*.djv)", L"*.djvu;*.djv", L"PDF File (*.pdf)", L"*.pdf"}},
        {L"A|*.a", {L"A", L"*.a"}},   // missing final '|' still ends the list
        {L"", {}},
    };
    for (const Case& c : cases) {
        std::wstring f = fileFilterFromResource(c.resource);
        ASSERT_GE(f.size(), 2u);
        EXPECT_EQ(f.substr(f.size() - 2), std::wstring(2, L'\0'));
        std::vector<std::wstring> parts;
        for (const wchar_t* p = f.c_str(); *p; p += wcslen(p) + 1)
            parts.push_back(p);
        EXPECT_EQ(parts, c.parts);
    }
}

TEST(ParamLogic, ProfileSelectionMatchesExactlyOrTakesTheFirst)
{
    std::vector<std::wstring> names = {L"sdk_default", L"vjt300", L"vjt600"};
    EXPECT_EQ(profileSelection(names, L"vjt600"), 2);
    EXPECT_EQ(profileSelection(names, L"VJT600"), 0);   // letter case counts
    EXPECT_EQ(profileSelection(names, L"vjt60"), 0);
    EXPECT_EQ(profileSelection(names, L""), 0);
    EXPECT_EQ(profileSelection({}, L"vjt600"), -1);
    EXPECT_EQ(profileSelection({L"a", L"b", L"a"}, L"a"), 2);  // a later equal name wins
}
