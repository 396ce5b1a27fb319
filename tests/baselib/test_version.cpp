#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "baselib/svr_version.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

TEST(Version, BuildVersionFromCompilerDateAndTime)
{
    struct Case { const char *date, *time, *expected; } cases[] = {
        {"Mar  3 2016", "18:20:43", "35888.20160303.182043"},
        {"Jan  1 2000", "00:00:00", "35888.20000101.000000"},
        {"Dec 31 1999", "23:59:59", "35888.19991231.235959"},
        {"Feb 29 2024", "12:34:56", "35888.20240229.123456"},
        // unreadable parts count as 0 rather than reading past the text
        {"???", "", "35888.00000000.000000"},
        {"", "1", "35888.00000000.010000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(VersionDetail::buildVersion(c.date, c.time)), c.expected) << c.date;
}

TEST(Version, StringsNestInsideEachOther)
{
    std::string build = str(getBuildVersionString());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(build, m, std::regex(R"(35888\.\d{4}(\d\d)(\d\d)\.(\d\d)\d{4})"))) << build;
    EXPECT_TRUE(std::stoi(m[1]) >= 1 && std::stoi(m[1]) <= 12) << build;   // month
    EXPECT_TRUE(std::stoi(m[2]) >= 1 && std::stoi(m[2]) <= 31) << build;   // day
    EXPECT_LT(std::stoi(m[3]), 24) << build;                                 // hour

    EXPECT_EQ(str(getPlatformString()), "Windows; Intel; Build " + build);
    EXPECT_EQ(str(getUserAgentString()), "Quillon Base Library (Windows; Intel; Build " + build + ")");
}
