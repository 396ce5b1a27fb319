#include "baselib/svr_version.h"

#include <cstring>

#include "baselib/svr_time.h"

namespace Solvaris {

namespace {

// The decimal value of the digits (and blanks, which pad the day) in
// text[from, from + count); stops early at the end of the text.
int numberAt(const char* text, size_t from, size_t count)
{
    size_t len = std::strlen(text);
    int value = 0;
    for (size_t i = from; i < from + count && i < len; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

namespace VersionDetail {

String buildVersion(const char* date, const char* time)
{
    char monthName[4] = {0};
    std::memcpy(monthName, date, strnlen(date, 3));
    unsigned month = unsigned(TimeDetail::monthFromName(monthName));
    int day = numberAt(date, 4, 2);
    int year = numberAt(date, 7, 4);
    int hour = numberAt(time, 0, 2);
    int minute = numberAt(time, 3, 2);
    int second = numberAt(time, 6, 2);
    return String::format("%u.%04d%02u%02d.%02d%02d%02d", kBuildNumber, year, month, day, hour,
                          minute, second);
}

}  // namespace VersionDetail

String getBuildVersionString()
{
    return VersionDetail::buildVersion(__DATE__, __TIME__);
}

String getPlatformString()
{
    return String::format("%s; %s; Build %s", "Windows", "Intel", getBuildVersionString().c_str());
}

String getUserAgentString()
{
    return String::format("Quillon Base Library (%s)", getPlatformString().c_str());
}

}  // namespace Solvaris
