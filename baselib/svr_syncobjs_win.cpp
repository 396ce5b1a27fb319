// The recursive mutex on a Windows critical section.
#include "baselib/svr_syncobjs.h"

#include <windows.h>

#include "baselib/svr_error.h"

namespace Solvaris {

Mutex::Mutex() : m_section(nullptr) {
    CRITICAL_SECTION* cs = static_cast<CRITICAL_SECTION*>(memAlloc(sizeof(CRITICAL_SECTION)));
    if (!cs)
        SVR_THROW(errOutOfMemory, "errOutOfMemory");
    InitializeCriticalSection(cs);
    m_section = cs;
}

Mutex::~Mutex() {
    CRITICAL_SECTION* cs = static_cast<CRITICAL_SECTION*>(m_section);
    DeleteCriticalSection(cs);
    memFree(cs);
}

void Mutex::lock() {
    EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
}

void Mutex::unlock() {
    LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
}

} // namespace Solvaris
