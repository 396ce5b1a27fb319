// The system's HTTP date reader and clock.
#include "baselib/svr_time.h"

#include <windows.h>
#include <winhttp.h>

namespace Solvaris {
namespace TimeDetail {

namespace {

// 100-nanosecond file-time ticks from 1601-01-01 to 1970-01-01.
const int64_t kFileTimeOf1970 = 116444736000000000LL;
const int64_t kTicksPerSecond = 10000000LL;

int64_t secondsOf(const FILETIME& ft)
{
    int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - kFileTimeOf1970) / kTicksPerSecond;
}

}  // namespace

bool systemHttpDate(const String& text, int64_t& secondsSince1970)
{
    SYSTEMTIME st;
    if (!WinHttpTimeToSystemTime(text.c_wstr(), &st))
        return false;
    // The reader answers the current time for texts it cannot read (a first
    // word that is no day name, for one): only a result the text states counts.
    if (!textStatesTime(text, st.wYear, st.wHour, st.wMinute, st.wSecond))
        return false;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    secondsSince1970 = secondsOf(ft);
    return true;
}

int64_t systemNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return secondsOf(ft);
}

}  // namespace TimeDetail
}  // namespace Solvaris
