// Solvaris::DiskStorageWithRollback: changes go to a working file beside the
// target until commit() renames the working file over the target in one
// step. Whatever happens (a failed commit, a killed process, a full disk),
// the target holds either its old content or the committed one.
#include <windows.h>

#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_winerror.h"

namespace Solvaris {

using namespace _Svr_Internal_NS_;

class DiskStorageWithRollbackImpl : public DiskStorageWithRollback {
public:
    enum State { stateReadOnly, stateKeepContent, stateStartEmpty, stateCreated };

    DiskStorageWithRollbackImpl(const String& path, AccessMode access, CreationMode creation);
    ~DiskStorageWithRollbackImpl() override;

    using DiskStorage::lock;
    using DiskStorage::unlock;

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override {
        return active()->readBytes(buffer, count, mustReadAll);
    }
    void writeBytes(const void* buffer, uint32_t count) override {
        startChanging();
        active()->writeBytes(buffer, count);
    }
    void flushBuffer() override { active()->flushBuffer(); }
    bool isEof() override { return active()->isEof(); }
    uint64_t getSize() override { return active()->getSize(); }
    uint64_t getPos() override { return active()->getPos(); }
    void reserve(uint64_t size) override { active()->reserve(size); }
    void setPos(uint64_t pos) override { active()->setPos(pos); }
    void setPosRelative(int64_t offset) override { active()->setPosRelative(offset); }
    void setPosFromEnd(int64_t offset) override { active()->setPosFromEnd(offset); }
    void setEof() override {
        startChanging();
        active()->setEof();
    }
    String getName() override { return m_targetPath; }
    AutoPtr<Storage> duplicate() override {
        SVR_THROW(errInvalidOperation, "DiskStorageWithRollback: could not duplicate the storage!");
    }
    uint64_t getLastModified() override { return active()->getLastModified(); }
    void* getHandle() override { return active()->getHandle(); }
    void lock(uint64_t offset, uint64_t length, bool exclusive) override { active()->lock(offset, length, exclusive); }
    bool tryLock(uint64_t offset, uint64_t length, bool exclusive) override {
        return active()->tryLock(offset, length, exclusive);
    }
    void unlock(uint64_t offset, uint64_t length) override { active()->unlock(offset, length); }

    void commit() override;

private:
    DiskStorage* active();
    AutoPtr<DiskStorage> openTarget(uint32_t* error);
    void startChanging();
    void createWorkingFile(bool copyTarget);
    bool replaceTarget();

    AutoPtr<DiskStorage> m_active;
    AutoPtr<DiskStorage> m_target;
    String m_targetPath;
    String m_workPath;
    State m_state;
    AccessMode m_access;
    uint64_t m_savedPos = 0;
};

namespace {

[[noreturn]] void throwWin32(DWORD error, const String& what, int line) {
    throw win32CallException(error, what.c_str(), __FILE__, line);
}
#define THROW_WIN32(error, what) throwWin32((error), (what), __LINE__)

bool isMissing(uint32_t error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The folder part of a full path, with its trailing separator.
String folderOf(const String& path) {
    uint32_t slash = path.rfind('\\');
    return slash == kNotFound ? String() : path.substring(0, slash + 1);
}

} // namespace

DiskStorageWithRollbackImpl::DiskStorageWithRollbackImpl(const String& path, AccessMode access,
                                                         CreationMode creation)
    : m_state(stateReadOnly), m_access(access) {
    if (access != accessRead && access != accessWrite && access != accessReadWrite)
        SVR_THROW_CODE(errInvalidParam);
    if (unsigned(creation) > truncateExisting)
        SVR_THROW_CODE(errInvalidParam);
    if (creation == creationDefault)
        creation = access == accessRead ? openExisting : access == accessWrite ? createAlways : openAlways;
    if (access == accessRead && creation != openExisting)
        SVR_THROW_CODE(errInvalidParam);
    m_targetPath = absolutePath(path);
    if (m_targetPath.isEmpty())
        SVR_THROW_CODE(errOperationFailed);

    if (access == accessRead) {
        m_target = DiskStorage::create(m_targetPath, accessRead, openExisting, true);
        m_active = m_target;
        return;
    }

    // The target is held open, for reading and writing, by this storage
    // alone until it is released; a file that cannot be written is still
    // read (its commit then fails and leaves it as it is).
    uint32_t error = 0;
    m_target = openTarget(&error);
    if (!m_target && !isMissing(error)) {
        uint32_t readError = 0;
        m_target = openDiskStorage(m_targetPath, accessRead, openExisting, &readError);
        if (!m_target)
            THROW_WIN32(error, "CreateFileW");
    }

    if (!m_target) {
        if (creation == openExisting || creation == truncateExisting)
            SVR_THROW_CODE(errNotFound);
        AutoPtr<DiskStorage> created = DiskStorage::create(m_targetPath, accessReadWrite, createNew, true);
        created = nullptr;
        m_state = stateCreated;
        m_target = openTarget(&error);
        if (!m_target) {
            DeleteFileW(m_targetPath.c_wstr());
            THROW_WIN32(error, "CreateFileW");
        }
        // The new file is the working file: released without commit, it is
        // removed again.
        m_workPath = m_targetPath;
        m_active = m_target;
        return;
    }

    switch (creation) {
    case createNew:
        SVR_THROW_CODE(errAlreadyExists);
    case openExisting:
    case openAlways:
        m_state = stateKeepContent;
        m_active = m_target;
        break;
    case createAlways:
    case truncateExisting:
        // The storage starts empty: reads, size and a commit without any
        // write already see the empty working file, not the old content.
        m_state = stateStartEmpty;
        m_active = m_target;
        createWorkingFile(false);
        break;
    default:
        SVR_THROW_CODE(errInternalError);
    }
}

DiskStorageWithRollbackImpl::~DiskStorageWithRollbackImpl() {
    m_active = nullptr;
    m_target = nullptr;
    if (!m_workPath.isEmpty())
        DeleteFileW(m_workPath.c_wstr());
}

AutoPtr<DiskStorage> DiskStorageWithRollbackImpl::openTarget(uint32_t* error) {
    return openDiskStorage(m_targetPath, accessReadWrite, openExisting, error);
}

DiskStorage* DiskStorageWithRollbackImpl::active() {
    if (!m_active) {
        // After a commit whose target could not be opened again.
        uint32_t error = 0;
        m_target = openTarget(&error);
        if (!m_target)
            THROW_WIN32(error, "CreateFileW");
        m_target->setPos(m_savedPos);
        m_active = m_target;
    }
    return m_active.get();
}

void DiskStorageWithRollbackImpl::startChanging() {
    if (m_state == stateReadOnly)
        SVR_THROW(errWriteFailed, "The instance is read-only!");
    if (m_workPath.isEmpty())
        createWorkingFile(m_state == stateKeepContent);
}

// The working file gets a fresh "~wt" name in the target's own folder: the
// same volume, so the commit is a plain rename, and the folder's inherited
// access rules, so the committed file can be used by everyone the old one
// could.
void DiskStorageWithRollbackImpl::createWorkingFile(bool copyTarget) {
    uint64_t pos = active()->getPos();
    wchar_t name[MAX_PATH + 1];
    String folder = folderOf(m_targetPath);
    if (folder.isEmpty() || !GetTempFileNameW(folder.c_wstr(), L"~wt", 0, name))
        SVR_THROW(errOperationFailed,
                  String::format("creating working file failed. (%s)", describeLastError().c_str()));
    m_workPath = String(name);
    SetFileAttributesW(name, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);
    AutoPtr<DiskStorage> work = DiskStorage::create(m_workPath, accessReadWrite, openExisting, true);
    if (copyTarget) {
        try {
            m_target->setPos(0);
            work->writeAllFrom(m_target.get(), 0x10000);
            m_target->setPos(pos);
        } catch (const Exception& e) {
            SVR_THROW(e.code(), e.message() + String::format(" During copying %s to %s", m_targetPath.c_str(),
                                                             m_workPath.c_str()));
        }
    }
    work->setPos(pos);
    m_active = work;
}

// Renames the flushed working file over the target. MoveFileEx with
// replace is one rename on the same volume: the target is never missing,
// unlike a replace that first moves the target aside. A reader that holds
// the target open for a moment is waited for (a second at most).
bool DiskStorageWithRollbackImpl::replaceTarget() {
    // The committed file takes the target's attributes (hidden, archive...),
    // not the working file's hidden and temporary marks.
    DWORD attributes = GetFileAttributesW(m_targetPath.c_wstr());
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & ~DWORD(FILE_ATTRIBUTE_TEMPORARY);
    SetFileAttributesW(m_workPath.c_wstr(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(m_workPath.c_wstr(), m_targetPath.c_wstr(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (attempt >= 20 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                              error != ERROR_LOCK_VIOLATION))
            break;
        Sleep(50);
    }
    DWORD error = GetLastError();
    SetFileAttributesW(m_workPath.c_wstr(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);
    SetLastError(error);
    return false;
}

void DiskStorageWithRollbackImpl::commit() {
    if (m_state == stateReadOnly)
        return;
    if (m_state == stateCreated) {
        active()->flushBuffer();
        m_workPath = String();
        m_state = stateKeepContent;
        return;
    }
    if (m_workPath.isEmpty())
        return;  // nothing changed since the last commit

    // Everything written must be on the disk before the rename makes it the
    // target's content.
    m_active->flushBuffer();
    m_savedPos = m_active->getPos();
    m_active = nullptr;
    m_target = nullptr;
    bool replaced = replaceTarget();
    DWORD error = GetLastError();
    uint32_t openError = 0;
    if (!replaced) {
        // The target keeps its old content, the working file its changes:
        // the storage goes on working on them.
        m_active = openDiskStorage(m_workPath, accessReadWrite, openExisting, &openError);
        if (m_active)
            m_active->setPos(m_savedPos);
        m_target = openTarget(&openError);
        SetLastError(error);
        SVR_THROW(errOperationFailed,
                  String::format("DiskStorageWithRollback::commit: CRITICAL ERROR: FileUtils::replaceFile failed "
                                 "for %s, no way to recover!\n",
                                 m_targetPath.c_str()));
    }
    m_workPath = String();
    m_state = stateKeepContent;
    m_target = openTarget(&openError);
    if (m_target) {
        m_target->setPos(m_savedPos);
        m_active = m_target;
    }
}

AutoPtr<DiskStorageWithRollback> DiskStorageWithRollback::create(const String& path, AccessMode access,
                                                                 CreationMode creation) {
    return AutoPtr<DiskStorageWithRollback>(new DiskStorageWithRollbackImpl(path, access, creation));
}

} // namespace Solvaris
