// Solvaris::SimpleArray: a growable array whose storage comes from the
// process allocator.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <new>
#include <utility>

#include "baselib/svr_base.h"
#include "baselib/svr_error.h"

namespace Solvaris {

namespace _Svr_Internal_NS_ {
// Allocates elementSize * count bytes through the process allocator. Throws
// errOperationFailed for blocks of 2^31 bytes or more, errOutOfMemory when the
// allocator returns null.
void* simpleArrayAllocate(size_t elementSize, uint64_t count);
[[noreturn]] void simpleArrayThrowRemoveRange();
[[noreturn]] void simpleArrayThrowInsertPos();
} // namespace _Svr_Internal_NS_

template <class T>
class SimpleArray {
public:
    SimpleArray() : m_items(nullptr), m_count(0), m_capacity(0) {}
    explicit SimpleArray(uint32_t capacity) : SimpleArray() { reserve(capacity); }
    SimpleArray(const SimpleArray& o) : SimpleArray() { append(o.m_items, o.m_count); }
    SimpleArray(SimpleArray&& o) noexcept : m_items(o.m_items), m_count(o.m_count), m_capacity(o.m_capacity) {
        o.m_items = nullptr;
        o.m_count = o.m_capacity = 0;
    }
    ~SimpleArray() { release(); }
    SimpleArray& operator=(const SimpleArray& o) {
        if (this != &o) {
            SimpleArray copy(o);
            swap(copy);
        }
        return *this;
    }
    SimpleArray& operator=(SimpleArray&& o) noexcept {
        SimpleArray moved(std::move(o));
        swap(moved);
        return *this;
    }

    uint32_t count() const { return m_count; }
    uint32_t size() const { return m_count; }
    uint32_t capacity() const { return m_capacity; }
    bool isEmpty() const { return m_count == 0; }
    T* data() { return m_items; }
    const T* data() const { return m_items; }
    T& operator[](uint32_t i) { return m_items[i]; }
    const T& operator[](uint32_t i) const { return m_items[i]; }
    T* begin() { return m_items; }
    T* end() { return m_items + m_count; }
    const T* begin() const { return m_items; }
    const T* end() const { return m_items + m_count; }

    void reserve(uint32_t n) {
        if (n > m_capacity)
            reallocate(n);
    }

    void append(const T& item) {
        if (m_count < m_capacity) {
            new (m_items + m_count) T(item);
            ++m_count;
        } else {
            // The item may live inside this array: copy it before growing.
            T copy(item);
            grow(uint64_t(m_count) + 1);
            new (m_items + m_count) T(std::move(copy));
            ++m_count;
        }
    }

    void append(const T* items, uint32_t n) { insert(m_count, items, n); }

    void insert(uint32_t pos, const T& item) { insert(pos, &item, 1); }

    // Inserts n items before pos (pos == count appends).
    void insert(uint32_t pos, const T* items, uint32_t n) {
        if (pos > m_count)
            _Svr_Internal_NS_::simpleArrayThrowInsertPos();
        if (n == 0)
            return;
        if (items >= m_items && items < m_items + m_count) {
            SimpleArray copy;
            copy.append(items, n);
            insert(pos, copy.m_items, n);
            return;
        }
        grow(uint64_t(m_count) + n);
        uint32_t old = m_count;
        if constexpr (std::is_trivially_copyable_v<T>) {
            std::memcpy(static_cast<void*>(m_items + m_count), items, size_t(n) * sizeof(T));
            m_count += n;
        } else {
            for (uint32_t i = 0; i < n; ++i) {
                new (m_items + m_count) T(items[i]);
                ++m_count;
            }
        }
        if (pos < old)
            std::rotate(m_items + pos, m_items + old, m_items + m_count);
    }

    // Removes n items from pos; the range must lie inside the array.
    void remove(uint32_t pos, uint32_t n = 1) {
        if (pos > m_count || n > m_count - pos)
            _Svr_Internal_NS_::simpleArrayThrowRemoveRange();
        std::move(m_items + pos + n, m_items + m_count, m_items + pos);
        destroy(m_count - n, m_count);
        m_count -= n;
    }

    // Grows with value-initialised items or shrinks to n items.
    void resize(uint32_t n) {
        if (n < m_count) {
            remove(n, m_count - n);
            return;
        }
        if (n == m_count)
            return;  // nothing to add (an empty array may have no block at all)
        grow(n);
        if constexpr (std::is_trivially_default_constructible_v<T> && std::is_trivially_copyable_v<T>) {
            // Value-initialised plain items are zero bytes: one fill instead
            // of a loop that reloads the count after every byte written.
            std::memset(static_cast<void*>(m_items + m_count), 0, size_t(n - m_count) * sizeof(T));
            m_count = n;
        } else {
            while (m_count < n) {
                new (m_items + m_count) T();
                ++m_count;
            }
        }
    }

    void clear() {
        destroy(0, m_count);
        m_count = 0;
    }

    void swap(SimpleArray& o) noexcept {
        std::swap(m_items, o.m_items);
        std::swap(m_count, o.m_count);
        std::swap(m_capacity, o.m_capacity);
    }

private:
    // Ends the lives of items [from, to). Plain items need no loop: a byte
    // array of a megabyte would otherwise take a megabyte of empty steps
    // wherever the compiler keeps the loop (instrumented builds).
    void destroy(uint32_t from, uint32_t to) {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (uint32_t i = from; i < to; ++i)
                m_items[i].~T();
        }
    }

    // Growth: at least double the capacity (8 items at first), never less
    // than needed; the block-size limit is checked by the allocation.
    void grow(uint64_t needed) {
        if (needed <= m_capacity)
            return;
        uint64_t cap = m_capacity ? uint64_t(m_capacity) * 2 : 8;
        if (cap < needed)
            cap = needed;
        const uint64_t limit = (uint64_t(0x7fffffff) / sizeof(T));
        if (cap > limit && needed <= limit)
            cap = limit;
        reallocate(cap);
    }

    void reallocate(uint64_t cap) {
        T* fresh = static_cast<T*>(_Svr_Internal_NS_::simpleArrayAllocate(sizeof(T), cap));
        if constexpr (std::is_trivially_copyable_v<T>) {
            if (m_count)
                std::memcpy(static_cast<void*>(fresh), m_items, size_t(m_count) * sizeof(T));
        } else {
            for (uint32_t i = 0; i < m_count; ++i) {
                new (fresh + i) T(std::move(m_items[i]));
                m_items[i].~T();
            }
        }
        memFree(m_items);
        m_items = fresh;
        m_capacity = uint32_t(cap);
    }

    void release() {
        clear();
        memFree(m_items);
        m_items = nullptr;
        m_capacity = 0;
    }

    T* m_items;
    uint32_t m_count;
    uint32_t m_capacity;
};

} // namespace Solvaris
