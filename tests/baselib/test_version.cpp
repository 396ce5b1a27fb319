#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "baselib/svr_version.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

TEST(Version, BuildVersionFromCompilerDateAndTime)
{
    struct Case {
        const char *date, *time, *expected;
    } cases[] = {
        {"Mar  3 2016", "18:20:43", "35888.20160303.182043"},
        {"Jan  1 2000", "00:00:00", "35888.20000101.000000"},
        {"Dec 31 1999", "23:59:59", "35888.19991231.235959"},
        {"Sep 10 2026", "07:05:09", "35888.20260910.070509"},
        {"Feb 29 2024", "12:34:56", "35888.20240229.123456"},
        // unreadable parts count as 0 rather than reading past the text
        {"???", "", "35888.00000000.000000"},
        {"", "1", "35888.00000000.010000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(str(VersionDetail::buildVersion(c.date, c.time)), c.expected);
    }
}

TEST(Version, StringsNestInsideEachOther)
{
    std::string build = str(getBuildVersionString());
    ASSERT_EQ(build.size(), 21u) << build;
    EXPECT_EQ(build.substr(0, 6), "35888.");
    EXPECT_EQ(build[14], '.');
    for (size_t i = 6; i < build.size(); ++i) {
        if (i != 14) {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(build[i]))) << build;
        }
    }
    int month = std::stoi(build.substr(10, 2));
    int day = std::stoi(build.substr(12, 2));
    EXPECT_TRUE(month >= 1 && month <= 12) << build;
    EXPECT_TRUE(day >= 1 && day <= 31) << build;
    EXPECT_LT(std::stoi(build.substr(15, 2)), 24) << build;

    EXPECT_EQ(str(getPlatformString()), "Windows; Intel; Build " + build);
    EXPECT_EQ(str(getUserAgentString()), "Quillon Base Library (Windows; Intel; Build " + build + ")");
}
