// Replacing a shared file whole: read it (bytes, stamp, access list), build
// the new content, write that to a working file beside it, and put the
// working file in its place only when nobody changed the file meanwhile.
// A reader never sees half a file, and any failure leaves the old file as
// it was.
//
//     ReplacedFile old;
//     DWORD error = readReplacedFile(path, open, maxSize, old);
//     ... build `bytes` from old.bytes ...
//     WorkingFile work(L"abc");
//     error = work.write(path, bytes.data(), bytes.size(), old.security.get());
//     ... check work.path() if wanted ...
//     switch (work.place(path, open, old, retry)) ...
//
// The caller opens the target itself (`TargetOpener`), so that all of its
// opens of that file lie in one place of its own.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "baselib/svr_filestamp.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_heldfile_win.h"

namespace Solvaris_Win32 {

// Opens the target for reading its bytes, stamp and access list
// (GENERIC_READ, which includes READ_CONTROL); an invalid handle with
// GetLastError telling why when it cannot.
using TargetOpener = std::function<UniqueHandle(const std::wstring& path)>;

// The target as read for building its replacement.
struct ReplacedFile {
    Solvaris::FileStamp stamp;  // exists false: there is no target yet
    std::string bytes;
    LocalPtr<void> security;  // a descriptor holding the target's access list, or null
    DWORD attributes = 0;     // the target's (hidden, read-only...), given to its replacement
};

// Reads the whole target through `open`. ERROR_SUCCESS also for a missing
// target (out.stamp.exists false); ERROR_FILE_TOO_LARGE for a target above
// maxSize bytes; else the system's reason (isFileHeldError: worth another
// try).
DWORD readReplacedFile(const std::wstring& path, const TargetOpener& open, uint64_t maxSize, ReplacedFile& out);

// A working file beside a target, created exclusively under a random name
// (hidden, temporary) in the target's folder, which may let everyone write.
// While it is held nobody else can write into it or open it for writing;
// this process may read it by name (the profile functions, to check what
// was written). It is removed when the object goes unless it was placed.
class WorkingFile {
public:
    // Its name: `prefix`, 16 random hex digits, ".tmp".
    explicit WorkingFile(const wchar_t* prefix) : m_prefix(prefix) {}
    ~WorkingFile();
    WorkingFile(const WorkingFile&) = delete;
    WorkingFile& operator=(const WorkingFile&) = delete;

    // Creates the working file beside `target` with `bytes`, flushed to the
    // disk, and the access list of `security` (null: the folder's inherited
    // one). ERROR_SUCCESS, else why (ERROR_DISK_FULL, ...); nothing is left
    // behind then.
    DWORD write(const std::wstring& target, const void* bytes, size_t size, PSECURITY_DESCRIPTOR security);
    const std::wstring& path() const { return m_path; }

    enum class Placed { done, changed, failed };
    // Gives the working file the target's name and attributes, replacing
    // it, through the working file's own handle, when the target's stamp
    // (read through `open`) is still the one in `old`; else `changed`, and
    // nothing is replaced. A target held open (for the stamp or against the
    // rename) is waited for while `retry` allows. failed: GetLastError tells
    // why.
    Placed place(const std::wstring& target, const TargetOpener& open, const ReplacedFile& old, HeldFileRetry& retry);

private:
    void discard();

    const wchar_t* m_prefix;
    UniqueHandle m_file;
    std::wstring m_path;
};

// The steps a working file goes through, shared with the rollback storage
// (svr_storage.h), which writes its working file piece by piece:
// - created exclusively in `folder` (ending in a separator) under a random
//   name (`prefix`, 16 hex digits, ".tmp"), hidden and temporary, another
//   name tried when one is taken; an invalid handle with GetLastError
//   telling why when it cannot be;
UniqueHandle createWorkingFile(const std::wstring& folder, const wchar_t* prefix, DWORD access, DWORD share,
                               std::wstring& path);
// - renamed to `target` in one step through a handle with DELETE access,
//   replacing a file of that name when `replace` (false: GetLastError);
bool renameOpenFile(HANDLE file, const std::wstring& target, bool replace);
// - given the attributes of the file it replaced (`attributes`; 0: none),
//   not its own hidden and temporary marks, through a handle that may write
//   them.
void takeAttributes(HANDLE file, DWORD attributes);

// Makes every working file written from now on take at most `bytes` bytes,
// the rest failing with ERROR_DISK_FULL, as on a full disk; ~0 (the
// default) lifts the limit. For tests of what a full disk leaves behind.
void limitWorkingFileRoomForTests(uint64_t bytes);

} // namespace Solvaris_Win32
