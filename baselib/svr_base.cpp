// The process allocator, once-only initialisation and SimpleArray's
// allocation and failure paths.
#include "baselib/svr_base.h"

#include <malloc.h>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "baselib/svr_array.h"
#include "baselib/svr_error.h"

namespace Solvaris {

namespace _Svr_Internal_NS_ {

// The C run-time heap.
class BuiltinMemoryAllocator : public MemoryAllocator {
public:
    void* allocate(size_t size) override { return std::malloc(size ? size : 1); }
    void free(void* p) override { std::free(p); }
    size_t getSize(void* p) override {
        if (!p)
            return 0;
#if defined(_WIN32)
        return _msize(p);
#else
        return malloc_usable_size(p);
#endif
    }
};

namespace {
OnceFlag g_allocatorOnce;
alignas(BuiltinMemoryAllocator) unsigned char g_builtinStorage[sizeof(BuiltinMemoryAllocator)];
BuiltinMemoryAllocator* g_builtin = nullptr;
std::atomic<MemoryAllocator*> g_replacement{nullptr};

// The built-in allocator lives until the process ends (never destroyed, so
// that frees during static destruction still work).
BuiltinMemoryAllocator* builtin() {
    callOnce(g_allocatorOnce, [] { g_builtin = new (g_builtinStorage) BuiltinMemoryAllocator(); });
    return g_builtin;
}
} // namespace

void* simpleArrayAllocate(size_t elementSize, uint64_t count) {
    uint64_t bytes = uint64_t(elementSize) * count;
    if (count != 0 && bytes / count != elementSize)
        bytes = UINT64_MAX;
    if (bytes >= 0x80000000ull)
        SVR_THROW(errOperationFailed,
                  "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!");
    void* p = memAlloc(size_t(bytes));
    if (!p)
        SVR_THROW(errOutOfMemory, "SimpleArray: Out of memory!");
    return p;
}

void simpleArrayThrowRemoveRange() {
    SVR_THROW(errInvalidParam, "The range to remove is out of the array!");
}

void simpleArrayThrowInsertPos() {
    SVR_THROW(errInvalidParam, "inPos out of the array!");
}

} // namespace _Svr_Internal_NS_

using _Svr_Internal_NS_::builtin;
using _Svr_Internal_NS_::g_replacement;

MemoryAllocator* getMemoryAllocator() {
    MemoryAllocator* r = g_replacement.load(std::memory_order_acquire);
    return r ? r : builtin();
}

MemoryAllocator* setMemoryAllocator(MemoryAllocator* allocator) {
    return g_replacement.exchange(allocator, std::memory_order_acq_rel);
}

// While the built-in allocator is in force the heap is called directly.
void* memAlloc(size_t size) {
    MemoryAllocator* r = g_replacement.load(std::memory_order_acquire);
    if (!r)
        return std::malloc(size ? size : 1);
    return r->allocate(size);
}

void memFree(void* p) {
    if (!p)
        return;
    MemoryAllocator* r = g_replacement.load(std::memory_order_acquire);
    if (!r)
        std::free(p);
    else
        r->free(p);
}

void memWipe(void* p, size_t n) {
    if (!p || !n)
        return;
    std::memset(p, 0, n);
#if defined(__GNUC__)
    __asm__ __volatile__("" : : "r"(p) : "memory");
#else
    volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        v[i] = 0;
#endif
}

void memWipeAndFree(void* p, size_t n) {
    memWipe(p, n);
    memFree(p);
}

size_t memSize(void* p) {
    return getMemoryAllocator()->getSize(p);
}

void* AllocatedFromProcessHeap::operator new(size_t size) {
    // Library failures are all Solvaris::Exception, running out of memory
    // included.
    void* p = memAlloc(size);
    if (!p)
        SVR_THROW_CODE(errOutOfMemory);
    return p;
}

void yieldTimeSlice() {
    std::this_thread::yield();
}

} // namespace Solvaris
