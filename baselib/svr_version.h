// The library's version, platform and user-agent strings.
#pragma once

#include <cstdint>

#include "baselib/svr_string.h"

namespace Solvaris {

// The library's build number: the third field of the project's version.
extern const unsigned kBuildNumber;

// "<build>.<yyyymmdd>.<hhmmss>" of the build date (UTC), e.g.
// "35888.20160303.182043". The build date is the time of the commit the
// program was built from, so two builds of one commit say the same.
String getBuildVersionString();
// "Windows; Intel; Build <build version>".
String getPlatformString();
// "Quillon Base Library (<platform string>)", sent as the HTTP user agent.
String getUserAgentString();

namespace VersionDetail {
// The build version for a build date in seconds since 1970 (UTC); a date
// before 1970 counts as 1970-01-01 00:00:00.
String buildVersion(int64_t secondsSince1970);
}  // namespace VersionDetail

}  // namespace Solvaris
