// The settings record against real INI files in the shared config folder.
// Every test uses settings names of its own and deletes its files.
#include "settings/config_folder.h"
#include "settings/ini_file.h"
#include "settings/printer_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A settings name no other test uses, and its file removed at the end.
class ScratchSettings {
public:
    explicit ScratchSettings(const wchar_t* what)
    {
        static int serial = 0;
        name = L"pvtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) + L"-" + what;
        path = getIniPath(name);
        DeleteFileW(path.c_str());
    }
    ~ScratchSettings() { DeleteFileW(path.c_str()); }

    // Writes the file as the converter might: raw bytes.
    void writeRaw(const std::string& bytes) const
    {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
        CloseHandle(f);
    }
    // The file's lines, decoded from UTF-16 (with its mark) or ASCII.
    std::vector<std::wstring> lines() const
    {
        std::ifstream in(path.c_str(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::wstring text;
        if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
            for (size_t i = 2; i + 1 < bytes.size(); i += 2)
                text += wchar_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
        } else {
            for (char c : bytes)
                text += wchar_t(uint8_t(c));
        }
        std::vector<std::wstring> out;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            if (!line.empty() && line.back() == L'\r')
                line.pop_back();
            if (!line.empty())
                out.push_back(line);
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
        return out;
    }
    // The value of `key` in section VJT of the file as text (exact key
    // spelling: the profile functions keep the spelling a key already has).
    std::wstring rawValue(const std::wstring& key) const
    {
        bool inVjt = false;
        for (const std::wstring& l : lines()) {
            if (!l.empty() && l[0] == L'[')
                inVjt = _wcsicmp(l.c_str(), L"[VJT]") == 0;
            else if (inVjt && l.compare(0, key.size() + 1, key + L"=") == 0)
                return l.substr(key.size() + 1);
        }
        return L"<missing>";
    }

    std::wstring name;
    std::wstring path;
};

PrinterSettings loaded(const ScratchSettings& s)
{
    PrinterSettings p;
    p.setSettingsName(s.name);
    p.load();
    return p;
}

// Every field set away from its defaults.
void fillAll(PrinterSettings& p)
{
    p.PrevJobName = L"job 7";
    p.OutputFileName = L"C:\\out\\report.djvu";
    p.Profile = L"vjt300";
    p.FgJpxOptions = L"fg";
    p.BgJpxOptions = L"bg";
    p.SeqNoSourceFileName = L"seq.txt";
    p.WmFileName = L"C:\\mark.png";
    p.WmPos = 7;
    p.WmHorzMargin = 11;
    p.WmVertMargin = 12;
    p.WmMarginUnit = 2;
    p.WmSizeOnDpi = false;
    p.WmScale = 3000;
    p.EncodeFlags = 0x80000001u;
    p.UsePdfEncodings = true;
    p.CreateTXTz = false;
    p.RemoveCharZones = true;
    p.SilentMode = true;
    p.CombineSeqPrints = true;
    p.SuppressConfigDialog = true;
    p.StrokeWidthThreshold = 40;
}

TEST(PrinterSettings, MissingFileLoadsTheDefaultsAndASaveWritesAll21Keys)
{
    ScratchSettings s(L"nofile");
    PrinterSettings p;
    p.setSettingsName(s.name);
    EXPECT_EQ(s.path, p.IniPath);
    fillAll(p);  // every read replaces the field, also when the key is missing
    EXPECT_TRUE(p.load());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(s.path.c_str())) << "loading creates no file";
    EXPECT_TRUE(p.save());
    const std::vector<std::wstring> defaults = {
        L"[VJT]", L"PrevJobName=", L"OutputFilename=", L"Profile=", L"FgJpxOptions=", L"BgJpxOptions=",
        L"EncodeFlags=0", L"UsePdfEncodings=0", L"CreateTXTz=1", L"RemoveCharZones=0", L"SilentMode=0",
        L"CombineSeqPrints=0", L"SuppressConfigDialog=0", L"SeqNoSourceFileName=", L"WmFileName=", L"WmPos=4",
        L"WmHorzMargin=0", L"WmVertMargin=0", L"WmMarginUnit=0", L"WmSizeOnDpi=1", L"WmScale=65536",
        L"StrokeWidthThreshold=25",
    };
    EXPECT_EQ(defaults, s.lines());
}

TEST(PrinterSettings, SaveWritesEveryFieldInOrderAndLoadsItBack)
{
    ScratchSettings s(L"keys");
    PrinterSettings p = loaded(s);
    fillAll(p);
    p.WmPos = -1;
    EXPECT_TRUE(p.save());

    const std::vector<std::wstring> expected = {
        L"[VJT]",
        L"PrevJobName=job 7", L"OutputFilename=C:\\out\\report.djvu", L"Profile=vjt300",
        L"FgJpxOptions=fg", L"BgJpxOptions=bg", L"EncodeFlags=2147483649", L"UsePdfEncodings=1",
        L"CreateTXTz=0", L"RemoveCharZones=1", L"SilentMode=1", L"CombineSeqPrints=1",
        L"SuppressConfigDialog=1", L"SeqNoSourceFileName=seq.txt", L"WmFileName=C:\\mark.png",
        L"WmPos=4294967295", L"WmHorzMargin=11", L"WmVertMargin=12", L"WmMarginUnit=2",
        L"WmSizeOnDpi=0", L"WmScale=3000", L"StrokeWidthThreshold=40",
    };
    EXPECT_EQ(expected, s.lines());
    // Loaded into a fresh record and saved again, nothing changes.
    PrinterSettings back = loaded(s);
    EXPECT_EQ(-1, back.WmPos);
    back.save();
    EXPECT_EQ(expected, s.lines());
}

TEST(PrinterSettings, ValuesWrittenByTheConverterLoadAsTheyShould)
{
    struct Case {
        const char* file;
        const wchar_t* key;      // checked in the file after a save
        const wchar_t* savedAs;
        void (*check)(const PrinterSettings&);
    } cases[] = {
        {"[VJT]\r\nOutputFilename=C:\\lower.djvu\r\n", L"OutputFilename", L"C:\\lower.djvu",
         [](const PrinterSettings& p) { EXPECT_EQ(L"C:\\lower.djvu", p.OutputFileName); }},
        {"[vjt]\r\noutputfilename=C:\\any.djvu\r\n", L"outputfilename", L"C:\\any.djvu",
         [](const PrinterSettings& p) { EXPECT_EQ(L"C:\\any.djvu", p.OutputFileName); }},
        {"[VJT]\r\nSilentMode=5\r\n", L"SilentMode", L"1",
         [](const PrinterSettings& p) { EXPECT_TRUE(p.SilentMode); }},
        {"[VJT]\r\nCreateTXTz=0\r\nWmSizeOnDpi=0\r\n", L"CreateTXTz", L"0",
         [](const PrinterSettings& p) {
             EXPECT_FALSE(p.CreateTXTz);
             EXPECT_FALSE(p.WmSizeOnDpi);
         }},
        {"[VJT]\r\nWmPos=4294967295\r\n", L"WmPos", L"4294967295",
         [](const PrinterSettings& p) { EXPECT_EQ(-1, p.WmPos); }},
        {"[VJT]\r\nWmScale=-2\r\n", L"WmScale", L"4294967294",
         [](const PrinterSettings& p) { EXPECT_EQ(-2, p.WmScale); }},
        {"[Other]\r\nProfile=wrong\r\n[VJT]\r\nProfile=right\r\n", L"Profile", L"right",
         [](const PrinterSettings& p) { EXPECT_EQ(L"right", p.Profile); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ScratchSettings s(L"conv");
        s.writeRaw(c.file);
        PrinterSettings p = loaded(s);
        c.check(p);
        p.save();
        EXPECT_EQ(c.savedAs, s.rawValue(c.key));
    }
}

TEST(PrinterSettings, LongStringsAreCutTo259Characters)
{
    for (size_t length : {258u, 259u, 260u, 1000u}) {
        ScratchSettings s(L"long");
        std::string value;
        for (size_t i = 0; i < length; ++i)
            value += char('a' + i % 26);
        s.writeRaw("[VJT]\r\nProfile=" + value + "\r\nWmFileName=" + value + "\r\n");
        PrinterSettings p = loaded(s);
        std::wstring expected(value.begin(), value.begin() + std::min<size_t>(length, 259));
        EXPECT_EQ(expected, p.Profile) << length;
        EXPECT_EQ(expected, p.WmFileName) << length;
    }
}

TEST(PrinterSettings, NamesOutsideTheAnsiCodePageSurviveASaveOfANewFile)
{
    ScratchSettings s(L"unicode");
    PrinterSettings p = loaded(s);
    p.OutputFileName = L"C:\\\u66F8\u985E\\r\u00E9sum\u00E9 \u20AC.djvu";
    p.Profile = L"\u30D7\u30ED\u30D5\u30A1\u30A4\u30EB";
    p.save();
    PrinterSettings back = loaded(s);
    EXPECT_EQ(p.OutputFileName, back.OutputFileName);
    EXPECT_EQ(p.Profile, back.Profile);
}

TEST(PrinterSettings, AnAnsiFileOfTheConverterStaysReadableAfterASave)
{
    ScratchSettings s(L"ansi");
    s.writeRaw("[VJT]\r\nPrevJobName=old job\r\nEncodeFlags=12\r\n");
    PrinterSettings p = loaded(s);
    p.Profile = L"chosen";
    p.save();
    EXPECT_EQ(L"old job", s.rawValue(L"PrevJobName"));
    EXPECT_EQ(L"chosen", s.rawValue(L"Profile"));
    EXPECT_EQ(L"12", s.rawValue(L"EncodeFlags"));
}

} // namespace
