// Native stand-in: there is no system HTTP date reader, so only the library's
// own date forms are read; the clock is the C library's.
#include "baselib/svr_time.h"

#include <ctime>

namespace Solvaris {
namespace TimeDetail {

bool systemHttpDate(const String&, int64_t&)
{
    return false;
}

int64_t systemNow()
{
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace TimeDetail
}  // namespace Solvaris
