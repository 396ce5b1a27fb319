// Solvaris::MemoryStorage: a storage on a growable byte array, its own or one
// it borrows. Positions are 32-bit; the array stays below 2 GiB.
#include <cstdint>
#include <cstring>

#include "baselib/svr_error.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_time.h"

namespace Solvaris {

namespace {
// The largest array a SimpleArray of bytes can hold.
const uint64_t kMaxArrayBytes = 0x7fffffffu;
} // namespace

class MemoryStorageImpl : public MemoryStorage, public BlockReadStorage {
public:
    MemoryStorageImpl() : m_array(&m_own), m_owns(true) { m_own.reserve(128); }
    explicit MemoryStorageImpl(SimpleArray<uint8_t>& array) : m_array(&array), m_owns(false) {}
    ~MemoryStorageImpl() override {}

    using MemoryStorage::lock;
    using MemoryStorage::unlock;

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override {
        return readOn(buffer, m_pos, count, mustReadAll);
    }

    uint32_t readBytes(void* buffer, uint64_t position, uint32_t count, bool mustReadAll) override {
        uint32_t size = m_array->count();
        if (count == 0)
            return 0;
        if (position >= size) {
            if (mustReadAll)
                SVR_THROW(errOperationFailed, "Current position exceeds the storage end!");
            return 0;
        }
        uint32_t left = size - uint32_t(position);
        if (left < count) {
            if (mustReadAll)
                SVR_THROW(errOperationFailed, "No more data!");
            count = left;
        }
        std::memcpy(buffer, m_array->data() + position, count);
        return count;
    }

    void writeBytes(const void* buffer, uint32_t count) override {
        if (m_readOnly)
            SVR_THROW(errWriteFailed, "The instance is read-only!");
        if (count == 0)
            return;
        prepareForChange();
        uint64_t end = uint64_t(m_pos) + count;
        if (end > m_array->count())
            growTo(end);
        std::memcpy(m_array->data() + m_pos, buffer, count);
        m_modified = true;
        m_pos = uint32_t(end);
    }

    void flushBuffer() override { takeModification(); }
    bool isEof() override { return m_pos >= m_array->count(); }
    uint64_t getSize() override { return m_array->count(); }
    uint64_t getPos() override { return m_pos; }

    void reserve(uint64_t size) override {
        throwIfReadOnly();
        if (size > kMaxArrayBytes)
            throwTooLarge();
        prepareForChange();
        m_array->reserve(uint32_t(size));
    }

    void setPos(uint64_t pos) override {
        if (pos > 0xffffffffu)
            SVR_THROW_CODE(errInvalidParam);
        m_pos = uint32_t(pos);
    }
    void setPosRelative(int64_t offset) override { setPosChecked(m_pos, offset); }
    void setPosFromEnd(int64_t offset) override { setPosChecked(m_array->count(), offset); }

    void setEof() override {
        throwIfReadOnly();
        prepareForChange();
        if (m_pos > m_array->count())
            growTo(m_pos);
        else
            m_array->resize(m_pos);
        m_modified = true;
    }

    String getName() override {
        return String::format("MemoryStorage %llXh", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }

    // A read-only storage is shared: the duplicate borrows its array and
    // keeps it alive, and copies the bytes before its first change. A
    // writable storage is copied at once.
    AutoPtr<Storage> duplicate() override {
        AutoPtr<MemoryStorageImpl> copy;
        if (m_readOnly) {
            copy = new MemoryStorageImpl(*m_array);
            copy->m_parent = this;
        } else {
            copy = new MemoryStorageImpl();
            copy->m_own = *m_array;
        }
        copy->m_pos = m_pos;
        copy->m_lastModified = m_lastModified;
        return AutoPtr<Storage>(copy);
    }

    uint64_t getLastModified() override {
        takeModification();
        return m_lastModified;
    }

    SimpleArray<uint8_t>& getArray() override {
        throwIfReadOnly();
        prepareForChange();
        return *m_array;
    }
    void setAllocationUnit(uint32_t) override { throwIfReadOnly(); }
    void setReadOnly(bool readOnly) override { m_readOnly = readOnly; }
    bool ownsArray() override { return m_owns; }

    void makeArrayPrivate() override {
        if (m_owns)
            return;
        SimpleArray<uint8_t> copy(*m_array);
        m_own.swap(copy);
        m_array = &m_own;
        m_owns = true;
        m_parent = nullptr;
    }

    void setParent(const AutoPtr<Storage>& parent) override { m_parent = parent; }

private:
    void throwIfReadOnly() {
        if (m_readOnly)
            SVR_THROW(errOperationFailed, "The instance is read-only!");
    }

    [[noreturn]] void throwTooLarge() {
        SVR_THROW(errOutOfMemory, "MemoryStorage: the size exceeds 2 GiB!");
    }

    // An array borrowed from a parent storage is copied before it changes,
    // so that the parent (and its other duplicates) keep their bytes.
    void prepareForChange() {
        if (!m_owns && m_parent)
            makeArrayPrivate();
    }

    // Grows the array to size bytes (new bytes are zero). The block becomes
    // size + max(size, 128) bytes when the current one is too small, capped
    // at the largest array; a size beyond it throws before anything changes.
    void growTo(uint64_t size) {
        if (size > kMaxArrayBytes)
            throwTooLarge();
        if (size > m_array->capacity()) {
            uint64_t capacity = size + (size > 128 ? size : 128);
            if (capacity > kMaxArrayBytes)
                capacity = kMaxArrayBytes;
            m_array->reserve(uint32_t(capacity));
        }
        m_array->resize(uint32_t(size));
    }

    // base + offset, which must lie in 0 .. 2^32 - 1 (computed without
    // overflow for any offset).
    void setPosChecked(uint64_t base, int64_t offset) {
        uint64_t result;
        if (offset >= 0) {
            if (uint64_t(offset) > 0xffffffffu - base)
                SVR_THROW_CODE(errInvalidParam);
            result = base + uint64_t(offset);
        } else {
            uint64_t back = uint64_t(-(offset + 1)) + 1;
            if (back > base)
                SVR_THROW_CODE(errInvalidParam);
            result = base - back;
        }
        m_pos = uint32_t(result);
    }

    void takeModification() {
        if (m_modified) {
            m_modified = false;
            m_lastModified = uint64_t(Time::now().seconds());
        }
    }

    SimpleArray<uint8_t> m_own;
    SimpleArray<uint8_t>* m_array;
    bool m_owns;
    uint32_t m_pos = 0;
    bool m_readOnly = false;
    bool m_modified = false;
    uint64_t m_lastModified = uint64_t(Time::now().seconds());
    AutoPtr<Storage> m_parent;
};

AutoPtr<MemoryStorage> MemoryStorage::create() {
    return AutoPtr<MemoryStorage>(new MemoryStorageImpl());
}

AutoPtr<MemoryStorage> MemoryStorage::create(SimpleArray<uint8_t>& array) {
    return AutoPtr<MemoryStorage>(new MemoryStorageImpl(array));
}

} // namespace Solvaris
