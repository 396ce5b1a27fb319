// Byte storages: the sequential stream, the random-access storage built on it,
// and the interfaces of its implementations (disk files, temporary files,
// files changed through a working copy, memory blocks).
//
// Storages are not synchronised: each one carries its own recursive mutex,
// which callers that share a storage between threads take with lock() and
// release with unlock(). Every failure is a Solvaris::Exception.
#pragma once

#include <cstdint>

#include "baselib/svr_array.h"
#include "baselib/svr_base.h"
#include "baselib/svr_string.h"
#include "baselib/svr_syncobjs.h"

namespace Solvaris {

class Storage;

// Progress of a stream copy: called with (context, 0, total) first and with
// (context, done, total) after every block; total is the requested byte
// count, 0 when the whole source is copied.
typedef void (*StreamProgressCallback)(void* context, uint64_t done, uint64_t total);

class Stream : public Referable, public Lockable {
public:
    ~Stream() override;

    // Reads up to count bytes at the current position and advances it by the
    // count read. With mustReadAll a shorter read throws (the code depends on
    // the storage); otherwise the count read is returned, 0 at the end.
    virtual uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) = 0;
    // Writes all count bytes at the current position and advances it.
    virtual void writeBytes(const void* buffer, uint32_t count) = 0;
    virtual void flushBuffer() {}
    // Whether the last read found the end (disk) or the position is at or
    // beyond the end (memory).
    virtual bool isEof() = 0;

    // Copies the rest of source into this stream in blocks of blockSize bytes
    // (at least 128). Returns the bytes copied.
    virtual uint64_t writeAllFrom(Stream* source, uint32_t blockSize = 0x10000,
                                  StreamProgressCallback progress = nullptr, void* context = nullptr);
    // Copies at most count bytes (all of the source when count is 0).
    virtual uint64_t writeFrom(Stream* source, uint64_t count, uint32_t blockSize = 0x10000,
                               StreamProgressCallback progress = nullptr, void* context = nullptr);

    // The stream's own mutex (recursive).
    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    Mutex m_mutex;
};

class Storage : public Stream {
public:
    virtual uint64_t getSize() = 0;
    virtual uint64_t getPos() = 0;
    // Prepares room for size bytes; a hint, no change of the contents.
    virtual void reserve(uint64_t size) {}
    // Positions may lie beyond the end; reading there gives nothing.
    virtual void setPos(uint64_t pos) = 0;
    // Position + offset; a result below 0 throws errInvalidParam.
    virtual void setPosRelative(int64_t offset) = 0;
    // Size + offset (offset 0 is the end, -1 the last byte); a result below 0
    // throws errInvalidParam.
    virtual void setPosFromEnd(int64_t offset) = 0;
    // Cuts or extends the storage at the current position.
    virtual void setEof() = 0;
    virtual String getName() = 0;
    // A new, independent storage object on the same data, at this one's
    // position.
    virtual AutoPtr<Storage> duplicate() = 0;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual uint64_t getLastModified() = 0;
};

// Reading at a given position without moving the storage's own position; a
// second interface of disk and memory storages (find it with dynamic_cast).
class BlockReadStorage {
public:
    virtual uint32_t readBytes(void* buffer, uint64_t position, uint32_t count, bool mustReadAll) = 0;
    virtual ~BlockReadStorage() {}

protected:
    // The sequential read of such a storage: a read at `pos`, which then
    // moves past what was read.
    template <class Position>
    uint32_t readOn(void* buffer, Position& pos, uint32_t count, bool mustReadAll) {
        const uint32_t n = readBytes(buffer, uint64_t(pos), count, mustReadAll);
        pos += n;
        return n;
    }
};

enum AccessMode {
    accessNone = 0,
    accessRead = 1,       // GENERIC_READ
    accessWrite = 2,      // GENERIC_WRITE
    accessReadWrite = 3,  // both
};

enum CreationMode {
    // Read-only access: openExisting; any access with write: createAlways.
    creationDefault = 0,
    openExisting = 1,
    openAlways = 2,
    createNew = 3,
    createAlways = 4,
    truncateExisting = 5,
};

// A Windows file. Readers share the file for reading; a writer holds it
// alone.
class DiskStorage : public Storage {
public:
    using Stream::lock;
    using Stream::unlock;

    // The Windows file handle (HANDLE).
    virtual void* getHandle() = 0;
    // Byte-range locks. A length of 0 means from offset to the end of the
    // 64-bit range. lock waits; tryLock returns false at once when someone
    // else holds part of the range.
    virtual void lock(uint64_t offset, uint64_t length, bool exclusive) = 0;
    virtual bool tryLock(uint64_t offset, uint64_t length, bool exclusive) = 0;
    virtual void unlock(uint64_t offset, uint64_t length) = 0;

    // Opens path (made absolute). When the open fails: a PlatformException
    // with throwOnFailure, else an empty handle.
    static AutoPtr<DiskStorage> create(const String& path, AccessMode access, CreationMode creation,
                                       bool throwOnFailure = true);
    // A nameless read-write scratch file in the temporary folder, gone when
    // the storage (and every duplicate) is released.
    static AutoPtr<DiskStorage> createTemp();
};

class StorageRollback {
public:
    // Makes every change since the last commit the file's content.
    virtual void commit() = 0;
    virtual ~StorageRollback() {}
};

// A file whose changes go to a working copy beside it until commit(), which
// puts the copy in the file's place in one step. Released without commit,
// the file keeps its content (a file that this storage created is removed).
// Cannot be duplicated.
class DiskStorageWithRollback : public DiskStorage, public StorageRollback {
public:
    // access: accessRead, accessWrite or accessReadWrite. creationDefault
    // means openExisting for reading, createAlways for writing and
    // openAlways for both. Throws errAlreadyExists (createNew on an existing
    // file), errNotFound (openExisting or truncateExisting on a missing one).
    static AutoPtr<DiskStorageWithRollback> create(const String& path, AccessMode access,
                                                   CreationMode creation = creationDefault);
};

// A growable block of bytes in memory (positions below 2^32).
class MemoryStorage : public Storage {
public:
    // The bytes themselves. Throws errOperationFailed when read-only.
    virtual SimpleArray<uint8_t>& getArray() = 0;
    virtual void setAllocationUnit(uint32_t unit) = 0;
    virtual void setReadOnly(bool readOnly) = 0;
    virtual bool ownsArray() = 0;
    // Copies a borrowed array into one of its own.
    virtual void makeArrayPrivate() = 0;
    // Keeps the storage that owns a shared array alive.
    virtual void setParent(const AutoPtr<Storage>& parent) = 0;

    // Empty, with its own array (128 bytes reserved).
    static AutoPtr<MemoryStorage> create();
    // On the caller's array, which must outlive the storage.
    static AutoPtr<MemoryStorage> create(SimpleArray<uint8_t>& array);
};

} // namespace Solvaris
