// Counted objects, the owning handle, the process allocator and once-only
// initialisation: the pieces every other library unit rests on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Solvaris {

// Base of every shared object. The count starts at 0; the first AutoPtr that
// takes the object raises it to 1. release() destroys the object when the
// count drops from 1 to 0. Counting is atomic, so handles to one object may
// live on several threads.
void* memAlloc(size_t size);     // null on failure
void memFree(void* p);
size_t memSize(void* p);
// Overwrites n bytes with zeros in a way the compiler keeps even right before
// a free; memWipeAndFree then frees the block (null is allowed for both).
void memWipe(void* p, size_t n);
void memWipeAndFree(void* p, size_t n);

// Counted objects live in blocks of the process allocator; when it has no
// block, new throws errOutOfMemory.
struct AllocatedFromProcessHeap {
    static void* operator new(size_t size);
    static void operator delete(void* p) { memFree(p); }
    // Placement forms, for objects built in storage of their own.
    static void* operator new(size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};

class Referable : public AllocatedFromProcessHeap {
public:
    Referable() : m_refCount(0) {}
    virtual ~Referable() {}

    int32_t addRef() const { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    int32_t release() const {
        int32_t before = m_refCount.fetch_sub(1, std::memory_order_acq_rel);
        if (before == 1)
            delete this;
        return before - 1;
    }
    int32_t refCount() const { return m_refCount.load(std::memory_order_relaxed); }

    // A copy is a new object with a count of its own; assignment leaves the
    // count alone.
    Referable(const Referable&) : m_refCount(0) {}
    Referable& operator=(const Referable&) { return *this; }

private:
    mutable std::atomic<int32_t> m_refCount;
};

// Same contract without thread-safe counting, for objects that stay on one
// thread (the XML element tree and its parser).
class ReferableNoTS : public AllocatedFromProcessHeap {
public:
    ReferableNoTS() : m_refCount(0) {}
    virtual ~ReferableNoTS() {}

    int32_t addRef() const { return ++m_refCount; }
    int32_t release() const {
        int32_t before = m_refCount--;
        if (before == 1)
            delete this;
        return before - 1;
    }
    int32_t refCount() const { return m_refCount; }

    ReferableNoTS(const ReferableNoTS&) : m_refCount(0) {}
    ReferableNoTS& operator=(const ReferableNoTS&) { return *this; }

private:
    mutable int32_t m_refCount;
};

// Owning handle for a Referable or ReferableNoTS. Taking a pointer adds a
// reference, dropping it releases one. A null handle is allowed.
template <class T>
class AutoPtr {
public:
    AutoPtr() : m_p(nullptr) {}
    AutoPtr(T* p) : m_p(p) { if (m_p) m_p->addRef(); }
    AutoPtr(const AutoPtr& o) : m_p(o.m_p) { if (m_p) m_p->addRef(); }
    template <class U>
    AutoPtr(const AutoPtr<U>& o) : m_p(o.get()) { if (m_p) m_p->addRef(); }
    AutoPtr(AutoPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~AutoPtr() { if (m_p) m_p->release(); }

    // The new object gains its reference before the old one is released, so
    // assigning a handle that the old object owns is safe.
    AutoPtr& operator=(T* p) {
        if (p != m_p) {
            if (p) p->addRef();
            T* old = m_p;
            m_p = p;
            if (old) old->release();
        }
        return *this;
    }
    AutoPtr& operator=(const AutoPtr& o) { return *this = o.m_p; }
    AutoPtr& operator=(AutoPtr&& o) noexcept {
        if (this != &o) {
            T* old = m_p;
            m_p = o.m_p;
            o.m_p = nullptr;
            if (old) old->release();
        }
        return *this;
    }

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool operator==(const T* p) const { return m_p == p; }
    bool operator!=(const T* p) const { return m_p != p; }
    bool operator==(const AutoPtr& o) const { return m_p == o.m_p; }
    bool operator!=(const AutoPtr& o) const { return m_p != o.m_p; }
    void swap(AutoPtr& o) noexcept { T* t = m_p; m_p = o.m_p; o.m_p = t; }

private:
    T* m_p;
};

// Process-wide allocator. The built-in one uses the C run-time heap; the
// helpers below call the heap directly while it is in force.
class MemoryAllocator {
public:
    virtual void* allocate(size_t size) = 0;   // null on failure
    virtual void free(void* p) = 0;            // null is allowed
    virtual size_t getSize(void* p) = 0;       // usable size of a block
    virtual ~MemoryAllocator() {}
};

// The allocator in force, created on first use.
MemoryAllocator* getMemoryAllocator();

// Installs a replacement allocator (test hook: counting or failing
// allocators) and returns the previous replacement, null when the built-in
// one was in force; passing that value back restores it. A replacement must
// forward frees of blocks it did not make to the allocator it replaced
// (getMemoryAllocator() read before installing).
MemoryAllocator* setMemoryAllocator(MemoryAllocator* allocator);

// Once-only initialisation: the first caller that raises the counter from 0
// to 1 runs the initialiser and then sets the ready flag; every other caller
// yields its time slice until the flag is set. Should the initialiser throw,
// the counter returns to 0 so that a later caller tries again, and the
// exception passes on (waiting callers then take over instead of spinning).
struct OnceFlag {
    std::atomic<int32_t> counter{0};
    std::atomic<int32_t> ready{0};
};

void yieldTimeSlice();

template <class F>
void callOnce(OnceFlag& flag, F&& init) {
    for (;;) {
        if (flag.ready.load(std::memory_order_acquire))
            return;
        int32_t expected = 0;
        if (flag.counter.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
            try {
                init();
            } catch (...) {
                flag.counter.store(0, std::memory_order_release);
                throw;
            }
            flag.ready.exchange(1, std::memory_order_acq_rel);
            return;
        }
        yieldTimeSlice();
    }
}

} // namespace Solvaris
