// The date reader on arbitrary text: it reads a time or throws
// errOperationFailed and leaves the time as it was. The first seven bytes
// also make a date of the ISO form "YYYY-MM-DD hh:mm:ss" with fields in and
// around their ranges, whose reading is compared with a civil calendar
// computed here: fields out of range and times before 1970 are refused,
// second 60 and days past a month's end run on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"

using namespace Solvaris;

namespace {

// Days from 1970-01-01 to the first of a month, counted one year and one
// month length at a time (proleptic Gregorian calendar).
int64_t daysToMonth(int year, int month) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t days = 0;
    for (int y = 1970; y < year; ++y)
        days += 365 + leap(y);
    for (int y = year; y < 1970; ++y)
        days -= 365 + leap(y);
    for (int m = 1; m < month; ++m)
        days += lengths[m - 1] + (m == 2 && leap(year));
    return days;
}

void checkIsoForm(const uint8_t* d) {
    const int year = (d[0] << 8 | d[1]) % 10000, month = d[2] % 15, day = d[3] % 34, hour = d[4] % 26,
              minute = d[5] % 62, second = d[6] % 63;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    int64_t want = -5;
    if (year >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 &&
        second <= 60) {
        int64_t seconds = (daysToMonth(year, month) + day - 1) * 86400 + hour * 3600 + minute * 60 + second;
        want = seconds >= 0 ? seconds : -5;
    }
    Time t(-5);
    try {
        t.parseDateString(text);
    } catch (const Exception&) {
    }
    if (t.seconds() != want) {
        std::fprintf(stderr, "\"%s\": read %lld, calendar %lld\n", text, (long long)t.seconds(), (long long)want);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    if (size >= 7)
        checkIsoForm(data);
    String text(reinterpret_cast<const char*>(data), int32_t(size));
    Time t(-5);
    try {
        t.parseDateString(text);
        if (t.seconds() < 0)
            std::abort();  // times before 1970 are refused
    } catch (const Exception& e) {
        if (e.code() != errOperationFailed || t.seconds() != -5)
            std::abort();
    }
    if (text.length() >= 3)
        TimeDetail::monthFromName(text.c_str());
    return 0;
}
