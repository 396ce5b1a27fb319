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
    // The compiler's own date and time: month, day and hour within range.
    std::string build = str(getBuildVersionString());
    EXPECT_TRUE(std::regex_match(build, std::regex(R"(35888\.\d{4}(0[1-9]|1[0-2])(0[1-9]|[12]\d|3[01])\.([01]\d|2[0-3])\d{4})")))
        << build;
    EXPECT_EQ(str(getPlatformString()), "Windows; Intel; Build " + build);
    EXPECT_EQ(str(getUserAgentString()), "Quillon Base Library (Windows; Intel; Build " + build + ")");
}
