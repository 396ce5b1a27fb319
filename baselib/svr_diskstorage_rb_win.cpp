// Solvaris::DiskStorageWithRollback: changes go to a working file beside the
// target until commit() renames the working file over the target in one
// step. Whatever happens (a failed commit, a killed process, a full disk),
// the target holds either its old content or the committed one.
#include <windows.h>

#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_heldfile_win.h"
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
    DiskStorage* active() { return m_active.get(); }
    AutoPtr<DiskStorage> openTarget(uint32_t* error);
    void startChanging();
    void createWorkingFile(bool copyTarget);
    bool replaceTarget(uint32_t* error);

    AutoPtr<DiskStorage> m_active;  // the working file while there is one, else the target
    AutoPtr<DiskStorage> m_target;  // held so that nobody else writes it meanwhile
    AutoPtr<DiskStorage> m_work;    // changes since the last commit
    String m_targetPath;
    State m_state;
    AccessMode m_access;
    bool m_replace = true;          // the commit may replace a file of the target's name
};

namespace {

// How long a commit waits for a reader that holds the target open for a
// moment, and the pause between tries.
constexpr uint32_t kReplaceWaitMs = 1000;
constexpr uint32_t kReplaceRetryMs = 50;

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
        // A new file is written through a working file too, and takes its
        // name only on commit: a process killed before leaves no cut file
        // under the target's name, and released without commit nothing is
        // left at all.
        m_state = stateCreated;
        m_replace = creation != createNew;
        createWorkingFile(false);
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
    if (m_work)
        discardWorkingFile(m_work.get());
    m_active = nullptr;
    m_work = nullptr;
    m_target = nullptr;
}

AutoPtr<DiskStorage> DiskStorageWithRollbackImpl::openTarget(uint32_t* error) {
    return openDiskStorage(m_targetPath, accessReadWrite, openExisting, error);
}

void DiskStorageWithRollbackImpl::startChanging() {
    if (m_state == stateReadOnly)
        SVR_THROW(errWriteFailed, "The instance is read-only!");
    if (!m_work)
        createWorkingFile(m_state == stateKeepContent);
}

// The working file lies in the target's own folder: the same volume, so the
// commit is a plain rename, and the folder's inherited access rules, so the
// committed file can be used by everyone the old one could. It is created
// exclusively and held by this storage alone from then on, and the commit
// renames it through that same handle (svr_fileutils.h).
void DiskStorageWithRollbackImpl::createWorkingFile(bool copyTarget) {
    uint64_t pos = m_active ? m_active->getPos() : 0;
    uint32_t error = 0;
    String folder = folderOf(m_targetPath);
    AutoPtr<DiskStorage> work =
        folder.isEmpty() ? AutoPtr<DiskStorage>() : _Svr_Internal_NS_::createWorkingFile(folder, L"~wt", &error);
    if (!work) {
        SetLastError(error ? error : ERROR_INVALID_NAME);
        SVR_THROW(errOperationFailed,
                  String::format("creating working file failed. (%s)", describeLastError().c_str()));
    }
    // A working file that cannot be set up is removed again; the storage
    // stays on the target as before.
    try {
        if (copyTarget) {
            try {
                m_target->setPos(0);
                work->writeAllFrom(m_target.get(), 0x10000);
                m_target->setPos(pos);
            } catch (const Exception& e) {
                const PlatformException* platform = dynamic_cast<const PlatformException*>(&e);
                SVR_THROW_PLATFORM(e.code(), platform ? platform->platformError() : 0,
                                   e.message().trimLineBreaksRight() +
                                       String::format(" During copying %s to %s", m_targetPath.c_str(),
                                                      work->getName().c_str()));
            }
        }
        work->setPos(pos);
    } catch (...) {
        discardWorkingFile(work.get());
        throw;
    }
    m_work = work;
    m_active = work;
}

// Renames the flushed working file over the target through its handle. A
// rename with replace on one volume is one step: the target is never
// missing, unlike a replace that first moves the target aside. A reader
// that holds the target open for a moment is waited for (a second at most).
// The working file stays open throughout, so nobody can write into it or
// put another file in its place before it becomes the target.
bool DiskStorageWithRollbackImpl::replaceTarget(uint32_t* error) {
    // The committed file takes the target's attributes (hidden, archive...),
    // not the working file's hidden and temporary marks.
    DWORD attributes = GetFileAttributesW(m_targetPath.c_wstr());
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes;
    // A target held open without delete sharing makes the rename fail with
    // access denied: that too is a held file here.
    Solvaris_Win32::HeldFileRetry retry(kReplaceWaitMs, kReplaceRetryMs);
    while (!renameWorkingFile(m_work.get(), m_targetPath, attributes, m_replace, error)) {
        if (!retry.again(Solvaris_Win32::isFileHeldError(*error) || *error == ERROR_ACCESS_DENIED))
            return false;
    }
    return true;
}

void DiskStorageWithRollbackImpl::commit() {
    if (m_state == stateReadOnly || !m_work)
        return;  // nothing changed since the last commit

    // Everything written must be on the disk before the rename makes it the
    // target's content. The target is let go so that it can be replaced.
    m_work->flushBuffer();
    m_target = nullptr;
    uint32_t error = 0;
    if (!replaceTarget(&error)) {
        // The target keeps its old content, the working file its changes:
        // the storage goes on working on them, and holds the target again.
        uint32_t openError = 0;
        if (m_state != stateCreated)
            m_target = openTarget(&openError);
        SetLastError(error);
        SVR_THROW(errOperationFailed,
                  String::format("DiskStorageWithRollback::commit: CRITICAL ERROR: FileUtils::replaceFile failed "
                                 "for %s, no way to recover!\n",
                                 m_targetPath.c_str()));
    }
    // The handle that wrote the content now holds the target.
    m_target = m_work;
    m_work = nullptr;
    m_state = stateKeepContent;
    m_replace = true;
}

AutoPtr<DiskStorageWithRollback> DiskStorageWithRollback::create(const String& path, AccessMode access,
                                                                 CreationMode creation) {
    return AutoPtr<DiskStorageWithRollback>(new DiskStorageWithRollbackImpl(path, access, creation));
}

} // namespace Solvaris
