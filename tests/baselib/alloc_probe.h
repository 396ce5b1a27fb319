// Test allocator for the foundation library: counts allocations and frees,
// can refuse allocations, and can check that blocks of chosen sizes are all
// zero when they are freed. It forwards to the allocator it replaces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "baselib/svr_base.h"

class AllocProbe : public Solvaris::MemoryAllocator {
public:
    AllocProbe() : m_forward(Solvaris::getMemoryAllocator()) { m_restore = Solvaris::setMemoryAllocator(this); }
    ~AllocProbe() override { Solvaris::setMemoryAllocator(m_restore); }

    void* allocate(size_t size) override {
        ++allocations;
        void* p = failAllocations || size > failAbove ? nullptr : m_forward->allocate(size);
        if (p)
            m_sizes[p] = size;
        return p;
    }
    void free(void* p) override {
        if (!p)
            return;
        ++frees;
        freed.insert(p);
        auto it = m_sizes.find(p);
        if (it != m_sizes.end() && watchedSizes.count(it->second)) {
            const unsigned char* b = static_cast<const unsigned char*>(p);
            nonZeroWatchedFrees += std::any_of(b, b + it->second, [](unsigned char c) { return c != 0; });
            ++watchedFrees;
        }
        if (it != m_sizes.end())
            m_sizes.erase(it);
        m_forward->free(p);
    }
    size_t getSize(void* p) override { return m_forward->getSize(p); }

    int allocations = 0;
    int frees = 0;
    bool failAllocations = false;
    size_t failAbove = SIZE_MAX;   // refuse only blocks larger than this
    std::set<void*> freed;
    std::set<size_t> watchedSizes;
    int watchedFrees = 0;
    int nonZeroWatchedFrees = 0;

private:
    Solvaris::MemoryAllocator* m_forward;
    Solvaris::MemoryAllocator* m_restore;
    std::map<void*, size_t> m_sizes;
};
