// Stand-in for the native build: plain C and POSIX file calls. The reserved
// folder is $SVRDBDIR, else the current folder.
#include "profile/djv_fileaccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "baselib/svr_error.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

namespace {
[[noreturn]] void fail(int32_t code, const char* what, const String& path) {
    throw Exception(code, String::format("%s failed: %s (%s)", what, path.c_str(), std::strerror(errno)), __FILE__,
                    __LINE__, SVR_FUNCSIG);
}
} // namespace

bool fileExists(const String& path) {
    struct stat st;
    return !path.isEmpty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {
// Reads the open file f whole, up to maxSize bytes (and closes it); st gets
// its status as read, also when the file is too large.
void readOpenFile(FILE* f, const String& path, SimpleArray<char>* bytes, struct stat* st, uint64_t maxSize) {
    if (::fstat(fileno(f), st) != 0) {
        std::fclose(f);
        fail(errReadFailed, "stat", path);
    }
    if (uint64_t(st->st_size) > maxSize) {
        std::fclose(f);
        SVR_THROW(errTooLarge, "File too large to read");
    }
    bytes->clear();
    bytes->resize(uint32_t(st->st_size));
    size_t got = bytes->count() ? std::fread(bytes->data(), 1, bytes->count(), f) : 0;
    bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad)
        fail(errReadFailed, "read", path);
    bytes->resize(uint32_t(got));
}
} // namespace

void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t maxSize) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        fail(errOpenFailed, "open", path);
    struct stat st = {};
    readOpenFile(f, path, bytes, &st, maxSize);
}

FileStamp readStamped(const String& path, SimpleArray<char>* bytes) {
    bytes->clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f && errno == ENOENT)
        return FileStamp();
    if (!f)
        fail(errOpenFailed, "open", path);
    struct stat st;
    readOpenFile(f, path, bytes, &st, kMaxReadSize);
    const uint64_t written = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
    return stampOfBytes(bytes->data(), bytes->count(), written);
}

FileStamp stampOf(const String& path) {
    SimpleArray<char> bytes;
    return readStamped(path, &bytes);
}

FileStamp stampOfWritten(const String& path, const std::string& content) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return stampOf(path);
    const uint64_t written = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
    FileStamp stamp = stampOfBytes(content.data(), content.size(), written);
    stamp.size = uint64_t(st.st_size);
    return stamp;
}

// The working copy has a name of its own for every save (process id and a
// counter, created exclusively), so that two processes saving the same file
// at once never write into one working file: each renames its own complete
// copy over the file, and the last rename wins whole.
void replaceFile(const String& path, const char* bytes, uint32_t size) {
    static std::atomic<uint32_t> counter{0};
    String work;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        work = path + String::format(".~wt%ld-%u", long(::getpid()), unsigned(counter++));
        fd = ::open(work.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        fail(errWriteFailed, "create", work);
    FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        int saved = errno;
        ::close(fd);
        std::remove(work.c_str());
        errno = saved;
        fail(errWriteFailed, "create", work);
    }
    size_t n = size;
    bool ok = (n == 0 || std::fwrite(bytes, 1, n, f) == n);
    ok = (std::fflush(f) == 0) && ok;
    ok = (::fsync(fileno(f)) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(work.c_str(), path.c_str()) != 0) {
        int saved = errno;
        std::remove(work.c_str());
        errno = saved;
        fail(errWriteFailed, "write", path);
    }
}

// Written to a working file of its own first, which then takes the name to
// only if nothing has it yet (a hard link fails on an existing name).
bool copyFileIfAbsent(const String& from, const String& to) {
    if (fileExists(to))
        return false;
    static std::atomic<uint32_t> counter{0};
    try {
        SimpleArray<char> bytes;
        readWholeFile(from, &bytes);
        String work = to + String::format(".~wt%ld-%u", long(::getpid()), unsigned(counter++));
        FILE* f = std::fopen(work.c_str(), "wbx");
        if (!f)
            return false;
        bool ok = bytes.count() == 0 || std::fwrite(bytes.data(), 1, bytes.count(), f) == bytes.count();
        ok = (std::fflush(f) == 0) && ok;
        ok = (::fsync(fileno(f)) == 0) && ok;
        ok = (std::fclose(f) == 0) && ok;
        ok = ok && ::link(work.c_str(), to.c_str()) == 0;
        std::remove(work.c_str());
        return ok;
    } catch (const Exception&) {
        return false;
    }
}

namespace {

// Savers of one file are kept apart by an exclusive flock on its folder:
// the file itself is replaced by rename, so a lock on it would not bind the
// next saver, who opens the new file. The system drops the lock when its
// holder dies; it is waited for kSaveLockWaitMs at most.
class SaveLock {
public:
    explicit SaveLock(const String& path) {
        const uint32_t slash = path.rfind('/');
        const String folder = slash == kNotFound ? String(".") : slash == 0 ? String("/") : path.substring(0, slash);
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            fail(errLockFailed, "open", folder);
        for (uint32_t waited = 0; ::flock(m_fd, LOCK_EX | LOCK_NB) != 0; waited += kPauseMs) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kSaveLockWaitMs) {
                ::close(m_fd);
                throw Exception(errTimeout,
                                String::format("Another program kept saving %s for %u seconds; nothing was written",
                                               path.c_str(), unsigned(kSaveLockWaitMs / 1000)),
                                __FILE__, __LINE__, SVR_FUNCSIG);
            }
            ::usleep(kPauseMs * 1000);
        }
    }
    ~SaveLock() { ::close(m_fd); }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

private:
    static const uint32_t kPauseMs = 5;
    int m_fd = -1;
};

} // namespace

FileStamp replaceUnderSaveLock(const String& path, const SaveDecision& decide) {
    SaveLock lock(path);
    return replaceDecided(path, decide);
}

String systemReservedDirectory() {
    const char* dir = std::getenv("SVRDBDIR");
    if (dir && *dir) {
        ::mkdir(dir, 0777);
        return String(dir);
    }
    return String(".");
}

String joinPath(const String& folder, const char* name) {
    return folder + String("/") + String(name);
}

} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
