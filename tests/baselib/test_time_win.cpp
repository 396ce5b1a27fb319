#include <gtest/gtest.h>

#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"
#include "text_helpers.h"

using namespace Solvaris;
using namespace text_helpers;

namespace {

bool parses(const char* text, int64_t& seconds)
{
    Time t(-1);
    try {
        t.parseDateString(text);
    } catch (const Exception&) {
        return false;
    }
    seconds = t.seconds();
    return true;
}

}  // namespace

// Texts of none of the library's own forms go to the system's reader.
TEST(TimeParseSystem, OtherShapesReachTheSystemReader)
{
    int64_t seconds = 0;
    ASSERT_TRUE(parses("Sun 06 Nov 1994 08:49:37 GMT", seconds));
    EXPECT_EQ(seconds, 784111777);
}

// That reader fills what it cannot find from the clock; texts that name no
// month or no time of day, or are far too long for a date, never reach it and
// so never come back as "now".
TEST(TimeParseSystem, GarbageIsNotTakenForNow)
{
    // The reader answers "now" for a first word that is no day name, even
    // when a month and a time of day follow.
    const std::string tooLong = "Sun 06 Nov 1994 08:49:37 GMT" + std::string(200, ' ');
    for (const std::string& text : {std::string("garbage"), std::string("Nov 1994"),
                                    std::string("08:49:37"), std::string("12345"), tooLong,
                                    std::string("Nov 06 1994 08:49:37"),
                                    std::string("Xyz 06 Nov 1994 08:49:37 GMT")}) {
        SCOPED_TRACE(text);
        int64_t seconds = 0;
        EXPECT_FALSE(parses(text.c_str(), seconds)) << seconds;
    }
}
