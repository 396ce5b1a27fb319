// The date reader on arbitrary text: it reads a time or throws
// errOperationFailed and leaves the time as it was.
#include <cstdint>
#include <cstdlib>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"

using namespace Solvaris;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
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
