// Where the settings live and how their folders are made, and the settings
// record against real INI files in the shared config folder. Every test uses
// settings names of its own and deletes its files.
#include "settings/config_folder.h"
#include "settings/ini_file.h"
#include "settings/printer_settings.h"
#include "baselib/svr_filereplace_win.h"
#include "baselib/svr_winutils.h"
#include "support/test_kit_win.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A settings name no other test uses, and its file removed at the end.
class ScratchSettings {
public:
    explicit ScratchSettings(const wchar_t* what)
    {
        name = uitest::uniqueName(what);
        path = getIniPath(name);
        DeleteFileW(path.c_str());
    }
    ~ScratchSettings() { DeleteFileW(path.c_str()); }

    void writeRaw(const std::string& bytes) const { EXPECT_TRUE(testkit::writeFile(path, bytes)); }
    // The file's non-empty lines, decoded from UTF-16 (with its mark) or ASCII.
    std::vector<std::wstring> lines() const
    {
        const std::string bytes = testkit::readFile(path);
        const bool utf16 = bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE;
        std::vector<std::wstring> out(1);
        for (size_t i = utf16 ? 2 : 0; i + (utf16 ? 1 : 0) < bytes.size(); i += utf16 ? 2 : 1) {
            const wchar_t c = wchar_t(uint8_t(bytes[i]) | (utf16 ? uint8_t(bytes[i + 1]) << 8 : 0));
            if (c == L'\n')
                out.emplace_back();
            else if (c != L'\r')
                out.back() += c;
        }
        out.erase(std::remove(out.begin(), out.end(), std::wstring()), out.end());
        return out;
    }
    // The value of `key` in section VJT, or "<missing>".
    std::wstring rawValue(const std::wstring& key) const
    {
        std::vector<wchar_t> value(40000);
        GetPrivateProfileStringW(L"VJT", key.c_str(), L"<missing>", value.data(), DWORD(value.size()), path.c_str());
        return value.data();
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
    p.PrevJobName = L"job 7", p.OutputFileName = L"C:\\out\\report.djvu", p.Profile = L"vjt300";
    p.FgJpxOptions = L"fg", p.BgJpxOptions = L"bg";
    p.SeqNoSourceFileName = L"seq.txt", p.WmFileName = L"C:\\mark.png";
    p.WmPos = 7, p.WmHorzMargin = 11, p.WmVertMargin = 12, p.WmMarginUnit = 2, p.WmScale = 3000;
    p.EncodeFlags = 0x80000001u;
    p.StrokeWidthThreshold = 40;
    p.WmSizeOnDpi = p.CreateTXTz = false;
    p.UsePdfEncodings = p.RemoveCharZones = p.SilentMode = p.CombineSeqPrints = p.SuppressConfigDialog = true;
}

TEST(PrinterSettings, MissingFileGivesTheDefaultsAndSavesWriteAll21KeysInOrder)
{
    ScratchSettings s(L"keys");
    PrinterSettings p;
    p.setSettingsName(s.name);
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

// Values as the converter may write them; each is checked in the file after
// a load and a save, which shows what was loaded.
TEST(PrinterSettings, ValuesWrittenByTheConverterLoadAsTheyShould)
{
    struct Case { std::string file; std::wstring key; std::string savedAs; } cases[] = {
        {"[VJT]\r\nOutputFilename=C:\\lower.djvu\r\n", L"OutputFilename", "C:\\lower.djvu"},
        {"[VJT]\r\nSilentMode=5\r\n", L"SilentMode", "1"},
        {"[VJT]\r\nWmScale=-2\r\n", L"WmScale", "4294967294"},
        // Beyond 32 bits: clamped, as the command line's numbers are, not wrapped.
        {"[VJT]\r\nWmScale=99999999999999999999\r\n", L"WmScale", "2147483647"},
        {"[VJT]\r\nEncodeFlags=99999999999999999999\r\n", L"EncodeFlags", "4294967295"},
        // Blanks around a value and quotes around it survive.
        {"[VJT]\r\nOutputFilename=\" C:\\lead.djvu \"\r\n", L"OutputFilename", " C:\\lead.djvu "},
        {"[VJT]\r\nProfile=\"\"q\"\"\r\n", L"Profile", "\"q\""},
        // Long values come back whole, up to 32767 characters.
        {"[VJT]\r\nWmFileName=" + std::string(40000, 'w') + "\r\n", L"WmFileName", std::string(32767, 'w')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        ScratchSettings s(L"conv");
        s.writeRaw(c.file);
        PrinterSettings p = loaded(s);
        p.save();
        const std::wstring got = s.rawValue(c.key);
        EXPECT_TRUE(got == std::wstring(c.savedAs.begin(), c.savedAs.end()))
            << uitest::narrow(got.substr(0, 40)) << "... (" << got.size() << " characters)";
    }
}

// Names outside the ANSI code page (and of every ANSI code page: Hebrew
// beside Japanese) survive a save, also into a file the converter or the
// profile functions started in the ANSI code page; the keys already there
// keep their values.
TEST(PrinterSettings, NamesOutsideTheAnsiCodePageSurviveASave)
{
    enum Start { None, ProfileFunctions, Utf8Mark };
    for (Start start : {None, ProfileFunctions, Utf8Mark}) {
        SCOPED_TRACE(int(start));
        ScratchSettings s(L"unicode");
        if (start == ProfileFunctions) {
            ASSERT_TRUE(WritePrivateProfileStringW(L"VJT", L"ConverterKey", L"kept, 1", s.path.c_str()));
        }
        if (start == Utf8Mark)
            s.writeRaw("\xEF\xBB\xBF[VJT]\r\nConverterKey=kept, 1 caf\xC3\xA9\r\n");
        PrinterSettings p = loaded(s);
        p.OutputFileName = L"C:\\\u5831\u544A\\r\u00E9sum\u00E9 \u05D0 \u20AC.djvu";
        p.Profile = L"\u30D7\u30ED\u30D5\u30A1\u30A4\u30EB";
        EXPECT_TRUE(p.save());
        PrinterSettings back = loaded(s);
        EXPECT_EQ(p.OutputFileName, back.OutputFileName);
        EXPECT_EQ(p.Profile, back.Profile);
        if (start != None) {
            EXPECT_EQ(start == Utf8Mark ? L"kept, 1 caf\u00E9" : L"kept, 1", s.rawValue(L"ConverterKey"));
        }
    }
}

// The record is merged into the file as found: other sections and keys
// stay, names match whatever their case, the first occurrence of a key is
// replaced in place and every later one goes (the profile functions would
// read a stale first one).
TEST(PrinterSettings, SaveMergesTheRecordIntoTheFileFound)
{
    ScratchSettings s(L"merge");
    s.writeRaw("[Other]\r\nOutputFileName=other\r\n[vjt]\r\n outputfilename = C:\\a.djvu\r\nConverterKey=1\r\n"
               "OUTPUTFILENAME=C:\\b.djvu\r\n[VJT]\r\nOutputFilename=C:\\c.djvu\r\n");
    PrinterSettings p = loaded(s);
    p.OutputFileName = L"C:\\new.djvu";
    ASSERT_TRUE(p.save());
    const std::vector<std::wstring> lines = s.lines();
    const std::vector<std::wstring> head = {L"[Other]", L"OutputFileName=other", L"[vjt]",
                                            L"OutputFilename=C:\\new.djvu", L"ConverterKey=1"};
    ASSERT_EQ(26u, lines.size());  // the head, the 20 other keys, the later section now empty
    EXPECT_EQ(head, std::vector<std::wstring>(lines.begin(), lines.begin() + 5));
    EXPECT_EQ(L"[VJT]", lines.back());
    EXPECT_EQ(L"PrevJobName=", lines[5]);
}

// A save that cannot be completed reports why and leaves the file byte for
// byte as it was (a new name: no file): a full disk, an ANSI file too large
// to be taken over, a value the file cannot hold, a file another program
// holds open for good (waited for a moment, then given up with the system's
// reason).
TEST(PrinterSettings, SaveThatCannotBeCompletedLeavesTheFileAsItWas)
{
    const std::string small = "[VJT]\r\nOutputFilename=C:\\old.djvu\r\n";
    const std::string large = small + "Padding=" + std::string(1 << 20, 'p') + "\r\n";
    enum Setup { plain, secondName, heldOpen };
    struct Case { const char* what; std::string file; uint64_t room; std::wstring output; DWORD error;
                  Setup setup = plain; } cases[] = {
        {"full disk, new name", "", 0, L"C:\\a.djvu", ERROR_DISK_FULL},
        {"full disk, file must grow", small, small.size(), L"C:\\a.djvu", ERROR_DISK_FULL},
        {"ANSI file over 1 MiB", large, ~0ull, L"C:\\\u30C6\u30B9\u30C8-Omega.djvu", ERROR_FILE_TOO_LARGE},
        {"line break in a value", small, ~0ull, L"C:\\a.djvu\r\nSilentMode=1", ERROR_INVALID_DATA},
        // Another user's file given the settings name as a second name:
        // neither read nor replaced.
        {"a second name of another file", small, ~0ull, L"C:\\a.djvu", ERROR_CANT_ACCESS_FILE, secondName},
        {"held open for good", small, ~0ull, L"C:\\a.djvu", ERROR_SHARING_VIOLATION, heldOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchSettings s(L"unsaved");
        const std::wstring other = s.path + L".other";
        if (c.setup == secondName) {
            ASSERT_TRUE(testkit::writeFile(other, c.file));
            ASSERT_TRUE(CreateHardLinkW(s.path.c_str(), other.c_str(), nullptr));
        } else if (!c.file.empty()) {
            s.writeRaw(c.file);
        }
        PrinterSettings p = loaded(s);
        if (c.setup == secondName) {
            EXPECT_EQ(L"", p.OutputFileName) << "a refused file is not read";
        }
        p.OutputFileName = c.output;
        const HANDLE held = c.setup == heldOpen
            ? CreateFileW(s.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE;
        Solvaris_Win32::limitWorkingFileRoomForTests(c.room);
        const bool saved = p.save();
        const DWORD error = GetLastError();
        Solvaris_Win32::limitWorkingFileRoomForTests(~0ull);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_FALSE(saved);
        EXPECT_EQ(c.error, error);
        EXPECT_TRUE(c.file.empty() ? GetFileAttributesW(s.path.c_str()) == INVALID_FILE_ATTRIBUTES
                                   : c.file == testkit::readFile(s.path));
        DeleteFileW(other.c_str());
    }
}

// A file that another program holds open for a moment is waited for:
// released after 50 ms, the save goes through.
TEST(PrinterSettings, SaveWaitsForAFileHeldOpenForAMoment)
{
    ScratchSettings s(L"held");
    s.writeRaw("[VJT]\r\nOutputFilename=C:\\before.djvu\r\n");
    PrinterSettings p = loaded(s);
    p.OutputFileName = L"C:\\after.djvu";
    HANDLE held = CreateFileW(s.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread releaser([&] { Sleep(50); CloseHandle(held); });
    EXPECT_TRUE(p.save());
    releaser.join();
    EXPECT_EQ(L"C:\\after.djvu", s.rawValue(L"OutputFilename"));
}

// A second whole record, away from the defaults in every key it sets as
// fillAll is, so that a missing key reads as neither record.
void fillOther(PrinterSettings& p)
{
    p.OutputFileName = L"C:\\Output\\second, a longer name.djvu";
    p.Profile = L"B";
    p.WmPos = 1, p.EncodeFlags = 0x11u, p.StrokeWidthThreshold = 10;
    p.CreateTXTz = false;
}

// Each key of `got` holds its value in one of the two saved records.
bool eachKeyOfARecord(const PrinterSettings& got)
{
    PrinterSettings r[2];
    fillOther(r[0]);
    fillAll(r[1]);
    auto either = [&](auto member) { return got.*member == r[0].*member || got.*member == r[1].*member; };
    return either(&PrinterSettings::OutputFileName) && either(&PrinterSettings::Profile) &&
           either(&PrinterSettings::WmPos) && either(&PrinterSettings::EncodeFlags) &&
           either(&PrinterSettings::CreateTXTz) && either(&PrinterSettings::StrokeWidthThreshold);
}

} // namespace

// Not a test of its own: a saver process of the test below. It saves one
// whole record (0: fillOther, 1: fillAll) again and again, with short
// pauses, for three seconds, as jobs confirming the same settings name would.
TEST(DISABLED_RecordSaver, Run)
{
    const std::wstring job = testkit::childJob();
    if (job.empty())
        GTEST_SKIP() << "only as a saver of the two-savers test";
    PrinterSettings s;
    s.setSettingsName(job.substr(2));
    job[0] == L'1' ? fillAll(s) : fillOther(s);
    for (const ULONGLONG end = GetTickCount64() + 3000; GetTickCount64() < end; Sleep(5))
        ASSERT_TRUE(s.save()) << "error " << GetLastError();
}

// Two jobs saving the same settings name at once while this process reads
// it, as the converter may: the file holds one whole record or the other,
// never keys of both, and a load finds each key holding one of its values,
// never a cut or missing one.
TEST(PrinterSettings, TwoSaversAtOnceLeaveOneWholeRecord)
{
    ScratchSettings scratch(L"twosaves");
    std::vector<std::wstring> whole[2];
    for (int i = 0; i < 2; ++i) {
        PrinterSettings p;
        p.setSettingsName(scratch.name);
        i ? fillAll(p) : fillOther(p);
        ASSERT_TRUE(p.save());
        whole[i] = scratch.lines();
    }
    uitest::Process savers[2];
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(testkit::startChild(savers[i], L"DISABLED_RecordSaver.Run",
                                        std::to_wstring(i) + L":" + scratch.name));
    int reads = 0, mixed = 0, torn = 0;
    while (savers[0].running() || savers[1].running()) {
        const std::vector<std::wstring> lines = scratch.lines();
        reads += !lines.empty();
        mixed += !lines.empty() && lines != whole[0] && lines != whole[1];
        torn += !eachKeyOfARecord(loaded(scratch));
        Sleep(5);
    }
    for (uitest::Process& saver : savers) {
        ASSERT_TRUE(saver.wait(60000));
        EXPECT_EQ(0u, saver.exitCode());
    }
    EXPECT_GT(reads, 1);
    EXPECT_EQ(0, mixed) << "of " << reads << " reads";
    EXPECT_EQ(0, torn) << "of the loads";
    const std::vector<std::wstring> last = scratch.lines();
    EXPECT_TRUE(last == whole[0] || last == whole[1]);
}

namespace {

// The file lies at <common application data>\Marovent\Vellumjet\<name>.ini;
// the folders are made when absent and used as they are when present.
TEST(ConfigFolder, IniPathAndFoldersAbsentOrPresent)
{
    const std::wstring outer = testkit::commonAppData() + L"\\Marovent";
    const std::wstring inner = outer + L"\\Vellumjet";
    // Removes the folders only when they are empty: files of other runs stay.
    RemoveDirectoryW(inner.c_str());
    RemoveDirectoryW(outer.c_str());
    for (const char* state : {"absent", "present"}) {
        SCOPED_TRACE(state);
        EXPECT_EQ(inner, getConfigFolder());
        EXPECT_TRUE(std::filesystem::is_directory(inner));
        // The name is used as it is.
        EXPECT_EQ(inner + L"\\a b.c.ini", getIniPath(L"a b.c"));
    }
}

// Wine does not map the generic right of the folders' access list, so the
// list handed to the system is judged here.
TEST(ConfigFolder, FolderSecurityGrantsEveryoneFullAccessInheritedByChildren)
{
    std::unique_ptr<FolderSecurity> security = createFolderSecurity();
    ASSERT_TRUE(security);
    PSECURITY_DESCRIPTOR sd = security->attributes.lpSecurityDescriptor;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(sd && GetSecurityDescriptorControl(sd, &control, &revision) &&
                GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl);
    EXPECT_TRUE(control & SE_DACL_AUTO_INHERIT_REQ);
    // One entry; what counts as full control for everyone, inherited:
    // SystemFolders.LinksAndAccessListsAreJudgedByWhatTheSystemShows.
    EXPECT_EQ(1u, dacl->AceCount);
    EXPECT_TRUE(Solvaris_Win32::grantsEveryoneFullControl(dacl));
}

// Runs getConfigFolder on a fresh thread (that first joins the apartment
// `model` when `joinFirst`) and returns what one more CoInitializeEx with that
// model answers afterwards.
HRESULT comAfterConfigFolder(DWORD model, bool joinFirst)
{
    HRESULT again = E_FAIL;
    std::thread([&] {
        const bool joined = joinFirst && SUCCEEDED(CoInitializeEx(nullptr, model));
        getConfigFolder();
        again = CoInitializeEx(nullptr, model);
        if (SUCCEEDED(again))
            CoUninitialize();
        if (joined)
            CoUninitialize();
    }).join();
    return again;
}

TEST(ConfigFolder, LeavesTheCallersComStateAsItWas)
{
    // No COM before: none after (a fresh start gives S_OK, not S_FALSE).
    EXPECT_EQ(S_OK, comAfterConfigFolder(COINIT_APARTMENTTHREADED, false));
    // The caller's single-threaded apartment is still there...
    EXPECT_EQ(S_FALSE, comAfterConfigFolder(COINIT_APARTMENTTHREADED, true));
    // ...and so is a multithreaded one, which the folder lookup could not join.
    EXPECT_EQ(S_FALSE, comAfterConfigFolder(COINIT_MULTITHREADED, true));
}

} // namespace
