#include <gtest/gtest.h>

#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"

using namespace Solvaris;

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
        try {
            t.parseDateString(c.text.c_str());
        } catch (const Exception&) {
        }
        EXPECT_EQ(t.seconds(), c.seconds) << c.text;
    }
}
