#include "settings/printer_settings.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <variant>

#include "baselib/svr_filereplace_win.h"
#include "baselib/svr_filestamp_win.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_heldfile_win.h"
#include "baselib/svr_winutils.h"
#include "settings/config_folder.h"
#include "settings/ini_file.h"
#include "settings/ini_text.h"

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

// A key's value text, read through the profile functions or from a text.
using KeyReader = std::function<std::wstring(const wchar_t* key)>;

// A number or flag read as its value text: an empty or missing value gives
// `f.missing`, a value beyond 32 bits is clamped (parseIniNumber).
uint32_t readNumber(const KeyReader& read, const Field& f, bool isSigned)
{
    const std::wstring text = read(f.readKey);
    return text.empty() ? f.missing : parseIniNumber(text, isSigned);
}

void readField(const KeyReader& read, const Field& f, PrinterSettings& s)
{
    std::visit(OnKind{
                   [&](std::wstring PrinterSettings::*m) { s.*m = read(f.readKey); },
                   [&](int32_t PrinterSettings::*m) { s.*m = int32_t(readNumber(read, f, true)); },
                   [&](uint32_t PrinterSettings::*m) { s.*m = readNumber(read, f, false); },
                   [&](bool PrinterSettings::*m) { s.*m = readNumber(read, f, false) != 0; },
               },
               f.member);
}

std::wstring valueText(const Field& f, const PrinterSettings& s)
{
    return std::visit(OnKind{
                          [&](std::wstring PrinterSettings::*m) { return s.*m; },
                          [&](int32_t PrinterSettings::*m) { return std::to_wstring(uint32_t(s.*m)); },
                          [&](uint32_t PrinterSettings::*m) { return std::to_wstring(s.*m); },
                          [&](bool PrinterSettings::*m) { return std::wstring(s.*m ? L"1" : L"0"); },
                      },
                      f.member);
}

// The record as the file holds it: every key with its value text, in the
// fixed order.
IniValues recordValues(const PrinterSettings& s)
{
    IniValues values;
    for (const Field& f : kFields)
        values.emplace_back(f.writeKey, valueText(f, s));
    return values;
}

// Larger files are no settings file of ours: they are not merged into.
constexpr uint64_t kMaxSettingsSize = 1 << 20;

// How long load waits for a file that is being rewritten or held, and save
// for a file held open (a scanner, the converter reading it) or saved by
// someone else meanwhile; and the pause before each new try. Three seconds,
// as the profile repository waits: on a terminal server many jobs may
// confirm one settings name within a moment.
constexpr uint32_t kWaitMs = 3000;
constexpr uint32_t kRetryMs = 5;

// Every open of the settings file: for reading its bytes, stamp and access
// list, with writers shut out meanwhile. The folder lets every user create
// files, so the file is opened without following links and judged through
// that handle (openSharedFile): a link, or a second name of another user's
// file, is refused with ERROR_CANT_ACCESS_FILE. A name may also turn out to
// be a pipe that someone else serves: the server may identify the user but
// not act as the user.
Solvaris_Win32::UniqueHandle openSettingsFile(const std::wstring& path)
{
    uint32_t error = 0;
    Solvaris_Win32::UniqueHandle file =
        Solvaris_Win32::openSharedFile(Solvaris::String(path.c_str()), GENERIC_READ, FILE_SHARE_READ, &error);
    if (!file)
        SetLastError(error);
    return file;
}

// The file's stamp (not existing when it cannot be opened); `held` when
// another program holds it, `refused` when it is refused as shared (a link,
// a second name of another file).
Solvaris::FileStamp stampNow(const std::wstring& path, bool& held, bool& refused)
{
    const Solvaris_Win32::UniqueHandle file = openSettingsFile(path);
    const DWORD error = file ? ERROR_SUCCESS : GetLastError();
    held = Solvaris_Win32::isFileHeldError(error);
    refused = error == ERROR_CANT_ACCESS_FILE;
    return file ? Solvaris_Win32::stampOfOpenFile(file.get(), kMaxSettingsSize) : Solvaris::FileStamp();
}

// The byte-order marks a settings file may start with, by encoding.
enum class Mark { none, utf8, utf16le, utf16be };
const struct {
    const char* bytes;
    size_t size;
} kMarks[] = {{"", 0}, {"\xEF\xBB\xBF", 3}, {"\xFF\xFE", 2}, {"\xFE\xFF", 2}};

Mark markOf(const std::string& bytes)
{
    for (size_t m = 1; m < sizeof kMarks / sizeof kMarks[0]; ++m) {
        if (bytes.compare(0, kMarks[m].size, kMarks[m].bytes, kMarks[m].size) == 0)
            return Mark(m);
    }
    return Mark::none;
}

// Decodes the file: UTF-16 by its mark (either byte order), UTF-8 by its
// mark, any other file in the ANSI code page, as the profile functions do.
// False when the bytes cannot be decoded.
bool decodeSettingsText(const std::string& bytes, std::wstring& text)
{
    const Mark mark = markOf(bytes);
    const bool little = mark == Mark::utf16le;
    if (little || mark == Mark::utf16be) {
        text.assign((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            const uint8_t a = uint8_t(bytes[2 + 2 * i]), b = uint8_t(bytes[3 + 2 * i]);
            text[i] = wchar_t(little ? a | b << 8 : b | a << 8);
        }
        return true;
    }
    const bool utf8 = mark == Mark::utf8;
    const char* from = bytes.data() + (utf8 ? 3 : 0);
    const int fromSize = int(bytes.size()) - (utf8 ? 3 : 0);
    text.assign(size_t(fromSize), L'\0');
    const int n = fromSize ? MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, 0, from, fromSize, &text[0], fromSize) : 0;
    text.resize(size_t(n > 0 ? n : 0));
    return !fromSize || n > 0;
}

// The file's bytes: UTF-16LE with its mark, so that every name survives.
std::string encodeSettingsText(const std::wstring& text)
{
    std::string bytes(kMarks[int(Mark::utf16le)].bytes, kMarks[int(Mark::utf16le)].size);
    for (const wchar_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char((c >> 8) & 0xFF);
    }
    return bytes;
}

// The text of a settings file that starts with the UTF-8 mark. Windows'
// profile functions do not honour that mark: they would take it for part
// of the first line, miss the section that line opens and read every key
// as missing. Such a file is decoded and read here instead (and the next
// save writes it as UTF-16, which they read). False for any other file.
bool readUtf8MarkedText(const std::wstring& path, std::wstring& text)
{
    Solvaris_Win32::ReplacedFile file;
    return Solvaris_Win32::readReplacedFile(path, openSettingsFile, kMaxSettingsSize, file) == ERROR_SUCCESS &&
           markOf(file.bytes) == Mark::utf8 && decodeSettingsText(file.bytes, text);
}

// A value read from the text of a settings file, cut as GetString cuts.
std::wstring textValue(const std::wstring& text, const wchar_t* key)
{
    const std::wstring value = iniValue(text, L"VJT", key);
    return value.substr(0, std::min(value.find(L'\0'), CIniFile::kMaxValueLength));
}

// Whether the profile functions read every value back from `path` exactly
// as it is meant: a value the file cannot hold (a line break, more than
// the read limit) is a failed save, never a different value in the file.
// The working file is still held by this process while it is read. Should
// the profile functions not open it at all (no key of the section comes
// back: a system whose profile functions ask for sharing the held handle
// does not grant), `text`, the file's text as written, is read by the
// same rules instead, so that no save is refused for that alone.
bool readsBack(const std::wstring& path, const IniValues& values, const std::wstring& text)
{
    wchar_t keys[4] = {};
    const bool opened = GetPrivateProfileStringW(L"VJT", nullptr, L"", keys, 4, path.c_str()) != 0;
    const CIniFile ini(path);
    for (const auto& value : values) {
        const std::wstring read = opened ? ini.GetString(value.first.c_str())
                                         : iniValue(text, L"VJT", value.first).substr(0, CIniFile::kMaxValueLength);
        if (read != value.second)
            return false;
    }
    return true;
}

enum class Outcome { saved, again, failed };

Outcome failedWith(DWORD error)
{
    SetLastError(error);
    return Outcome::failed;
}

// One try of a save: the file read, the record merged into it, written to
// a working file, checked and put in place when the file is still as read.
Outcome saveOnce(const std::wstring& path, const IniValues& values, Solvaris_Win32::HeldFileRetry& retry)
{
    namespace Win = Solvaris_Win32;
    Win::ReplacedFile old;
    if (const DWORD error = Win::readReplacedFile(path, openSettingsFile, kMaxSettingsSize, old))
        return retry.again(Win::isFileHeldError(error)) ? Outcome::again : failedWith(error);
    std::wstring text;
    if (!decodeSettingsText(old.bytes, text))
        return failedWith(ERROR_NO_UNICODE_TRANSLATION);
    const std::wstring merged = mergeIniSection(text, L"VJT", values);
    const std::string bytes = encodeSettingsText(merged);
    Win::WorkingFile work(L"vjt");
    if (const DWORD error = work.write(path, bytes.data(), bytes.size(), old.security.get()))
        return failedWith(error);
    if (!readsBack(work.path(), values, merged))
        return failedWith(ERROR_INVALID_DATA);
    switch (work.place(path, openSettingsFile, old, retry)) {
    case Win::WorkingFile::Placed::done: return Outcome::saved;
    case Win::WorkingFile::Placed::changed:
        return retry.again(true) ? Outcome::again : failedWith(ERROR_SHARING_VIOLATION);
    case Win::WorkingFile::Placed::failed: break;
    }
    return Outcome::failed;
}

} // namespace

void PrinterSettings::setSettingsName(const std::wstring& name)
{
    IniPath = getIniPath(name);
}

// The converter may rewrite the file while this program reads it, and a
// read in between finds an empty or held file, so keys read then would come
// back as their defaults. Each key is read on its own, so the whole read is
// repeated when the file changed while it ran (its stamp), and an empty or
// held file is given a moment, for up to kWaitMs. Each attempt first drops
// the profile functions' cached copy of the file: Wine keeps the copy while
// the write time stays the same. When the time is up the last read stands.
bool PrinterSettings::load()
{
    // Held while the file is read; a folder that cannot be used is not read
    // (the defaults stand), as it is never written.
    ConfigFolder folder;
    if (!folder.usable())
        return true;
    CIniFile ini(IniPath);
    Solvaris_Win32::HeldFileRetry retry(kWaitMs, kRetryMs);
    for (;;) {
        bool held = false, refused = false;
        const Solvaris::FileStamp before = stampNow(IniPath, held, refused);
        // A file refused as shared is not read: the defaults stand, and a
        // save fails.
        if (refused)
            return true;
        if ((held || (before.exists && before.size == 0)) && retry.again(true))
            continue;
        std::wstring text;
        const bool marked = readUtf8MarkedText(IniPath, text);
        const KeyReader read = [&](const wchar_t* key) { return marked ? textValue(text, key) : ini.GetString(key); };
        ini.ForgetCachedCopy();
        for (const Field& f : kFields)
            readField(read, f, *this);
        if (stampNow(IniPath, held, refused) == before || !retry.again(true))
            return true;
    }
}

// The whole record is written as one new file that replaces the old one
// (saveOnce), so the file never holds part of a record, and a failure of
// any kind (a full disk, a value the file cannot hold) leaves the old file
// as it was. A file held by another program, or saved by someone else
// between the read and the replace, is tried again for up to kWaitMs.
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
    const IniValues values = recordValues(*this);
    Solvaris_Win32::HeldFileRetry retry(kWaitMs, kRetryMs);
    Outcome outcome;
    while ((outcome = saveOnce(IniPath, values, retry)) == Outcome::again) {
    }
    return outcome == Outcome::saved;
}
