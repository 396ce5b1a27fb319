#include "settings/printer_settings.h"

#include <windows.h>

#include <string>
#include <variant>

#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_heldfile_win.h"
#include "settings/config_folder.h"
#include "settings/ini_file.h"

namespace {

// One INI key of the record. `member` names the field and, by its type, the
// kind of value: text, a signed or unsigned number, or a flag (written as 0
// or 1). Signed numbers travel as their 32-bit pattern, so -1 is written as
// 4294967295. `missing` is what a number or flag gets when its key is
// missing (text gets an empty string).
struct Field {
    using Member = std::variant<std::wstring PrinterSettings::*, int32_t PrinterSettings::*,
                                uint32_t PrinterSettings::*, bool PrinterSettings::*>;
    const wchar_t* readKey;
    const wchar_t* writeKey;
    Member member;
    uint32_t missing;
};

// Every field in the fixed load and save order. Only the output file name
// is read and written under two spellings of its key.
const Field kFields[] = {
    {L"PrevJobName", L"PrevJobName", &PrinterSettings::PrevJobName, 0},
    {L"OutputFileName", L"OutputFilename", &PrinterSettings::OutputFileName, 0},
    {L"Profile", L"Profile", &PrinterSettings::Profile, 0},
    {L"FgJpxOptions", L"FgJpxOptions", &PrinterSettings::FgJpxOptions, 0},
    {L"BgJpxOptions", L"BgJpxOptions", &PrinterSettings::BgJpxOptions, 0},
    {L"EncodeFlags", L"EncodeFlags", &PrinterSettings::EncodeFlags, 0},
    {L"UsePdfEncodings", L"UsePdfEncodings", &PrinterSettings::UsePdfEncodings, 0},
    {L"CreateTXTz", L"CreateTXTz", &PrinterSettings::CreateTXTz, 1},
    {L"RemoveCharZones", L"RemoveCharZones", &PrinterSettings::RemoveCharZones, 0},
    {L"SilentMode", L"SilentMode", &PrinterSettings::SilentMode, 0},
    {L"CombineSeqPrints", L"CombineSeqPrints", &PrinterSettings::CombineSeqPrints, 0},
    {L"SuppressConfigDialog", L"SuppressConfigDialog", &PrinterSettings::SuppressConfigDialog, 0},
    {L"SeqNoSourceFileName", L"SeqNoSourceFileName", &PrinterSettings::SeqNoSourceFileName, 0},
    {L"WmFileName", L"WmFileName", &PrinterSettings::WmFileName, 0},
    {L"WmPos", L"WmPos", &PrinterSettings::WmPos, 4},
    {L"WmHorzMargin", L"WmHorzMargin", &PrinterSettings::WmHorzMargin, 0},
    {L"WmVertMargin", L"WmVertMargin", &PrinterSettings::WmVertMargin, 0},
    {L"WmMarginUnit", L"WmMarginUnit", &PrinterSettings::WmMarginUnit, 0},
    {L"WmSizeOnDpi", L"WmSizeOnDpi", &PrinterSettings::WmSizeOnDpi, 1},
    {L"WmScale", L"WmScale", &PrinterSettings::WmScale, 0x10000},
    {L"StrokeWidthThreshold", L"StrokeWidthThreshold", &PrinterSettings::StrokeWidthThreshold, 25},
};

template <class... Kinds>
struct OnKind : Kinds... {
    using Kinds::operator()...;
};
template <class... Kinds>
OnKind(Kinds...) -> OnKind<Kinds...>;

void readField(const CIniFile& ini, const Field& f, PrinterSettings& s)
{
    std::visit(OnKind{
                   [&](std::wstring PrinterSettings::*m) { s.*m = ini.GetString(f.readKey); },
                   [&](int32_t PrinterSettings::*m) { s.*m = int32_t(ini.GetInt(f.readKey, f.missing)); },
                   [&](uint32_t PrinterSettings::*m) { s.*m = ini.GetInt(f.readKey, f.missing); },
                   [&](bool PrinterSettings::*m) { s.*m = ini.GetInt(f.readKey, f.missing) != 0; },
               },
               f.member);
}

// False with GetLastError telling why when the key could not be written.
bool writeField(const CIniFile& ini, const Field& f, const PrinterSettings& s)
{
    return std::visit(OnKind{
                          [&](std::wstring PrinterSettings::*m) { return ini.WriteString(f.writeKey, s.*m); },
                          [&](int32_t PrinterSettings::*m) { return ini.WriteInt(f.writeKey, uint32_t(s.*m)); },
                          [&](uint32_t PrinterSettings::*m) { return ini.WriteInt(f.writeKey, s.*m); },
                          [&](bool PrinterSettings::*m) { return ini.WriteInt(f.writeKey, s.*m ? 1u : 0u); },
                      },
                      f.member);
}

// The file's size, last write time and a hash of its bytes, to see whether
// it changed while it was read. Size and time alone do not tell: the file
// system stamps the time in ticks of some milliseconds, so a writer that
// rewrites the file within one tick leaves both as they were.
struct FileStamp {
    bool exists = false;
    bool readable = false;  // its bytes could be read (not held meanwhile)
    uint64_t size = 0;
    uint64_t written = 0;
    uint64_t content = 0;
    bool operator==(const FileStamp& o) const
    {
        return exists == o.exists && readable == o.readable && size == o.size && written == o.written &&
               content == o.content;
    }
};

// Larger files are no settings file of ours and are left as they are.
constexpr DWORD kMaxConvertedSize = 1 << 20;

enum class ReadResult { read, missing, held, unusable };

// Reads the whole file of `size` bytes (as stamped before) into `bytes`,
// sharing it with others as `share` allows.
ReadResult readSettingsFile(const std::wstring& path, uint64_t size, std::string& bytes,
                            DWORD share = FILE_SHARE_READ)
{
    const Solvaris_Win32::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ReadResult::missing
               : Solvaris_Win32::isFileHeldError(error) ? ReadResult::held
                                             : ReadResult::unusable;
    }
    if (size > kMaxConvertedSize)
        return ReadResult::unusable;
    bytes.assign(size_t(size), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), &bytes[0], DWORD(bytes.size()), &got, nullptr) || got != size))
        return ReadResult::unusable;
    return ReadResult::read;
}

// FNV-1a over the file's bytes, read beside any writer; false when they
// cannot be read.
bool hashFile(const std::wstring& path, uint64_t size, uint64_t& hash)
{
    std::string bytes;
    if (readSettingsFile(path, size, bytes, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) !=
        ReadResult::read)
        return false;
    hash = 14695981039346656037ull;
    for (const char c : bytes)
        hash = (hash ^ uint8_t(c)) * 1099511628211ull;
    return true;
}

FileStamp stampOf(const std::wstring& path)
{
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        stamp.exists = true;
        stamp.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        stamp.written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
        // A file too large to be ours is stamped by size and time alone.
        stamp.readable = stamp.size > kMaxConvertedSize || hashFile(path, stamp.size, stamp.content);
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

const unsigned char kUtf16Mark[2] = {0xFF, 0xFE};

// What became of the file's encoding.
enum class Conversion {
    unicode,    // UTF-16 now: it was already, or was started or converted
    leftAsIs,   // not converted (unreadable, too large, not decodable, a
                // write that failed): the save goes on in its encoding
    contended,  // another program held the file or changed it meanwhile:
                // worth trying again
};

// A missing file is started as UTF-16: the mark alone.
Conversion startUnicodeFile(const std::wstring& path)
{
    const Solvaris_Win32::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return Conversion::leftAsIs;
    DWORD written = 0;
    return WriteFile(file.get(), kUtf16Mark, sizeof kUtf16Mark, &written, nullptr) && written == sizeof kUtf16Mark
               ? Conversion::unicode
               : Conversion::leftAsIs;
}

bool startsWith(const std::string& bytes, const char* prefix, size_t n)
{
    return bytes.compare(0, n, prefix, n) == 0;
}

bool isUtf16(const std::string& bytes)
{
    return startsWith(bytes, "\xFF\xFE", 2) || startsWith(bytes, "\xFE\xFF", 2);  // little or big endian
}

// Decodes the file as the profile functions do: a UTF-8 mark is honoured as
// the profile functions of Wine do; any other file is read in the ANSI code
// page. False when the bytes cannot be decoded.
bool decodeSettingsText(const std::string& bytes, std::wstring& text)
{
    const bool utf8 = startsWith(bytes, "\xEF\xBB\xBF", 3);
    const char* from = bytes.data() + (utf8 ? 3 : 0);
    const int fromSize = int(bytes.size()) - (utf8 ? 3 : 0);
    text.assign(size_t(fromSize), L'\0');
    const int n = fromSize ? MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, from, fromSize, &text[0], fromSize) : 0;
    if (fromSize && n <= 0)
        return false;
    text.resize(size_t(n));
    return true;
}

// Writes `text` with the UTF-16 mark over the file at `path`, which must
// still be as `stamp` says. The new file is written through a working file
// of our own, created exclusively and held until it is renamed over the old
// one through the same handle, in one step: the folder lets everyone write,
// so no one may write into it or swap it meanwhile (svr_fileutils.h), and no
// reader ever sees half a file.
Conversion replaceWithUnicode(const std::wstring& path, const std::wstring& text, const FileStamp& stamp)
{
    namespace Internal = Solvaris::_Svr_Internal_NS_;
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    uint32_t error = 0;
    Solvaris::AutoPtr<Solvaris::DiskStorage> work =
        Internal::createWorkingFile(Solvaris::String(folder.c_str()), L"vjt", &error);
    if (!work)
        return Conversion::leftAsIs;
    try {
        work->writeBytes(kUtf16Mark, sizeof kUtf16Mark);
        if (!text.empty())
            work->writeBytes(text.data(), uint32_t(text.size() * sizeof(wchar_t)));
        work->flushBuffer();
    } catch (const Solvaris::Exception&) {
        Internal::discardWorkingFile(work.get());
        return Conversion::leftAsIs;
    }
    // Written in between by someone else: their keys would be lost.
    if (!(stampOf(path) == stamp)) {
        Internal::discardWorkingFile(work.get());
        return Conversion::contended;
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & ~DWORD(FILE_ATTRIBUTE_TEMPORARY);
    if (Internal::renameWorkingFile(work.get(), Solvaris::String(path.c_str()), attributes, true, &error))
        return Conversion::unicode;
    Internal::discardWorkingFile(work.get());
    return Solvaris_Win32::isFileHeldError(error) ? Conversion::contended : Conversion::leftAsIs;
}

// The profile functions keep a file in the encoding it has: one that starts
// with the UTF-16 mark stays UTF-16, any other is written in the ANSI code
// page, where names outside it become "?". So a missing file is started as
// UTF-16, and a file in the ANSI code page (the converter's, or one the
// profile functions created) is converted once, decoded as the profile
// functions decode it. Any failure leaves the file as it was.
Conversion makeUnicodeFile(const std::wstring& path)
{
    const FileStamp stamp = stampOf(path);
    std::string bytes;
    switch (readSettingsFile(path, stamp.size, bytes)) {
    case ReadResult::missing: return startUnicodeFile(path);
    case ReadResult::held: return Conversion::contended;
    case ReadResult::unusable: return Conversion::leftAsIs;
    case ReadResult::read: break;
    }
    if (isUtf16(bytes))
        return Conversion::unicode;
    std::wstring text;
    if (!decodeSettingsText(bytes, text))
        return Conversion::leftAsIs;
    return replaceWithUnicode(path, text, stamp);
}

} // namespace

void PrinterSettings::setSettingsName(const std::wstring& name)
{
    IniPath = getIniPath(name);
}

// The converter may rewrite the file while this program reads it: the
// profile functions then rewrite it whole, and a read in between finds an
// empty or half-written file, so keys read then would come back as their
// defaults. Each key is read on its own, so the whole read is repeated when
// the file changed while it ran (size, write time or bytes; while the writer
// holds the file, reads fail and give defaults too), and an empty or held
// file is given a moment. Each attempt first drops the profile functions'
// cached copy of the file: Wine keeps the copy while the write time stays
// the same, which it does for a rewrite within one tick. After kLoadAttempts
// the last read stands.
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
        const bool unsettled = before.exists && (before.size == 0 || !before.readable);
        if (unsettled && attempt < kLoadAttempts) {
            Sleep(kLoadRetryMs);
            continue;
        }
        ini.ForgetCachedCopy();
        for (const Field& f : kFields)
            readField(ini, f, *this);
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
    Solvaris_Win32::HeldFileRetry retry(kSaveWaitMs, kSaveRetryMs);
    while (makeUnicodeFile(IniPath) == Conversion::contended && retry.again(true)) {
    }
    for (const Field& f : kFields) {
        while (!writeField(ini, f, *this)) {
            if (!retry.again(Solvaris_Win32::isFileHeldError(GetLastError())))
                return false;
        }
    }
    return true;
}
