// Windows: reads go through the resource broker, writes through a rollback
// storage that replaces the file only on commit.
//
// The repository file is shared between processes (this program, the
// profile editor): a save holds the file alone for its few milliseconds, and
// a reader holds it against replacement while it reads. Opening it while
// another process does so fails with a sharing violation, which is waited
// out for a while here: otherwise a reader would take a good file for a
// damaged one (and a later save would set it aside), and a save would fail
// only because another one ran at the same moment.
#include "profile/djv_fileaccess.h"

#include <windows.h>

#include "baselib/svr_broker.h"
#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_heldfile_win.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_winutils.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

namespace {

const DWORD kSharingWaitMs = 3000;
const DWORD kSharingRetryMs = 5;

template <class Open>
auto waitingOutSharing(Open open) -> decltype(open()) {
    Solvaris_Win32::HeldFileRetry retry(kSharingWaitMs, kSharingRetryMs);
    for (;;) {
        try {
            return open();
        } catch (const PlatformException& e) {
            if (!retry.again(Solvaris_Win32::isFileHeldError(e.platformError())))
                throw;
        }
    }
}

} // namespace

bool fileExists(const String& path) {
    if (path.isEmpty())
        return false;
    DWORD attributes = GetFileAttributesW(path.c_wstr());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t modifiedTime(const String& path) {
    return waitingOutSharing([&] { return DiskStorage::create(path, accessRead, creationDefault, true); })
        ->getLastModified();
}

void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t* modified, uint64_t maxSize) {
    AutoPtr<Storage> storage = waitingOutSharing([&] { return getStorage(path); });
    const uint64_t size = storage->getSize();
    if (modified)
        *modified = storage->getLastModified();
    if (size > maxSize)
        SVR_THROW(errTooLarge, "File too large to read");
    bytes->clear();
    bytes->resize(uint32_t(size));
    if (size)
        storage->readBytes(bytes->data(), uint32_t(size), true);
}

void replaceFile(const String& path, const char* bytes, uint32_t size) {
    String full = _Svr_Internal_NS_::canonicalPath(path);
    if (full.isEmpty())
        full = path;
    AutoPtr<DiskStorageWithRollback> storage =
        waitingOutSharing([&] { return DiskStorageWithRollback::create(full, accessWrite, creationDefault); });
    storage->writeBytes(bytes, size);
    storage->commit();
}

// The content is copied, not the file: the copy gets the folder's access
// rules and none of the source's attributes (a read-only seed would make a
// repository that can never be saved).
bool copyFileIfAbsent(const String& from, const String& to) {
    try {
        SimpleArray<char> bytes;
        readWholeFile(from, &bytes, nullptr);
        AutoPtr<DiskStorageWithRollback> storage = DiskStorageWithRollback::create(to, accessWrite, createNew);
        if (bytes.count())
            storage->writeBytes(bytes.data(), bytes.count());
        storage->commit();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

String systemReservedDirectory() {
    return Solvaris_Win32::getSystemReservedDirectory();
}

String joinPath(const String& folder, const char* name) {
    return folder + String("/") + String(name);
}

} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
