#include "baselib/svr_version.h"

#include "pv_version.h"

namespace Solvaris {

const unsigned kBuildNumber = PV_VERSION_BUILD;

namespace VersionDetail {

String buildVersion(int64_t secondsSince1970)
{
    if (secondsSince1970 < 0)
        secondsSince1970 = 0;
    const int64_t days = secondsSince1970 / 86400;
    const int64_t secondOfDay = secondsSince1970 % 86400;
    // Civil date from a day count (the proleptic Gregorian calendar, in eras
    // of 400 years starting on 1 March).
    const int64_t z = days + 719468;
    const int64_t era = z / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = unsigned(dayOfYear - (153 * mp + 2) / 5 + 1);
    const unsigned month = unsigned(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    return String::format("%u.%04d%02u%02u.%02d%02d%02d", kBuildNumber, year, month, day,
                          int(secondOfDay / 3600), int(secondOfDay / 60 % 60), int(secondOfDay % 60));
}

}  // namespace VersionDetail

String getBuildVersionString()
{
    return VersionDetail::buildVersion(int64_t(PV_BUILD_EPOCH));
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
