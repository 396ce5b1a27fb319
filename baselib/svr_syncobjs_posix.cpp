// Native stand-in: the recursive mutex of the C++ library.
#include "baselib/svr_syncobjs.h"

#include <mutex>

namespace Solvaris {

Mutex::Mutex() : m_section(new std::recursive_mutex()) {}

Mutex::~Mutex() {
    delete static_cast<std::recursive_mutex*>(m_section);
}

void Mutex::lock() {
    static_cast<std::recursive_mutex*>(m_section)->lock();
}

void Mutex::unlock() {
    static_cast<std::recursive_mutex*>(m_section)->unlock();
}

} // namespace Solvaris
