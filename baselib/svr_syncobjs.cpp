// Destruction of process-wide objects at exit, in reverse order of creation.
#include "baselib/svr_syncobjs.h"

#include <cstdlib>
#include <mutex>
#include <vector>

namespace Solvaris {
namespace _Svr_Internal_NS_ {

namespace {

struct AtExitEntry {
    void (*destroy)(void*);
    void* object;
};

// Built on first use and never destroyed, so that it outlives every static
// object that might still register.
struct AtExitList {
    std::mutex mutex;
    std::vector<AtExitEntry> entries;
    bool hooked = false;
};

AtExitList& atExitList() {
    static AtExitList* list = new AtExitList();
    return *list;
}

void runAtExit() {
    AtExitList& list = atExitList();
    for (;;) {
        AtExitEntry e;
        {
            std::lock_guard<std::mutex> guard(list.mutex);
            if (list.entries.empty())
                return;
            e = list.entries.back();
            list.entries.pop_back();
        }
        e.destroy(e.object);
    }
}

} // namespace

void registerAtExit(void (*destroy)(void*), void* object) {
    AtExitList& list = atExitList();
    std::lock_guard<std::mutex> guard(list.mutex);
    list.entries.push_back({destroy, object});
    if (!list.hooked) {
        list.hooked = true;
        std::atexit(runAtExit);
    }
}

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
