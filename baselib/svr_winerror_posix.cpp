// Stand-in for the native build, which has no Windows message tables: every
// value gets the text of an unknown error, and errno plays the last error.
#include "baselib/svr_winerror.h"

#include <cerrno>

namespace Solvaris {

String describeWin32Error(uint32_t win32Error)
{
    String result = WinErrorDetail::formatUnknown(win32Error);
    errno = static_cast<int>(win32Error);
    return result;
}

uint32_t lastPlatformError()
{
    return static_cast<uint32_t>(errno);
}

void setLastPlatformError(uint32_t win32Error)
{
    errno = static_cast<int>(win32Error);
}

}  // namespace Solvaris
