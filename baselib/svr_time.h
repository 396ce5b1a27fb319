// Points in time as whole seconds since 1970-01-01 00:00:00 UTC, and the
// reading of the date texts that web servers send.
#pragma once

#include <cstdint>

#include "baselib/svr_string.h"

namespace Solvaris {

class Time {
public:
    Time() : m_seconds(0) {}
    explicit Time(int64_t secondsSince1970) : m_seconds(secondsSince1970) {}

    int64_t seconds() const { return m_seconds; }

    // Reads a date text, taken as UTC:
    //   "Sun, 06 Nov 1994 08:49:37 GMT"  (day name, day, month name, year,
    //                                     time, zone; the zone is ignored)
    //   "1994-11-06 08:49:37"
    //   "Sunday, 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994"
    //                                    (the older HTTP forms)
    // and, on Windows, what the system's HTTP date reader accepts of texts
    // that name a month and a time of day.
    // Fields must lie in year >= 1900, month 1-12, day 1-31, hour 0-23,
    // minute 0-59, second 0-60; a day past the month's end runs on into the
    // next month. Throws errOperationFailed when the text cannot be read or
    // names a time before 1970; the time is unchanged then.
    void parseDateString(const String& text);

    // The current time from the system clock.
    static Time now();

    bool operator==(const Time& o) const { return m_seconds == o.m_seconds; }
    bool operator!=(const Time& o) const { return m_seconds != o.m_seconds; }
    bool operator<(const Time& o) const { return m_seconds < o.m_seconds; }

private:
    int64_t m_seconds;
};

namespace TimeDetail {

// 1 to 12 for a three-letter English month name ("Jan" ... "Dec", any ASCII
// letter case), 0 for anything else.
int monthFromName(const char* name);

// Seconds since 1970 of a UTC calendar time. Fields outside their usual
// ranges carry over like the C run-time's UTC conversion does (day 31 of a
// 28-day February is 3 March; second 60 is the next minute's first second).
int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second);

// The system's own HTTP date reader (the third way of parseDateString).
// False when the system has none or it rejects the text, and when its result
// is not the one the text states (see textStatesTime).
bool systemHttpDate(const String& text, int64_t& secondsSince1970);

// Whether text names this year (as a run of digits of its own) and this time
// of day (as h:mm:ss or hh:mm:ss). The system's date reader fills what it
// cannot read from the current clock; a result that the text does not state
// came from there and is refused.
bool textStatesTime(const String& text, int year, int hour, int minute, int second);

// The system clock in seconds since 1970.
int64_t systemNow();

}  // namespace TimeDetail

}  // namespace Solvaris
