// The child of the repository save torture tests: saves versions of a
// repository file in a loop, until it is killed or COUNT saves are done.
//   repository_save_child TARGET WRITER FIRST-VERSION COUNT [READY-EVENT]
// Sets READY-EVENT after its first successful save. Exit code 0 when every
// save succeeded, 1 when one failed (reported on the error output).
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "repository_versions.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 && argc != 6)
        return 2;
    HANDLE ready = argc == 6 ? OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[5]) : nullptr;
    if (argc == 6 && !ready)
        return 3;
    const Solvaris::String target(argv[1]);
    const uint32_t writer = uint32_t(std::wcstoul(argv[2], nullptr, 10));
    const uint32_t first = uint32_t(std::wcstoul(argv[3], nullptr, 10));
    const uint32_t count = uint32_t(std::wcstoul(argv[4], nullptr, 10));
    try {
        for (uint32_t i = 0; i < count; ++i) {
            if (!repository_versions::saveVersion(target, writer, first + i)) {
                std::fprintf(stderr, "save of version %u failed\n", unsigned(first + i));
                return 1;
            }
            if (i == 0 && ready)
                SetEvent(ready);
        }
    } catch (const Solvaris::Exception& e) {
        std::fprintf(stderr, "%s", e.message().c_str());
        return 1;
    }
    return 0;
}
