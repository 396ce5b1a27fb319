// Solvaris::DiskStorage: a Windows file read and written at explicit 64-bit
// positions, temporary files, and the path helpers of the storage units.
#include <windows.h>
#include <ntsecapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_filereplace_win.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_winerror.h"
#include "baselib/svr_winutils.h"

namespace Solvaris {

namespace {

const uint64_t kFileTime1970 = 116444736000000000ull;

// Throws the PlatformException of a failed call for error, whose text is the
// error's description and what.
[[noreturn]] void throwWin32(DWORD error, const String& what, int line) {
    throw win32CallException(error, what.c_str(), __FILE__, line);
}
#define THROW_WIN32(error, what) throwWin32((error), (what), __LINE__)

OVERLAPPED overlappedAt(uint64_t position) {
    OVERLAPPED ov = {};
    ov.Offset = DWORD(position);
    ov.OffsetHigh = DWORD(position >> 32);
    return ov;
}

// A byte range of a lock: a length of 0 runs from offset to the end of the
// 64-bit range.
uint64_t lockLength(uint64_t offset, uint64_t length) {
    return length ? length : ~offset;
}

// A text of a wide call's output buffer, grown until the result fits.
template <class Call>
String wideCallResult(Call call) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD n = call(buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return String();
        if (n < buffer.size())
            return String(buffer.data(), int32_t(n));
        buffer.resize(size_t(n) + 1);
    }
    return String();
}

} // namespace

namespace _Svr_Internal_NS_ {

String absolutePath(const String& name) {
    if (name.isEmpty())
        return String();
    const wchar_t* w = name.c_wstr();
    return wideCallResult([w](wchar_t* out, DWORD size) { return GetFullPathNameW(w, size, out, nullptr); });
}

namespace {

// Whether a path part has the shape of a short (8.3) name: at most 8
// characters, or at most 8, a dot and at most 3; not beginning with a dot.
// A part of any other shape is a long name already.
bool hasShortNameShape(const wchar_t* part, size_t length) {
    if (length == 0 || length > 12 || part[0] == L'.')
        return false;
    bool dot = false;
    for (size_t i = 0; i < length; ++i) {
        if (part[i] == L'.') {
            if (dot || length - 1 - i > 3)
                return false;
            dot = true;
        }
        if (i >= 8 && !dot)
            return false;
    }
    return true;
}

// The long form of a full path on a drive ("X:\..."), found as the system
// finds it: the path must exist, and only the parts shaped like short names
// are looked up in their folders (one directory search each) and replaced
// by the names found there; every other part is kept as it is. Empty when
// the path does not exist or a part cannot be found.
std::wstring driveLongForm(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::wstring();
    std::wstring out = path.substr(0, 3);
    size_t start = 3;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring part = path.substr(start, end - start);
        if (hasShortNameShape(part.c_str(), part.size())) {
            if (part.find_first_of(L"*?") != std::wstring::npos)
                return std::wstring();
            WIN32_FIND_DATAW found;
            const Solvaris_Win32::FindHandle search(FindFirstFileW((out + part).c_str(), &found));
            if (!search)
                return std::wstring();
            part = found.cFileName;
        }
        out += part;
        if (end < path.size())
            out += L'\\';
        start = end + 1;
    }
    return out;
}

} // namespace

// The full path already has its "." and ".." parts resolved; the long form
// replaces short (8.3) names where the file exists. A path on a drive is
// resolved here as the system's GetLongPathNameW resolves it, which searches
// only the parts that can be short names (a usual path has few or none);
// other paths (network shares, device paths) are left to that function.
String canonicalPath(const String& name) {
    String full = absolutePath(name);
    if (full.isEmpty())
        return full;
    const std::wstring path(full.c_wstr());
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        const std::wstring longForm = driveLongForm(path);
        return longForm.empty() ? full : String(longForm.c_str());
    }
    const wchar_t* w = full.c_wstr();
    String longForm = wideCallResult([w](wchar_t* out, DWORD size) { return GetLongPathNameW(w, out, size); });
    return longForm.isEmpty() ? full : longForm;
}

} // namespace _Svr_Internal_NS_

class DiskStorageImpl : public DiskStorage, public BlockReadStorage {
public:
    DiskStorageImpl(HANDLE handle, const String& name, AccessMode access, CreationMode creation)
        : m_name(name), m_handle(handle), m_access(access), m_creation(creation) {}

    using DiskStorage::lock;
    using DiskStorage::unlock;

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override {
        return readOn(buffer, m_pos, count, mustReadAll);
    }

    // Reads at an explicit position; the storage's own position is left to
    // the caller.
    uint32_t readBytes(void* buffer, uint64_t position, uint32_t count, bool mustReadAll) override {
        uint8_t* out = static_cast<uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            DWORD got = 0;
            if (!transferOnce(false, out + done, position + done, count - done, &got)) {
                DWORD error = GetLastError();
                if (error != ERROR_HANDLE_EOF)
                    THROW_WIN32(error, "DiskStorageImpl::readBytes");
                got = 0;
            }
            done += got;
            // The end shows from a read that got nothing until a read that
            // gets bytes or a move (a copy from position 0 reads on to the
            // real end).
            if (got != 0)
                m_eof = false;
            if (done == count)
                break;
            if (got == 0) {
                m_eof = true;
                if (mustReadAll)
                    SVR_THROW(errReadFailed, "Could not read the bytes specified!");
                return done;
            }
            if (!mustReadAll)
                return done;
        }
        return done;
    }

    void writeBytes(const void* buffer, uint32_t count) override {
        const uint8_t* in = static_cast<const uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            DWORD put = 0;
            if (!transferOnce(true, const_cast<uint8_t*>(in) + done, m_pos + done, count - done, &put))
                THROW_WIN32(GetLastError(), "DiskStorageImpl::writeBytes");
            if (put == 0)
                THROW_WIN32(ERROR_WRITE_FAULT, "DiskStorageImpl::writeBytes");
            done += put;
        }
        m_pos += done;
    }

    void flushBuffer() override {
        if ((m_access & accessWrite) && !FlushFileBuffers(m_handle.get()))
            THROW_WIN32(GetLastError(), "FlushFileBuffers");
    }

    bool isEof() override { return m_eof; }

    uint64_t getSize() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_handle.get(), &size))
            THROW_WIN32(GetLastError(), "GetFileSize");
        return uint64_t(size.QuadPart);
    }

    uint64_t getPos() override { return m_pos; }
    void setPos(uint64_t pos) override { moveTo(pos); }
    void setPosRelative(int64_t offset) override { moveTo(offsetPosition(m_pos, offset)); }
    void setPosFromEnd(int64_t offset) override { moveTo(offsetPosition(getSize(), offset)); }

    void setEof() override {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(m_pos);
        m_filePointer = kUnknownPointer;
        if (m_pos > uint64_t(INT64_MAX) || !SetFilePointerEx(m_handle.get(), at, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(m_handle.get()))
            THROW_WIN32(m_pos > uint64_t(INT64_MAX) ? ERROR_INVALID_PARAMETER : GetLastError(),
                        "DiskStorageImpl::setEof");
    }

    String getName() override { return m_name; }

    AutoPtr<Storage> duplicate() override {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), m_handle.get(), GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            THROW_WIN32(GetLastError(), "Duplicatehandle failed.");
        AutoPtr<DiskStorageImpl> storage(new DiskStorageImpl(copy, m_name, m_access, m_creation));
        storage->m_pos = m_pos;
        // Both handles now share one file pointer.
        storage->m_sharedPointer = m_sharedPointer = true;
        return AutoPtr<Storage>(storage);
    }

    uint64_t getLastModified() override {
        FILETIME written;
        if (!GetFileTime(m_handle.get(), nullptr, nullptr, &written))
            THROW_WIN32(GetLastError(), "GetFileTime");
        uint64_t t = (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        return t > kFileTime1970 ? (t - kFileTime1970) / 10000000u : 0;
    }

    void* getHandle() override { return m_handle.get(); }

    void lock(uint64_t offset, uint64_t length, bool exclusive) override {
        if (!lockRange(offset, length, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0))
            THROW_WIN32(GetLastError(), "LockFileEx failed!");
    }

    bool tryLock(uint64_t offset, uint64_t length, bool exclusive) override {
        DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (lockRange(offset, length, flags))
            return true;
        DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION)
            return false;
        THROW_WIN32(error, "LockFileEx failed!");
    }

    void unlock(uint64_t offset, uint64_t length) override {
        uint64_t n = lockLength(offset, length);
        OVERLAPPED ov = overlappedAt(offset);
        if (!UnlockFileEx(m_handle.get(), 0, DWORD(n), DWORD(n >> 32), &ov))
            THROW_WIN32(GetLastError(), "UnlockFileEx failed!");
    }

private:
    static const uint64_t kUnknownPointer = ~uint64_t(0);

    void moveTo(uint64_t pos) {
        m_pos = pos;
        m_eof = false;
    }

    // One read or write at position. A handle that this storage alone uses
    // keeps its file pointer in step with the storage's reads and writes, so
    // sequential transfers are plain calls (with a seek only where the
    // position moved), which is what the system serves fastest. A handle
    // shared with duplicates passes the position with each call instead, so
    // that the shared file pointer does not matter.
    bool placePointer(uint64_t position, OVERLAPPED* ov, OVERLAPPED** use) {
        if (m_sharedPointer) {
            *ov = overlappedAt(position);
            *use = ov;
            return true;
        }
        *use = nullptr;
        if (m_filePointer == position)
            return true;
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(position);
        if (position > uint64_t(INT64_MAX)) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return false;
        }
        if (!SetFilePointerEx(m_handle.get(), at, nullptr, FILE_BEGIN))
            return false;
        m_filePointer = position;
        return true;
    }

    // One ReadFile or WriteFile of n bytes at `position` (a write only
    // reads `data`).
    bool transferOnce(bool write, uint8_t* data, uint64_t position, DWORD n, DWORD* done) {
        OVERLAPPED ov;
        OVERLAPPED* use = nullptr;
        if (!placePointer(position, &ov, &use) || !(write ? WriteFile(m_handle.get(), data, n, done, use)
                                                          : ReadFile(m_handle.get(), data, n, done, use))) {
            m_filePointer = kUnknownPointer;
            return false;
        }
        if (!use)
            m_filePointer += *done;
        return true;
    }

    bool lockRange(uint64_t offset, uint64_t length, DWORD flags) {
        uint64_t n = lockLength(offset, length);
        OVERLAPPED ov = overlappedAt(offset);
        return LockFileEx(m_handle.get(), flags, 0, DWORD(n), DWORD(n >> 32), &ov) != FALSE;
    }

    // base + offset; a result outside 0 .. 2^64 - 1 is refused rather than
    // wrapped around.
    static uint64_t offsetPosition(uint64_t base, int64_t offset) {
        if (offset >= 0) {
            if (uint64_t(offset) > UINT64_MAX - base)
                SVR_THROW_CODE(errInvalidParam);
            return base + uint64_t(offset);
        }
        uint64_t back = uint64_t(-(offset + 1)) + 1;
        if (back > base)
            SVR_THROW_CODE(errInvalidParam);
        return base - back;
    }

    String m_name;
    Solvaris_Win32::UniqueHandle m_handle;
    uint64_t m_pos = 0;
    uint64_t m_filePointer = 0;  // where the handle's pointer stands, when known
    bool m_sharedPointer = false;
    bool m_eof = false;
    AccessMode m_access;
    CreationMode m_creation;
};

namespace _Svr_Internal_NS_ {

uint32_t diskStorageOpenFlags(AccessMode access) {
    DWORD flags = access == accessRead ? FILE_FLAG_RANDOM_ACCESS : FILE_ATTRIBUTE_NORMAL;
    return flags | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
}

AutoPtr<DiskStorage> openDiskStorage(const String& path, AccessMode access, CreationMode creation,
                                     uint32_t* error) {
    *error = ERROR_SUCCESS;
    String full = absolutePath(path);
    if (full.isEmpty()) {
        *error = path.isEmpty() ? ERROR_INVALID_NAME : GetLastError();
        if (*error == ERROR_SUCCESS)
            *error = ERROR_INVALID_NAME;
        return AutoPtr<DiskStorage>();
    }
    static const DWORD kAccess[] = {0, GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static const DWORD kDisposition[] = {0, OPEN_EXISTING, OPEN_ALWAYS, CREATE_NEW, CREATE_ALWAYS, TRUNCATE_EXISTING};
    if (unsigned(access) > accessReadWrite || unsigned(creation) > truncateExisting) {
        *error = ERROR_INVALID_PARAMETER;
        return AutoPtr<DiskStorage>();
    }
    DWORD disposition = kDisposition[creation];
    if (creation == creationDefault) {
        if (access == accessRead)
            disposition = OPEN_EXISTING;
        else if (access & accessWrite)
            disposition = CREATE_ALWAYS;
    }
    DWORD share = (access & accessWrite) ? 0 : FILE_SHARE_READ;
    Solvaris_Win32::UniqueHandle h(CreateFileW(full.c_wstr(), kAccess[access], share, nullptr, disposition,
                                               diskStorageOpenFlags(access), nullptr));
    if (!h) {
        *error = GetLastError();
        return AutoPtr<DiskStorage>();
    }
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(h.get(), zero, nullptr, FILE_BEGIN)) {
        *error = GetLastError();
        THROW_WIN32(*error, "SetFilePointerEx");
    }
    return AutoPtr<DiskStorage>(new DiskStorageImpl(h.release(), path, access, creation));
}

AutoPtr<DiskStorage> openSharedFileStorage(const String& path) {
    // The name the resource broker would open: full, long and canonical.
    String full = canonicalPath(path);
    uint32_t error = ERROR_INVALID_NAME;
    Solvaris_Win32::UniqueHandle h;
    if (!full.isEmpty())
        h = Solvaris_Win32::openSharedFile(full, GENERIC_READ, FILE_SHARE_READ, &error);
    if (!h)
        THROW_WIN32(error, String::format("openSharedFile(%s)", path.c_str()));
    return AutoPtr<DiskStorage>(new DiskStorageImpl(h.release(), full, accessRead, openExisting));
}

// A fresh name: 64 random bits, so that nobody can guess it in advance.
String randomFileName(const wchar_t* prefix) {
    static LONG counter = 0;
    uint64_t bits = 0;
    if (!RtlGenRandom(&bits, sizeof bits))
        bits = (uint64_t(GetTickCount()) << 32) ^ (uint64_t(GetCurrentProcessId()) << 16) ^
               uint64_t(InterlockedIncrement(&counter));
    wchar_t name[64];
    swprintf(name, 64, L"%ls%08lx%08lx.tmp", prefix, static_cast<unsigned long>(bits >> 32),
             static_cast<unsigned long>(bits & 0xFFFFFFFFu));
    return String(name);
}

AutoPtr<DiskStorage> createWorkingFile(const String& folder, const wchar_t* prefix, uint32_t* error) {
    std::wstring base(folder.c_wstr()), path;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/')
        base += L'\\';
    Solvaris_Win32::UniqueHandle h =
        Solvaris_Win32::createWorkingFile(base, prefix, GENERIC_READ | GENERIC_WRITE | DELETE, 0, path);
    *error = h ? ERROR_SUCCESS : GetLastError();
    if (!h)
        return AutoPtr<DiskStorage>();
    return AutoPtr<DiskStorage>(new DiskStorageImpl(h.release(), String(path.c_str()), accessReadWrite, createNew));
}

bool renameWorkingFile(DiskStorage* work, const String& target, uint32_t attributes, bool replace, uint32_t* error) {
    if (!Solvaris_Win32::renameOpenFile(work->getHandle(), std::wstring(target.c_wstr()), replace)) {
        *error = GetLastError();
        return false;
    }
    *error = ERROR_SUCCESS;
    Solvaris_Win32::takeAttributes(work->getHandle(), attributes);
    return true;
}

void discardWorkingFile(DiskStorage* work) {
    FILE_DISPOSITION_INFO dispose = {};
    dispose.DeleteFile = TRUE;
    SetFileInformationByHandle(work->getHandle(), FileDispositionInfo, &dispose, sizeof dispose);
}

namespace {

// Whether the process token carries exactly the low mandatory level.
bool runsAtLowIntegrity() {
    Solvaris_Win32::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    bool low = false;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<uint8_t> buffer(size ? size : 1);
    if (size && GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) {
        const TOKEN_MANDATORY_LABEL* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
        PUCHAR count = GetSidSubAuthorityCount(label->Label.Sid);
        if (count && *count > 0)
            low = *GetSidSubAuthority(label->Label.Sid, *count - 1) == SECURITY_MANDATORY_LOW_RID;
    }
    return low;
}

typedef HRESULT(WINAPI* KnownFolderPathFn)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

// A text the shell allocated with CoTaskMemAlloc for the caller.
using CoTaskText = Solvaris_Win32::Owned<wchar_t*, Solvaris_Win32::NullOrReleased<wchar_t*, CoTaskMemFree>>;

// {A520A1A4-1780-4FF6-BD18-167343C5AF16}
const GUID kLocalAppDataLow = {0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

String lowIntegrityFolder() {
    const Solvaris_Win32::LoadedModule shell(LoadLibraryW(L"shell32.dll"));
    if (!shell)
        THROW_WIN32(GetLastError(), "Loading shell32.dll failed.");
    KnownFolderPathFn known = reinterpret_cast<KnownFolderPathFn>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "SHGetKnownFolderPath")));
    if (!known)
        THROW_WIN32(GetLastError(), "SHGetKnownFolderPath@shell32 is not found.");
    CoTaskText path;
    HRESULT hr = known(kLocalAppDataLow, 0, nullptr, path.put());
    String result;
    if (SUCCEEDED(hr) && path)
        result = String(path.get());
    if (result.isEmpty())
        SVR_THROW(errOperationFailed, "Cannot get low-integrity temporary folder (FOLDERID_LocalAppDataLow).");
    return result;
}

} // namespace

String temporaryFolder() {
    if (runsAtLowIntegrity())
        return lowIntegrityFolder();
    String folder = wideCallResult([](wchar_t* out, DWORD size) { return GetTempPathW(size, out); });
    if (folder.isEmpty())
        THROW_WIN32(GetLastError(), "GetTempPathW failed.");
    return folder;
}

} // namespace _Svr_Internal_NS_

AutoPtr<DiskStorage> DiskStorage::create(const String& path, AccessMode access, CreationMode creation,
                                         bool throwOnFailure) {
    uint32_t error = 0;
    AutoPtr<DiskStorage> storage = _Svr_Internal_NS_::openDiskStorage(path, access, creation, &error);
    if (!storage && throwOnFailure) {
        if (_Svr_Internal_NS_::absolutePath(path).isEmpty())
            THROW_WIN32(error, String::format("DiskStorage::create failed: %s", path.c_str()));
        THROW_WIN32(error, "CreateFileW");
    }
    return storage;
}

// The file is opened with delete-on-close and its name removed at once, so
// its data lives exactly as long as the last handle to it.
AutoPtr<DiskStorage> DiskStorage::createTemp() {
    String folder = _Svr_Internal_NS_::temporaryFolder();
    wchar_t name[MAX_PATH + 1];
    if (!GetTempFileNameW(folder.c_wstr(), L"VSP", 0, name))
        THROW_WIN32(GetLastError(), "GetTempFileNameW failed.");
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY |
                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileW(name);
        THROW_WIN32(error, "CreateFileW");
    }
    DeleteFileW(name);
    return AutoPtr<DiskStorage>(new DiskStorageImpl(h, String(), accessReadWrite, openExisting));
}

} // namespace Solvaris
