#include "baselib/svr_filereplace_win.h"

#include <aclapi.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "baselib/svr_filestamp_win.h"
#include "baselib/svr_fileutils.h"

namespace Solvaris_Win32 {

namespace {

std::atomic<uint64_t> g_workingFileRoom{~0ull};

// The system's reason for the last failure, never ERROR_SUCCESS.
DWORD lastErrorOr(DWORD fallback)
{
    const DWORD error = GetLastError();
    return error ? error : fallback;
}

// `size` bytes at the start of `file`, or the reason they could not be read.
DWORD readAll(HANDLE file, std::string& bytes, uint64_t size)
{
    bytes.assign(size_t(size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at = {};
        at.Offset = DWORD(done);
        DWORD got = 0;
        const DWORD want = DWORD(bytes.size() - done < (1u << 20) ? bytes.size() - done : (1u << 20));
        if (!ReadFile(file, &bytes[done], want, &got, &at))
            return lastErrorOr(ERROR_READ_FAULT);
        if (got == 0)
            return ERROR_HANDLE_EOF;  // cannot happen while writers are shut out
        done += got;
    }
    return ERROR_SUCCESS;
}

// The access list of `security` on `file`, protected from inheritance when
// it was protected there.
DWORD carryAccessList(HANDLE file, PSECURITY_DESCRIPTOR security)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!security || !GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) || !present ||
        !GetSecurityDescriptorControl(security, &control, &revision))
        return ERROR_SUCCESS;
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                       ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
}

DWORD writeAll(HANDLE file, const void* bytes, size_t size)
{
    if (size > g_workingFileRoom.load())
        return ERROR_DISK_FULL;
    const char* p = static_cast<const char*>(bytes);
    while (size) {
        DWORD done = 0;
        const DWORD chunk = DWORD(size < (1u << 20) ? size : (1u << 20));
        if (!WriteFile(file, p, chunk, &done, nullptr))
            return lastErrorOr(ERROR_WRITE_FAULT);
        if (done == 0)
            return ERROR_DISK_FULL;
        p += done;
        size -= done;
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : lastErrorOr(ERROR_WRITE_FAULT);
}

// The target's stamp now (not existing when it is missing); false with
// GetLastError telling why when it cannot be opened.
bool stampNow(const std::wstring& path, const TargetOpener& open, Solvaris::FileStamp& stamp)
{
    const UniqueHandle file = open(path);
    if (file) {
        stamp = stampOfOpenFile(file.get());
        return stamp.exists;
    }
    stamp = Solvaris::FileStamp();
    return GetLastError() == ERROR_FILE_NOT_FOUND;
}

// A second handle on the working file that may rename or remove it. The
// working file itself is held without delete access, so that the profile
// functions of this process can read it by name meanwhile.
UniqueHandle deleteHandle(HANDLE file)
{
    return UniqueHandle(ReOpenFile(file, DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
}

} // namespace

UniqueHandle createWorkingFile(const std::wstring& folder, const wchar_t* prefix, DWORD access, DWORD share,
                               std::wstring& path)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        path = folder + Solvaris::_Svr_Internal_NS_::randomFileName(prefix).c_wstr();
        UniqueHandle file(CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr));
        if (file)
            return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    path.clear();
    return UniqueHandle();
}

bool renameOpenFile(HANDLE file, const std::wstring& target, bool replace)
{
    std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
    FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    return SetFileInformationByHandle(file, FileRenameInfo, rename, DWORD(buffer.size())) != FALSE;
}

void takeAttributes(HANDLE file, DWORD attributes)
{
    // Times of 0 are left as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes & ~DWORD(FILE_ATTRIBUTE_TEMPORARY);
    if (!basic.FileAttributes)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

DWORD readReplacedFile(const std::wstring& path, const TargetOpener& open, uint64_t maxSize, ReplacedFile& out)
{
    out = ReplacedFile();
    const UniqueHandle file = open(path);
    if (!file) {
        const DWORD error = lastErrorOr(ERROR_OPEN_FAILED);
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return lastErrorOr(ERROR_READ_FAULT);
    out.attributes = info.dwFileAttributes;
    out.stamp = stampOfOpenFile(file.get(), maxSize);
    if (!out.stamp.exists)
        return lastErrorOr(ERROR_READ_FAULT);
    if (out.stamp.size > maxSize)
        return ERROR_FILE_TOO_LARGE;
    if (const DWORD error = readAll(file.get(), out.bytes, out.stamp.size))
        return error;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetSecurityInfo(file.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &security) == ERROR_SUCCESS)
        out.security.reset(security);
    return ERROR_SUCCESS;
}

WorkingFile::~WorkingFile()
{
    discard();
}

void WorkingFile::discard()
{
    if (m_file) {
        const UniqueHandle remover = deleteHandle(m_file.get());
        FILE_DISPOSITION_INFO dispose = {};
        dispose.DeleteFile = TRUE;
        if (remover)
            SetFileInformationByHandle(remover.get(), FileDispositionInfo, &dispose, sizeof dispose);
    }
    m_file.reset();
    m_path.clear();
}

DWORD WorkingFile::write(const std::wstring& target, const void* bytes, size_t size, PSECURITY_DESCRIPTOR security)
{
    discard();
    const std::wstring folder = target.substr(0, target.find_last_of(L"\\/") + 1);
    m_file = createWorkingFile(folder, m_prefix, GENERIC_READ | GENERIC_WRITE | WRITE_DAC,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, m_path);
    DWORD error = m_file ? ERROR_SUCCESS : lastErrorOr(ERROR_OPEN_FAILED);
    // The access list first: nothing is written while the file may still
    // be open to more users than the target was.
    if (!error)
        error = carryAccessList(m_file.get(), security);
    if (!error)
        error = writeAll(m_file.get(), bytes, size);
    if (error)
        discard();
    return error;
}

WorkingFile::Placed WorkingFile::place(const std::wstring& target, const TargetOpener& open, const ReplacedFile& old,
                                       HeldFileRetry& retry)
{
    const UniqueHandle renamer = deleteHandle(m_file.get());
    if (!renamer)
        return Placed::failed;
    for (;;) {
        Solvaris::FileStamp now;
        if (!stampNow(target, open, now)) {
            const DWORD error = lastErrorOr(ERROR_OPEN_FAILED);
            if (retry.again(isFileHeldError(error)))
                continue;
            SetLastError(error);
            return Placed::failed;
        }
        if (now != old.stamp)
            return Placed::changed;
        if (renameOpenFile(renamer.get(), target, true))
            break;
        const DWORD error = lastErrorOr(ERROR_OPEN_FAILED);
        if (!retry.again(isRenameHeldError(error))) {
            SetLastError(error);
            return Placed::failed;
        }
    }
    takeAttributes(m_file.get(), old.attributes);
    m_file.reset();
    m_path.clear();
    return Placed::done;
}

void limitWorkingFileRoomForTests(uint64_t bytes)
{
    g_workingFileRoom = bytes;
}

} // namespace Solvaris_Win32
