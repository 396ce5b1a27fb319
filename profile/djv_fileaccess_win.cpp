// Windows: shared files are read without following links; a save replaces
// the repository through a working file that takes its place only when
// complete and only while the file is as the save read it.
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
#include <sddl.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "baselib/svr_broker.h"
#include "baselib/svr_error.h"
#include "baselib/svr_filereplace_win.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_handle_win.h"
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

FileStamp readStamped(const String& path, SimpleArray<char>* bytes) {
    bytes->clear();
    AutoPtr<DiskStorage> storage;
    try {
        // Opened without following links; a refused file reads as a failed open.
        storage = waitingOutSharing([&] { return _Svr_Internal_NS_::openSharedFileStorage(path); });
    } catch (const PlatformException& e) {
        if (e.platformError() == ERROR_FILE_NOT_FOUND || e.platformError() == ERROR_PATH_NOT_FOUND)
            return FileStamp();
        throw;
    }
    const uint64_t size = storage->getSize();
    if (size > kMaxReadSize)
        SVR_THROW(errTooLarge, "File too large to read");
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(storage->getHandle(), &info))
        SVR_THROW(errReadFailed, String::format("Cannot stamp %s", path.c_str()));
    bytes->resize(uint32_t(size));
    if (size)
        storage->readBytes(bytes->data(), uint32_t(size), true);
    const uint64_t written = (uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return stampOfBytes(bytes->data(), bytes->count(), written);
}

FileStamp stampOf(const String& path) {
    SimpleArray<char> bytes;
    return readStamped(path, &bytes);
}

void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t maxSize) {
    // Opened without following links; a refused file reads as a failed open.
    AutoPtr<DiskStorage> storage =
        waitingOutSharing([&] { return _Svr_Internal_NS_::openSharedFileStorage(path); });
    const uint64_t size = storage->getSize();
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
        readWholeFile(from, &bytes);
        AutoPtr<DiskStorageWithRollback> storage = DiskStorageWithRollback::create(to, accessWrite, createNew);
        if (bytes.count())
            storage->writeBytes(bytes.data(), bytes.count());
        storage->commit();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

namespace {

// Savers of one file are kept apart by a named mutex, not by a lock on the
// file itself. The file is replaced by renaming a working file over it, and
// Windows refuses that rename while any handle to the old file is open
// (the replace-over-open-handles form exists only on newer systems and
// file systems), so a lock held on the repository file cannot last until
// its replacement is in place; a lock file beside it would be one more name
// in a folder where every user may create files and links. The mutex lives
// in the kernel's global namespace (all sessions of a terminal server), is
// released by the system when its owner dies (the next waiter gets it
// "abandoned": the file is whole, since the replace is one rename), and is
// waited for only kSaveLockWaitMs: a user who holds it, or claims its name
// first, makes saves fail with a reason, never hang.
const wchar_t kSaveMutexSddl[] = L"D:(A;;0x00100001;;;WD)";   // everyone: SYNCHRONIZE | MUTEX_MODIFY_STATE

// One name per file, whatever spelling of the path a saver was given.
std::wstring saveMutexName(const String& path) {
    String full = _Svr_Internal_NS_::canonicalPath(path);
    std::wstring name(full.isEmpty() ? path.c_wstr() : full.c_wstr());
    if (!name.empty())
        CharUpperBuffW(&name[0], DWORD(name.size()));
    const uint64_t hash = hashBytes(name.data(), name.size() * sizeof(wchar_t));
    wchar_t text[80];
    swprintf(text, 80, L"Global\\PrintvaneProfileSave-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
             static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return text;
}

class SaveLock {
public:
    explicit SaveLock(const String& path) {
        Solvaris_Win32::LocalPtr<void> descriptor;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kSaveMutexSddl, SDDL_REVISION_1, descriptor.put(),
                                                                 nullptr))
            attributes.lpSecurityDescriptor = descriptor.get();
        const std::wstring name = saveMutexName(path);
        m_mutex.reset(CreateMutexW(&attributes, FALSE, name.c_str()));
        if (!m_mutex)
            m_mutex.reset(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
        if (!m_mutex)
            SVR_THROW_PLATFORM(errLockFailed, GetLastError(),
                               String::format("Cannot take the lock that keeps savers of %s apart", path.c_str()));
        const DWORD r = WaitForSingleObject(m_mutex.get(), kSaveLockWaitMs);
        if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED)
            SVR_THROW(errTimeout, String::format("Another program kept saving %s for %u seconds; nothing was written",
                                                 path.c_str(), unsigned(kSaveLockWaitMs / 1000)));
    }
    ~SaveLock() { ReleaseMutex(m_mutex.get()); }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

private:
    Solvaris_Win32::UniqueHandle m_mutex;
};

} // namespace

// The repository file as the replace reads it: opened without following
// links, and a hard-linked file refused (its content would be another
// user's file).
Solvaris_Win32::UniqueHandle openRepositoryFile(const std::wstring& path) {
    uint32_t error = 0;
    Solvaris_Win32::UniqueHandle file = Solvaris_Win32::openSharedFile(String(path.c_str()), GENERIC_READ,
                                                                        FILE_SHARE_READ, &error);
    if (!file)
        SetLastError(error);
    return file;
}

FileStamp stampOfWritten(const String& path, const std::string& content) {
    const Solvaris_Win32::UniqueHandle file = openRepositoryFile(std::wstring(path.c_wstr()));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return stampOf(path);
    const uint64_t written = (uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    FileStamp stamp = stampOfBytes(content.data(), content.size(), written);
    stamp.size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return stamp;
}

[[noreturn]] void throwReplaceFailed(DWORD error, const String& path) {
    SVR_THROW_PLATFORM(errWriteFailed, error, String::format("Cannot write %s", path.c_str()));
}

// Under the lock every saver of this machine waits for, the file is read and
// stamped, the new content decided from it, written to a working file beside
// it (with the old file's access list) and put in its place through the
// working file's handle, only if the stamp still holds: a writer that does
// not take the lock (an older program, a user's copy) is never overwritten
// unseen.
FileStamp replaceUnderSaveLock(const String& path, const SaveDecision& decide) {
    SaveLock lock(path);
    String canonical = _Svr_Internal_NS_::canonicalPath(path);
    const std::wstring full(canonical.isEmpty() ? path.c_wstr() : canonical.c_wstr());
    Solvaris_Win32::ReplacedFile old;
    Solvaris_Win32::HeldFileRetry retry(kSharingWaitMs, kSharingRetryMs);
    DWORD error;
    while ((error = Solvaris_Win32::readReplacedFile(full, openRepositoryFile, kMaxReadSize, old)) != ERROR_SUCCESS)
        if (!retry.again(Solvaris_Win32::isFileHeldError(error)))
            throwReplaceFailed(error, path);
    SimpleArray<char> bytes;
    bytes.resize(uint32_t(old.bytes.size()));
    if (!old.bytes.empty())
        std::memcpy(bytes.data(), old.bytes.data(), old.bytes.size());
    std::string content;
    if (!decide(old.stamp, bytes, &content))
        return old.stamp;
    {
        Solvaris_Win32::WorkingFile work(L"~wt");
        if ((error = work.write(full, content.data(), content.size(), old.security.get())) != ERROR_SUCCESS)
            throwReplaceFailed(error, path);
        switch (work.place(full, openRepositoryFile, old, retry)) {
        case Solvaris_Win32::WorkingFile::Placed::done: break;
        case Solvaris_Win32::WorkingFile::Placed::changed:
            SVR_THROW(errWriteFailed, String::format("%s was changed by a program that does not wait for other "
                                                     "savers; nothing was written", path.c_str()));
        case Solvaris_Win32::WorkingFile::Placed::failed: throwReplaceFailed(GetLastError(), path);
        }
    }
    // Stamped after the working file's handle is closed, so that no later
    // update of its times makes our own save look like another program's.
    return stampOfWritten(canonical.isEmpty() ? path : canonical, content);
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
