// Windows: reads go through the resource broker, writes through a rollback
// storage that replaces the file only on commit.
#include "profile/djv_fileaccess.h"

#include <windows.h>

#include "baselib/svr_broker.h"
#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_winutils.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

bool fileExists(const String& path) {
    if (path.isEmpty())
        return false;
    DWORD attributes = GetFileAttributesW(path.c_wstr());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint64_t modifiedTime(const String& path) {
    return DiskStorage::create(path, accessRead, creationDefault, true)->getLastModified();
}

void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t* modified) {
    AutoPtr<Storage> storage = getStorage(path);
    const uint64_t size = storage->getSize();
    if (size > kMaxReadSize)
        SVR_THROW(errTooLarge, "File too large to read");
    if (modified)
        *modified = storage->getLastModified();
    bytes->clear();
    bytes->resize(uint32_t(size));
    if (size)
        storage->readBytes(bytes->data(), uint32_t(size), true);
}

void replaceFile(const String& path, const String& text) {
    String full = _Svr_Internal_NS_::canonicalPath(path);
    if (full.isEmpty())
        full = path;
    AutoPtr<DiskStorageWithRollback> storage = DiskStorageWithRollback::create(full, accessWrite, creationDefault);
    storage->writeBytes(text.c_str(), text.length());
    storage->commit();
}

bool copyFileIfAbsent(const String& from, const String& to) {
    return CopyFileW(from.c_wstr(), to.c_wstr(), TRUE) != FALSE;
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
