// The child of the rollback crash test: commits versions of a file in a loop
// until it is killed. A small program of its own, so that the hundreds of
// starts the test needs stay cheap under emulation.
//   rollback_crash_child TARGET READY-EVENT FIRST-VERSION
// Sets READY-EVENT after its first commit.
#include <windows.h>

#include <cwchar>

#include "baselib/rollback_versions.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4)
        return 2;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!ready)
        return 3;
    Solvaris::String target(argv[1]);
    uint32_t n = uint32_t(std::wcstoul(argv[3], nullptr, 10));
    try {
        rollback_versions::commitVersion(target, n);
        SetEvent(ready);
        for (uint32_t i = 1; i < 1000000; ++i)
            rollback_versions::commitVersion(target, n + i);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s", e.what());
        return 1;
    }
    return 0;
}
