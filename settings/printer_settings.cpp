#include "settings/printer_settings.h"

#include <windows.h>

#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "settings/config_folder.h"
#include "settings/ini_file.h"

namespace {

// Visits every field in the fixed load and save order (strings, numbers and
// flags, strings, numbers and flags). `apply` gets the key to read, the key
// to write, exactly one of the three field pointers, and for numbers and
// flags the value of a missing key. Signed numbers travel as their 32-bit
// pattern, so -1 is written as 4294967295.
template <class Apply>
void forEachField(PrinterSettings& s, Apply apply)
{
    auto str = [&](const wchar_t* key, std::wstring& v) { apply(key, key, &v, nullptr, nullptr, 0u); };
    auto num = [&](const wchar_t* key, int32_t& v, uint32_t missing) {
        apply(key, key, nullptr, reinterpret_cast<uint32_t*>(&v), nullptr, missing);
    };
    auto flag = [&](const wchar_t* key, bool& v, uint32_t missing) {
        apply(key, key, nullptr, nullptr, &v, missing);
    };
    str(L"PrevJobName", s.PrevJobName);
    apply(L"OutputFileName", L"OutputFilename", &s.OutputFileName, nullptr, nullptr, 0u);
    str(L"Profile", s.Profile);
    str(L"FgJpxOptions", s.FgJpxOptions);
    str(L"BgJpxOptions", s.BgJpxOptions);
    apply(L"EncodeFlags", L"EncodeFlags", nullptr, &s.EncodeFlags, nullptr, 0u);
    flag(L"UsePdfEncodings", s.UsePdfEncodings, 0);
    flag(L"CreateTXTz", s.CreateTXTz, 1);
    flag(L"RemoveCharZones", s.RemoveCharZones, 0);
    flag(L"SilentMode", s.SilentMode, 0);
    flag(L"CombineSeqPrints", s.CombineSeqPrints, 0);
    flag(L"SuppressConfigDialog", s.SuppressConfigDialog, 0);
    str(L"SeqNoSourceFileName", s.SeqNoSourceFileName);
    str(L"WmFileName", s.WmFileName);
    num(L"WmPos", s.WmPos, 4);
    num(L"WmHorzMargin", s.WmHorzMargin, 0);
    num(L"WmVertMargin", s.WmVertMargin, 0);
    num(L"WmMarginUnit", s.WmMarginUnit, 0);
    flag(L"WmSizeOnDpi", s.WmSizeOnDpi, 1);
    num(L"WmScale", s.WmScale, 0x10000);
    num(L"StrokeWidthThreshold", s.StrokeWidthThreshold, 25);
}

// The file's size and last write time, to see whether it changed while it
// was read.
struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    uint64_t written = 0;
    bool operator==(const FileStamp& o) const { return exists == o.exists && size == o.size && written == o.written; }
};

FileStamp stampOf(const std::wstring& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        stamp.exists = true;
        stamp.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp.written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    }
    return stamp;
}

// How often load reads again when the file changed under it, and how long it
// waits before each new try: a save of all keys takes some tens of
// milliseconds, so this covers a writer that saves several times in a row.
constexpr int kLoadAttempts = 200;
constexpr DWORD kLoadRetryMs = 5;

// How long save waits for a file that another program holds open (a
// scanner, or the converter reading it) before it gives up, and how long it
// waits before each new try; as long as load waits for a writer.
constexpr DWORD kSaveWaitMs = 1000;
constexpr DWORD kSaveRetryMs = 5;

bool isBusy(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Larger files are no settings file of ours and are left as they are.
constexpr DWORD kMaxConvertedSize = 1 << 20;

// The profile functions keep a file in the encoding it has: one that starts
// with the UTF-16 mark stays UTF-16, any other is written in the ANSI code
// page, where names outside it become "?". So a missing file is started as
// UTF-16 (a mark alone), and a file in the ANSI code page (the converter's,
// or one the profile functions created) is converted once: decoded as the
// profile functions decode it, written with the mark to a new file in the
// same folder and moved over the old one in one step, so no reader ever
// sees half a file. Any failure leaves the file as it was and the save goes
// on in its encoding; false only when another program held the file or
// changed it meanwhile, so that the caller may try again.
bool makeUnicodeFile(const std::wstring& path)
{
    static const unsigned char mark[2] = {0xFF, 0xFE};
    const FileStamp stamp = stampOf(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            return !isBusy(GetLastError());
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, mark, sizeof mark, &written, nullptr);
            CloseHandle(file);
        }
        return true;
    }
    std::string bytes(stamp.size <= kMaxConvertedSize ? size_t(stamp.size) : 0, '\0');
    DWORD got = 0;
    const bool read = stamp.size <= kMaxConvertedSize &&
                      (bytes.empty() || ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr));
    CloseHandle(file);
    if (!read || got != bytes.size())
        return true;
    auto startsWith = [&](const char* prefix, size_t n) { return bytes.compare(0, n, prefix, n) == 0; };
    if (startsWith("\xFF\xFE", 2) || startsWith("\xFE\xFF", 2))
        return true;  // UTF-16 already (little or big endian)
    // A UTF-8 mark is honoured as the profile functions of Wine do; any other
    // file is read in the ANSI code page.
    const bool utf8 = startsWith("\xEF\xBB\xBF", 3);
    const char* from = bytes.data() + (utf8 ? 3 : 0);
    const int fromSize = int(bytes.size()) - (utf8 ? 3 : 0);
    std::wstring text(fromSize, L'\0');
    const int n = fromSize ? MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, from, fromSize, &text[0], fromSize) : 0;
    if (fromSize && n <= 0)
        return true;
    text.resize(n);

    // The new file is written through a working file of our own, created
    // exclusively and held until it is renamed over the old one through the
    // same handle: the folder lets everyone write, so no one may write into
    // it or swap it meanwhile (svr_fileutils.h).
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    uint32_t error = 0;
    Solvaris::AutoPtr<Solvaris::DiskStorage> work =
        Solvaris::_Svr_Internal_NS_::createWorkingFile(Solvaris::String(folder.c_str()), L"vjt", &error);
    if (!work)
        return true;
    bool written = true;
    try {
        work->writeBytes(mark, sizeof mark);
        if (!text.empty())
            work->writeBytes(text.data(), uint32_t(text.size() * sizeof(wchar_t)));
        work->flushBuffer();
    } catch (const Solvaris::Exception&) {
        written = false;
    }
    // Written in between by someone else: their keys would be lost.
    const bool unchanged = stampOf(path) == stamp;
    DWORD attributes = GetFileAttributesW(path.c_str());
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & ~DWORD(FILE_ATTRIBUTE_TEMPORARY);
    if (written && unchanged &&
        Solvaris::_Svr_Internal_NS_::renameWorkingFile(work.get(), Solvaris::String(path.c_str()), attributes, true,
                                                       &error))
        return true;
    Solvaris::_Svr_Internal_NS_::discardWorkingFile(work.get());
    if (!written)
        return true;
    return unchanged && !isBusy(error);
}

} // namespace

void PrinterSettings::setSettingsName(const std::wstring& name)
{
    IniPath = getIniPath(name);
}

// The converter may rewrite the file while this program reads it: the
// profile functions then rewrite it whole, and a read in between finds an
// empty file, so keys read then would come back as their defaults. Each key
// is read on its own, so the whole read is repeated when the file changed
// while it ran (size or write time; while the writer holds the file, reads
// fail and give defaults too), and an empty file is given a moment to be
// filled. After kLoadAttempts the last read stands.
bool PrinterSettings::load()
{
    // Held while the file is read; a folder that cannot be used is not read
    // (the defaults stand), as it is never written.
    ConfigFolder folder;
    if (!folder.usable())
        return true;
    CIniFile ini(IniPath);
    for (int attempt = 1;; ++attempt) {
        const FileStamp before = stampOf(IniPath);
        if (before.exists && before.size == 0 && attempt < kLoadAttempts) {
            Sleep(kLoadRetryMs);
            continue;
        }
        forEachField(*this, [&](const wchar_t* key, const wchar_t*, std::wstring* str, uint32_t* num, bool* flag,
                                uint32_t missing) {
            if (str)
                *str = ini.GetString(key);
            else if (num)
                *num = ini.GetInt(key, missing);
            else
                *flag = ini.GetInt(key, missing) != 0;
        });
        if (stampOf(IniPath) == before || attempt >= kLoadAttempts)
            return true;
        Sleep(kLoadRetryMs);
    }
}

// Another program may hold the file for a moment (a scanner, or the
// converter reading it): each write that finds the file held is tried again
// until kSaveWaitMs have passed since the save began. The first write that
// still fails ends the save; GetLastError then tells why.
bool PrinterSettings::save()
{
    // Held while the file is written, so that neither level of it can be
    // swapped for a link meanwhile; one that is a link already (or no
    // folder) is not written at all.
    ConfigFolder folder;
    if (!folder.usable()) {
        SetLastError(folder.error());
        return false;
    }
    CIniFile ini(IniPath);
    const ULONGLONG deadline = GetTickCount64() + kSaveWaitMs;
    auto mayRetry = [&] {
        if (!isBusy(GetLastError()) || GetTickCount64() >= deadline)
            return false;
        Sleep(kSaveRetryMs);
        return true;
    };
    while (!makeUnicodeFile(IniPath) && GetTickCount64() < deadline)
        Sleep(kSaveRetryMs);
    bool saved = true;
    forEachField(*this, [&](const wchar_t*, const wchar_t* key, std::wstring* str, uint32_t* num, bool* flag,
                            uint32_t) {
        while (saved) {
            if (str ? ini.WriteString(key, *str) : ini.WriteInt(key, num ? *num : (*flag ? 1u : 0u)))
                return;
            saved = mayRetry();
        }
    });
    return saved;
}
