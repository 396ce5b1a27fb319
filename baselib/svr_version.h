// The library's version, platform and user-agent strings.
#pragma once

#include "baselib/svr_string.h"

namespace Solvaris {

// The library's build number.
const unsigned kBuildNumber = 35888;

// "<build>.<yyyymmdd>.<hhmmss>" of the moment the library was compiled,
// e.g. "35888.20160303.182043".
String getBuildVersionString();
// "Windows; Intel; Build <build version>".
String getPlatformString();
// "Quillon Base Library (<platform string>)", sent as the HTTP user agent.
String getUserAgentString();

namespace VersionDetail {
// The build version for compiler date and time texts in the forms of
// __DATE__ ("Mar  3 2016") and __TIME__ ("18:20:43"). Fields that cannot be
// read count as 0.
String buildVersion(const char* date, const char* time);
}  // namespace VersionDetail

}  // namespace Solvaris
