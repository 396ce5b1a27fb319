// The language-identifier table and the order of the language module search.
#include "app/core/lcid_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A locale name as Windows writes them: letter groups and digit groups
// joined by '-', with the one traditional-sort suffix "_tradnl".
bool wellFormed(const char* name)
{
    std::string s(name);
    if (s.empty() || s.front() == '-' || s.back() == '-' || s.find("--") != std::string::npos)
        return false;
    size_t underscore = s.find('_');
    if (underscore != std::string::npos && s.substr(underscore) != "_tradnl")
        return false;
    for (size_t i = 0; i < (underscore == std::string::npos ? s.size() : underscore); ++i) {
        if (!std::isalnum(static_cast<unsigned char>(s[i])) && s[i] != '-')
            return false;
    }
    return std::islower(static_cast<unsigned char>(s[0])) != 0;
}

std::vector<std::string> namesOf(const std::vector<uint16_t>& ids)
{
    std::vector<std::string> out;
    for (uint16_t id : ids) {
        const char* n = localeNameOf(id);
        out.push_back(n ? n : "(none)");
    }
    return out;
}

} // namespace

TEST(LcidTable, IsSortedUniqueAndWellFormed)
{
    // The lookup searches by halves: an unsorted or doubled row would hide others.
    ASSERT_EQ(lcidTableSize(), 391u);
    const LcidName* t = lcidTable();
    for (size_t i = 0; i < lcidTableSize(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(wellFormed(t[i].name)) << t[i].name;
        if (i > 0) {
            EXPECT_LT(t[i - 1].id, t[i].id);
        }
        // Every row is found again through the lookup.
        EXPECT_STREQ(localeNameOf(t[i].id), t[i].name);
    }
}

TEST(LcidTable, LooksUpKnownAndUnknownIdentifiers)
{
    struct Case {
        uint16_t id;
        const char* name;   // nullptr: not in the table
    } cases[] = {
        {0x0409, "en-US"}, {0x0411, "ja-JP"}, {0x0004, "zh-Hans"}, {0x7C04, "zh-Hant"},
        {0x0009, "en"},    {0x0007, "de"},    {0x0407, "de-DE"},   {0x040C, "fr-FR"},
        {0x0804, "zh-CN"}, {0x0404, "zh-TW"}, {0x0C04, "zh-HK"},   {0x1004, "zh-SG"},
        {0x1404, "zh-MO"}, {0x040A, "es-ES_tradnl"}, {0x0C0A, "es-ES"}, {0x7C14, "nb"},
        {0x0001, "ar"},    {0x7C92, "ku-Arab"},
        // The smallest and largest identifiers bound the search on both sides.
        {0x0000, nullptr}, {0xFFFF, nullptr},
        // Placeholders that are not languages of their own.
        {0x0400, nullptr}, {0x0800, nullptr}, {0x007F, nullptr}, {0x0C00, nullptr},
        {0x1234, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const char* got = localeNameOf(c.id);
        if (c.name) {
            EXPECT_STREQ(got, c.name);
        } else {
            EXPECT_EQ(got, nullptr) << got;
        }
    }
}

TEST(LanguageSearch, NeutralIdentifiers)
{
    struct Case {
        uint16_t id, neutral;
    } cases[] = {
        // Chinese: the traditional-script regions and traditional Chinese itself...
        {0x0C04, 0x7C04}, {0x0404, 0x7C04}, {0x1404, 0x7C04}, {0x7C04, 0x7C04},
        // ...and every other Chinese identifier goes to simplified Chinese.
        {0x0804, 0x0004}, {0x1004, 0x0004}, {0x0004, 0x0004}, {0x7804, 0x0004}, {0x0104, 0x0004},
        // Other languages: the primary language.
        {0x0411, 0x0011}, {0x0407, 0x0007}, {0x0807, 0x0007}, {0x0409, 0x0009},
        {0x0009, 0x0009}, {0x0000, 0x0000}, {0xFFFF, 0x00FF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(neutralLanguageId(c.id), c.neutral);
    }
}

TEST(LanguageSearch, FoldersTriedInOrder)
{
    struct Case {
        uint16_t user;
        std::vector<std::string> folders;
    } cases[] = {
        {0x0407, {"de-DE", "de", "en-US"}},
        {0x0411, {"ja-JP", "ja", "en-US"}},
        {0x0C04, {"zh-HK", "zh-Hant", "en-US"}},
        {0x0404, {"zh-TW", "zh-Hant", "en-US"}},
        {0x1404, {"zh-MO", "zh-Hant", "en-US"}},
        {0x1004, {"zh-SG", "zh-Hans", "en-US"}},
        {0x0804, {"zh-CN", "zh-Hans", "en-US"}},
        {0x0409, {"en-US", "en", "en-US"}},
        // An identifier without a name still ends with US English.
        {0x12FE, {"(none)", "(none)", "en-US"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user);
        EXPECT_EQ(namesOf(languageSearchOrder(c.user)), c.folders);
    }
}
