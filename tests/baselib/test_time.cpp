#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

namespace {

int64_t parsed(const std::string& text)
{
    Time t;
    t.parseDateString(String(text.data(), static_cast<int32_t>(text.size())));
    return t.seconds();
}

}  // namespace

TEST(TimeParse, ReadsEveryFormAsUtc)
{
    struct Case { std::string text; int64_t seconds; } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sun, 06 Nov 1994 08:49:37 " + std::string(200000, 'Z'), 784111777},   // endless zone stepped over
        {"Sun, 06 Nov 1994 08:49:37 GMT " + std::string(200000, '%'), 784111777},
        {"1994-11-06 08:49:37", 784111777},
        {"Sun, 06 nov 1994 08:49:37 GMT", 784111777},
        {"sun, 06 NOV 1994 08:49:37 PST", 784111777},   // zone ignored
        {"Sun, 06 Nov 1994 08:49:37", 784111777},       // zone may be missing
        {"Sun, 6 Nov 1994 8:49:37 GMT", 784111777},     // short numbers
        {"Xy,06 Nov    1994 08: 49:  37 GMT", 784111777},  // blanks before numbers
        {"  1994-11-06\t08:49:37 trailing words", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-1994 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"Thursday, 01-Jan-70 00:00:00 GMT", 0},
        {"Tuesday, 19-Jan-38 03:14:08 GMT", 2147483648LL},  // two digits: 2038
        {"2000-02-29 12:00:00", 951825600},
        {"2038-01-19 03:14:08", 2147483648LL},          // past 32 bits
        {"9999-12-31 23:59:59", 253402300799LL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsed(c.text), c.seconds) << c.text.substr(0, 60);
}

TEST(TimeParse, DaysAndSecondsRunOnLikeTheUtcConversion)
{
    // Second 60 is the first second of the next minute; a day past the end
    // of the month runs into the next month; 2000 is a leap year, 2100 not.
    EXPECT_EQ(parsed("1994-11-06 08:49:60"), parsed("1994-11-06 08:50:00"));
    EXPECT_EQ(parsed("2016-12-31 23:59:60"), parsed("2017-01-01 00:00:00"));
    EXPECT_EQ(parsed("Fri, 31 Feb 1995 00:00:00 GMT"), 794188800);  // 3 March 1995
    EXPECT_EQ(parsed("2000-02-31 00:00:00"), parsed("2000-03-02 00:00:00"));
    EXPECT_EQ(parsed("2100-02-29 00:00:00"), parsed("2100-03-01 00:00:00"));
}

TEST(TimeParse, CalendarMatchesDayByMonthCount)
{
    // The first of every month from 1900 to 2500, counted on from 1900-01-01
    // (25567 days before 1970) one month length at a time.
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t days = -25567;
    for (int year = 1900; year <= 2500; ++year) {
        for (int month = 1; month <= 12; ++month) {
            ASSERT_EQ(TimeDetail::utcSeconds(year, month, 1, 7, 8, 9), days * 86400 + 7 * 3600 + 8 * 60 + 9)
                << year << "-" << month;
            days += kLengths[month - 1] + (month == 2 && leap(year));
        }
    }
    // Months and days outside their ranges carry (also backwards), even at
    // the ends of the int range.
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
        "1899-12-31 23:59:59",             // before 1900
        "Sun, 06 Nov 1899 08:49:37 GMT",
        "1969-12-31 23:59:59",             // before 1970: negative
        "1994-13-06 08:49:37", "1994-00-06 08:49:37", "1994-11-00 08:49:37", "1994-11-32 08:49:37",
        "1994-11-06 24:00:00", "1994-11-06 23:60:00", "1994-11-06 23:59:61", "1994-11-06 -1:00:00",
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
        try {
            t.parseDateString(String(text.data(), static_cast<int32_t>(text.size())));
            ADD_FAILURE() << "accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(e.code(), errOperationFailed);
            std::string prefix = text.substr(0, text.find('\0'));
            EXPECT_TRUE(endsWith(str(e.message()), "parseDateString \"" + prefix + "\" could not be parsed.\n\n"))
                << str(e.message());
        }
        EXPECT_EQ(t.seconds(), 42);
    }
}

TEST(TimeNow, FollowsTheSystemClock)
{
    // 2020-01-01 as a floor: a clock reading of 0 or a wrong epoch fails.
    Time a = Time::now();
    Time b = Time::now();
    EXPECT_GT(a.seconds(), 1577836800);
    EXPECT_LE(a.seconds(), b.seconds());
}

TEST(TimeParse, MutatedDatesEitherReadOrFailCleanly)
{
    // Valid dates with a few bytes replaced, inserted or removed: each must
    // give a time from 1970 on or the parse error, and leave the time alone
    // on error.
    const std::string bases[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06 08:49:37",
                                 "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"};
    const std::string alphabet = "0123456789:-, +NnoVvFebx%\t";
    std::mt19937 next(777);
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text = bases[next() % 4];
        for (uint32_t n = next() % 4; n > 0; --n) {
            size_t at = next() % (text.size() + 1);
            char c = alphabet[next() % alphabet.size()];
            switch (next() % 3) {
            case 0: if (at < text.size()) text[at] = c; break;
            case 1: text.insert(text.begin() + at, c); break;
            default: if (at < text.size()) text.erase(at, 1); break;
            }
        }
        Time t(-5);
        try {
            t.parseDateString(String(text.c_str()));
            ASSERT_GE(t.seconds(), 0) << text;
            ++accepted;
        } catch (const Exception& e) {
            ASSERT_EQ(e.code(), errOperationFailed) << text;
            ASSERT_EQ(t.seconds(), -5) << text;
            ++rejected;
        }
    }
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(rejected, 1000);
}
