#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"
#include "baselib/svr_version.h"
#include "pv_version.h"
#include "support/test_kit.h"

using namespace Solvaris;
using namespace testkit;

namespace {

int64_t parsed(const std::string& text)
{
    Time t;
    t.parseDateString(String(text.data(), static_cast<int32_t>(text.size())));
    return t.seconds();
}

}  // namespace

// The ISO form "YYYY-MM-DD hh:mm:ss" over years 0-9999, with fields in and
// out of their ranges, is compared with a civil calendar by
// fuzz/fuzz_date.cpp; here are the other forms, their spellings and the
// limits.
TEST(TimeParse, ReadsEveryFormAsUtc)
{
    struct Case { std::string text; int64_t seconds; } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777}, {"Sun, 06 nov 1994 08:49:37 GMT", 784111777},
        {"Sun, 06 Nov 1994 08:49:37 " + std::string(200000, 'Z'), 784111777},   // endless zone stepped over
        {"Sun, 06 Nov 1994 08:49:37 GMT " + std::string(200000, '%'), 784111777},
        {"sun, 06 NOV 1994 08:49:37 PST", 784111777},   // zone ignored
        {"Sun, 06 Nov 1994 08:49:37", 784111777},       // zone may be missing
        {"Sun, 6 Nov 1994 8:49:37 GMT", 784111777},     // short numbers
        {"Xy,06 Nov    1994 08: 49:  37 GMT", 784111777},  // blanks before numbers
        {"  1994-11-06\t08:49:37 trailing words", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777}, {"Sunday, 06-Nov-1994 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777}, {"Thursday, 01-Jan-70 00:00:00 GMT", 0},
        {"Tuesday, 19-Jan-38 03:14:08 GMT", 2147483648LL},  // two digits: 2038
        // Days past the end of the month run on.
        {"Fri, 31 Feb 1995 00:00:00 GMT", 794188800},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsed(c.text), c.seconds) << c.text.substr(0, 60);
}

// Months and days outside their ranges carry (also backwards), even at the
// ends of the int range.
TEST(TimeParse, CalendarCarriesFieldsOutOfRange)
{
    EXPECT_EQ(TimeDetail::utcSeconds(1994, 13, 1, 0, 0, 0), TimeDetail::utcSeconds(1995, 1, 1, 0, 0, 0));
    EXPECT_EQ(TimeDetail::utcSeconds(1995, 0, 1, 0, 0, 0), TimeDetail::utcSeconds(1994, 12, 1, 0, 0, 0));
    EXPECT_EQ(TimeDetail::utcSeconds(1970, 1, 0, 0, 0, 0), -86400);
    EXPECT_LT(TimeDetail::utcSeconds(1970, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN), 0);
    EXPECT_GT(TimeDetail::utcSeconds(1970, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX), 0);
}

TEST(TimeParse, RejectsBadTextsAndKeepsTheTime)
{
    const std::string longDigits(100000, '7');
    const std::string hostile[] = {
        "Sun, 06 Foo 1994 08:49:37 GMT",   // month not in the table
        "Sun, 06 No 1994 08:49:37 GMT",
        "Sun, 06 Nov 1899 08:49:37 GMT",   // before 1900
        "1994-11-06 -1:00:00",
        "-001-11-06 08:49:37",             // a signed year is not a big one
        "1994-11-06 08:49",                // only five fields
        "Sunday, 06-Noo-94 08:49:37 GMT", "Sun Noo  6 08:49:37 1994",
        "Sunday, 06-Nov-94 24:49:37 GMT", "Sun Nov 32 08:49:37 1994",
        "Wed Jan  1 00:00:00 1969",
        "", "garbage", "%s%s%s%n", "1994/11/06 08:49:37",
        "Sun, " + longDigits,
        longDigits + "-11-06 08:49:37",
        std::string(50000, 'A') + ", 06 Nov 1994 08:49:37 GMT",
        std::string("1994-11-06\0 08:49:37", 20),  // ends at the NUL
    };
    for (const std::string& text : hostile) {
        SCOPED_TRACE(text.substr(0, 60));
        Time t(42);
        const std::string prefix = text.substr(0, text.find('\0'));
        EXPECT_TRUE(failsWith([&] { t.parseDateString(String(text.data(), static_cast<int32_t>(text.size()))); },
                              errOperationFailed, "parseDateString \"" + prefix + "\" could not be parsed.\n"));
        EXPECT_EQ(t.seconds(), 42);
    }
}

TEST(TimeNow, FollowsTheSystemClock)
{
    // 2020-01-01 as a floor: a clock reading of 0 or a wrong epoch fails.
    EXPECT_GT(Time::now().seconds(), 1577836800);
}

#if defined(_WIN32)
// Texts of none of the library's own forms go to the system's reader. That
// reader fills what it cannot find from the clock; texts that name no month
// or no time of day, or are far too long for a date, never reach it and so
// never come back as "now". It also answers "now" for a first word that is no
// day name, even when a month and a time of day follow.
TEST(TimeParseSystem, OtherShapesReachTheSystemReaderButGarbageIsNotNow)
{
    struct Case {
        std::string text;
        int64_t seconds;   // -1: rejected
    } cases[] = {
        {"Sun 06 Nov 1994 08:49:37 GMT", 784111777},
        {"garbage", -1},
        {"Nov 1994", -1},
        {"08:49:37", -1},
        {"12345", -1},
        {"Sun 06 Nov 1994 08:49:37 GMT" + std::string(200, ' '), -1},
        {"Nov 06 1994 08:49:37", -1},
        {"Xyz 06 Nov 1994 08:49:37 GMT", -1},
        // The year and the time of day must be stated as read, not filled in.
        {"Sun 06 Nov 1994 108:49:37", -1},
        {"Sun 06 Nov 1994 08:49:370", -1},
        {"Sun 06 Nov 1994 08:49", -1},
    };
    for (const Case& c : cases) {
        Time t(-1);
        EXPECT_NE(codeOf([&] { t.parseDateString(c.text.c_str()); }), -1) << "only the library's exception";
        EXPECT_EQ(t.seconds(), c.seconds) << c.text;
    }
}
#endif

// The build version is the build date (seconds since 1970, UTC) as a
// calendar date and time of day; the library's is that of the commit
// (PV_BUILD_EPOCH), never the compiler's clock.
TEST(BuildVersion, CalendarDateOfTheBuild)
{
    struct Case { int64_t seconds; const char* expected; } cases[] = {
        {1457029243, "35888.20160303.182043"}, {946684799, "35888.19991231.235959"}, {-5, "35888.19700101.000000"},
        {1709210096, "35888.20240229.123456"},   // a leap day
        {4107542400, "35888.21000301.000000"},   // 2100 is no leap year
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(VersionDetail::buildVersion(c.seconds)), c.expected) << c.seconds;
    EXPECT_EQ(str(getBuildVersionString()), str(VersionDetail::buildVersion(PV_BUILD_EPOCH)));
}
