#include "settings/printer_settings.h"

#include <windows.h>

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

// A new file is started as UTF-16 (a byte order mark alone): the profile
// functions then keep it in UTF-16, so paths and names outside the ANSI code
// page survive. A file that exists is left as it is.
void startUnicodeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    static const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, bom, sizeof bom, &written, nullptr);
    CloseHandle(file);
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

bool PrinterSettings::save()
{
    CIniFile ini(IniPath);
    startUnicodeFile(IniPath);
    forEachField(*this, [&](const wchar_t*, const wchar_t* key, std::wstring* str, uint32_t* num, bool* flag,
                            uint32_t) {
        if (str)
            ini.WriteString(key, *str);
        else if (num)
            ini.WriteInt(key, *num);
        else
            ini.WriteInt(key, *flag ? 1u : 0u);
    });
    return true;
}
