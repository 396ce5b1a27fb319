// The language-identifier table and the order of the language module search.
#include "app/core/lcid_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(LcidTable, IsSortedAndUnique)
{
    // The lookup searches by halves: an unsorted or doubled row would hide
    // others.
    const LcidName* t = lcidTable();
    for (size_t i = 1; i < lcidTableSize(); ++i)
        EXPECT_LT(t[i - 1].id, t[i].id) << i;
    // Identifiers not in the table: the smallest and largest bound the
    // search on both sides; placeholders are no languages of their own.
    for (uint16_t id : {0x0000, 0xFFFF, 0x0400, 0x0800, 0x007F, 0x0C00, 0x1234})
        EXPECT_EQ(localeNameOf(id), nullptr) << id;
}

TEST(LanguageSearch, NeutralIdentifiersAndFoldersTriedInOrder)
{
    struct Case { uint16_t user; std::vector<std::string> folders; } cases[] = {
        {0x0407, {"de-DE", "de", "en-US"}}, {0x0411, {"ja-JP", "ja", "en-US"}}, {0x0409, {"en-US", "en", "en-US"}},
        // Chinese: the traditional-script regions go to traditional Chinese...
        {0x0C04, {"zh-HK", "zh-Hant", "en-US"}}, {0x0404, {"zh-TW", "zh-Hant", "en-US"}},
        {0x1404, {"zh-MO", "zh-Hant", "en-US"}},
        // ...and every other Chinese identifier to simplified Chinese.
        {0x1004, {"zh-SG", "zh-Hans", "en-US"}}, {0x0804, {"zh-CN", "zh-Hans", "en-US"}},
        // An identifier without a name still ends with US English.
        {0x12FE, {"(none)", "(none)", "en-US"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names;
        for (uint16_t id : languageSearchOrder(c.user)) {
            const char* n = localeNameOf(id);
            names.push_back(n ? n : "(none)");
        }
        EXPECT_EQ(names, c.folders) << c.user;
    }

    struct Neutral { uint16_t id, neutral; } neutrals[] = {
        {0x7C04, 0x7C04}, {0x0004, 0x0004}, {0x7804, 0x0004}, {0x0104, 0x0004},
        {0x0807, 0x0007}, {0x0009, 0x0009}, {0x0000, 0x0000}, {0xFFFF, 0x00FF},
    };
    for (const Neutral& c : neutrals)
        EXPECT_EQ(neutralLanguageId(c.id), c.neutral) << c.id;

    // A custom region format names no language: the display language counts.
    struct Chosen { uint16_t format, display, chosen; } chosen[] = {
        {0x1000, 0x0411, 0x0411}, {0x0C00, 0x0407, 0x0407}, {0x1400, 0x040C, 0x040C}, {0x0800, 0x0804, 0x0804},
        {0x0407, 0x0411, 0x0407}, {0x0809, 0x0407, 0x0809}, {0x7C04, 0x0409, 0x7C04},
    };
    for (const Chosen& c : chosen)
        EXPECT_EQ(moduleLanguage(c.format, c.display), c.chosen) << c.format;
}
