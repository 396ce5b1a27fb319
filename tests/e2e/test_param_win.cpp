// The -param mode seen from the converter's side: the real program is
// started with a page, its dialog answered from outside, and the full 32-bit
// exit code and the shared settings file checked afterwards.
#include "app/core/page_image.h"
#include "app/param_test_support.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace uitest;
using paramtest::writeBytes;

namespace {

const DWORD kWait = 15000;

// The shared settings file for a settings name, as the converter finds it.
std::wstring iniPathFor(const std::wstring& name)
{
    // Bound at run time: the test program does not link the shell library.
    using Fn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    static const Fn getFolder = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHGetFolderPathW")));
    wchar_t folder[MAX_PATH] = {};
    if (getFolder)
        getFolder(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder);
    // A fresh system has no settings folder yet; the converter makes it.
    std::wstring path = std::wstring(folder) + L"\\Marovent";
    CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\Vellumjet";
    CreateDirectoryW(path.c_str(), nullptr);
    return path + L"\\" + name + L".ini";
}

std::string readAll(const std::wstring& path, bool& exists)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    exists = f != INVALID_HANDLE_VALUE;
    std::string out;
    if (!exists)
        return out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

// Key -> value of section VJT.
std::map<std::wstring, std::wstring> iniKeys(const std::wstring& path)
{
    std::vector<wchar_t> buf(32768);
    DWORD n = GetPrivateProfileSectionW(L"VJT", buf.data(), DWORD(buf.size()), path.c_str());
    std::map<std::wstring, std::wstring> keys;
    for (const wchar_t* p = buf.data(); p < buf.data() + n && *p; p += wcslen(p) + 1) {
        std::wstring line = p;
        size_t eq = line.find(L'=');
        if (eq != std::wstring::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

struct TempFiles {
    std::vector<std::wstring> paths;
    ~TempFiles()
    {
        for (const std::wstring& p : paths)
            DeleteFileW(p.c_str());
    }
};

std::wstring tempFile(const std::wstring& name)
{
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return std::wstring(tmp) + name;
}

std::vector<uint8_t> pageFile(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> px(size_t(w) * h * 3, 0xF0);
    for (uint32_t y = h / 8; y < h / 5; ++y)
        for (uint32_t x = w / 8; x < w / 2; ++x)
            px[(size_t(y) * w + x) * 3] = px[(size_t(y) * w + x) * 3 + 1] = px[(size_t(y) * w + x) * 3 + 2] = 0x20;
    return encodePageImage(w, h, ((w * 3 + 3) & ~3u) + 4, px.data());
}

std::wstring uniqueName(const wchar_t* what)
{
    static int n = 0;
    return std::wstring(L"pvtest-") + what + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++n);
}

} // namespace

TEST(ParamMode, ExitCodesAndTheSettingsFile)
{
    enum Action { OkChecked, OkCleared, Cancel, Escape, Skip };
    struct Case {
        const char* what;
        Action action;
        DWORD expected;
    } cases[] = {
        {"OK with the box checked", OkChecked, 1877},
        {"OK with the box cleared", OkCleared, 1},
        {"Cancel", Cancel, 2},
        {"Escape", Escape, 2},
        {"Skip Page", Skip, 1878},
    };
    TempFiles files;
    const std::wstring image = tempFile(L"pvtest-e2e-page.img");
    files.paths.push_back(image);
    ASSERT_TRUE(writeBytes(image, pageFile(620, 877)));
    const std::wstring typed = tempFile(L"pvtest-e2e-out.djvu");
    DeleteFileW(typed.c_str());

    for (const Case& c : cases) {
        const std::wstring name = uniqueName(L"e2e");
        const std::wstring ini = iniPathFor(name);
        files.paths.push_back(ini);
        // A settings file as the converter left it: a value of its own that
        // must survive, an empty profile, no TXTz.
        std::string before = "[VJT]\r\nWmScale=123\r\nCreateTXTz=0\r\nOutputFilename=C:\\pre.djvu\r\n";
        ASSERT_TRUE(writeBytes(ini, std::vector<uint8_t>(before.begin(), before.end()))) << "config folder";

        Process p;
        ASSERT_TRUE(p.start(commandLine(programPath(L"PrintvaneUI.exe"),
                                        {L"-param", name, image, L"0", L"150", L"620", L"877", L"1"})))
            << narrow(p.error());
        HWND dlg = waitForWindow(p.pid(), kWait, L"#32770", p.handle());
        ASSERT_TRUE(dlg) << c.what;
        EXPECT_EQ(controlText(dlg, 2001), L"C:\\pre.djvu") << c.what;
        SendMessageW(findControl(dlg, 2001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        SendMessageW(findControl(dlg, 1008), BM_SETCHECK, c.action == OkCleared ? BST_UNCHECKED : BST_CHECKED, 0);
        switch (c.action) {
        case Cancel: pressButton(dlg, IDCANCEL); break;
        case Skip: pressButton(dlg, 3); break;
        case Escape:
            PostMessageW(findControl(dlg, 2003), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageW(findControl(dlg, 2003), WM_KEYUP, VK_ESCAPE, 0xC0010001);
            break;
        default: pressButton(dlg, IDOK); break;
        }
        ASSERT_TRUE(p.wait(kWait)) << c.what;
        EXPECT_EQ(p.exitCode(), c.expected) << c.what;

        bool exists = false;
        const std::string after = readAll(ini, exists);
        if (c.expected == 1 || c.expected == 1877) {
            std::map<std::wstring, std::wstring> keys = iniKeys(ini);
            EXPECT_EQ(keys.size(), 21u) << c.what;
            for (const wchar_t* k :
                 {L"PrevJobName", L"OutputFilename", L"Profile", L"FgJpxOptions", L"BgJpxOptions", L"EncodeFlags",
                  L"UsePdfEncodings", L"CreateTXTz", L"RemoveCharZones", L"SilentMode", L"CombineSeqPrints",
                  L"SuppressConfigDialog", L"SeqNoSourceFileName", L"WmFileName", L"WmPos", L"WmHorzMargin",
                  L"WmVertMargin", L"WmMarginUnit", L"WmSizeOnDpi", L"WmScale", L"StrokeWidthThreshold"}) {
                bool found = false;
                for (const auto& kv : keys)
                    found = found || CompareStringOrdinal(kv.first.c_str(), -1, k, -1, TRUE) == CSTR_EQUAL;
                EXPECT_TRUE(found) << c.what << ": key " << narrow(k);
            }
            wchar_t v[300] = {};
            GetPrivateProfileStringW(L"VJT", L"OutputFileName", L"", v, 300, ini.c_str());
            EXPECT_EQ(std::wstring(v), typed) << c.what;
            GetPrivateProfileStringW(L"VJT", L"Profile", L"", v, 300, ini.c_str());
            EXPECT_EQ(std::wstring(v), L"sdk_default") << c.what;
            EXPECT_EQ(GetPrivateProfileIntW(L"VJT", L"CreateTXTz", 7, ini.c_str()), 1u) << c.what;
            EXPECT_EQ(GetPrivateProfileIntW(L"VJT", L"WmScale", 7, ini.c_str()), 123u) << c.what;
        } else {
            EXPECT_TRUE(exists) << c.what;
            EXPECT_EQ(after, before) << c.what << ": the settings file must stay untouched";
        }
    }
}

TEST(ParamMode, ScreenshotsInTheUsersLanguage)
{
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    TempFiles files;
    struct Case {
        const wchar_t* shape;
        uint32_t w, h;
        int page;
    } cases[] = {{L"page1-portrait", 1240, 1754, 1}, {L"page2-landscape", 1754, 1240, 2}};
    for (const Case& c : cases) {
        const std::wstring image = tempFile(L"pvtest-shot.img");
        files.paths.push_back(image);
        ASSERT_TRUE(writeBytes(image, pageFile(c.w, c.h)));
        const std::wstring name = uniqueName(L"shot");
        files.paths.push_back(iniPathFor(name));
        Process p;
        ASSERT_TRUE(p.start(commandLine(programPath(L"PrintvaneUI.exe"),
                                        {L"-param", name, image, L"0", L"150", std::to_wstring(c.w),
                                         std::to_wstring(c.h), std::to_wstring(c.page)})));
        HWND dlg = waitForWindow(p.pid(), kWait, L"#32770", p.handle());
        ASSERT_TRUE(dlg);
        Sleep(800);   // past the attention flash
        EXPECT_FALSE(saveScreenshot(dlg, L"param-e2e-" + std::wstring(c.shape) + L"_" + locale).empty());
        pressButton(dlg, IDCANCEL);
        ASSERT_TRUE(p.wait(kWait));
        EXPECT_EQ(p.exitCode(), 2u);
    }
}

// The converter stand-in's print job follows each -param answer: 1877 keeps
// the answer for the following pages, 1878 skips a page, 2 ends the job.
TEST(ParamMode, DemoJobFollowsEachAnswer)
{
    struct Case {
        const wchar_t* answers;
        std::vector<std::string> lines;
    } cases[] = {
        {L"same", {"page 1: 1877", "job done; converted 1,2,3; skipped "}},
        {L"ok,skip,ok", {"page 1: 1", "page 2: 1878", "page 3: 1", "job done; converted 1,3; skipped 2"}},
        {L"skip,same", {"page 1: 1878", "page 2: 1877", "job done; converted 2,3; skipped 1"}},
        {L"ok,cancel", {"page 1: 1", "page 2: 2", "job cancelled; converted 1; skipped "}},
    };
    TempFiles files;
    for (const Case& c : cases) {
        const std::wstring name = uniqueName(L"demo");
        const std::wstring report = tempFile(name + L".txt");
        files.paths.push_back(report);
        files.paths.push_back(iniPathFor(name));
        RunResult r = runProgram(commandLine(programPath(L"converter.exe"),
                                             {L"demo", L"--auto", L"--answers", c.answers, L"--settings", name,
                                              L"--out", tempFile(name + L".djvu"), L"--report", report}),
                                 180000);
        ASSERT_TRUE(r.started);
        ASSERT_TRUE(r.ended) << narrow(c.answers);
        EXPECT_EQ(r.exitCode, 0u) << narrow(c.answers);
        bool exists = false;
        std::string text = readAll(report, exists);
        std::vector<std::string> lines;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        EXPECT_EQ(lines, c.lines) << narrow(c.answers);
    }
}

// The profile box's trace lines reach the standard output: the name looked
// for, and the position of the entry that matched it.
TEST(ParamMode, ProfileTraceLinesOnStandardOutput)
{
    struct Case {
        const char* stored;
        std::string expected;
    } cases[] = {
        {"", "UpdateProfileCombo: name=vjt600\n"},
        {"sdk_default", "UpdateProfileCombo: name=sdk_default\nUpdateProfileCombo: index=0 for sdk_default\n"},
    };
    TempFiles files;
    const std::wstring image = tempFile(L"pvtest-trace.img");
    const std::wstring out = tempFile(L"pvtest-trace.txt");
    files.paths = {image, out};
    ASSERT_TRUE(writeBytes(image, pageFile(50, 70)));
    for (const Case& c : cases) {
        const std::wstring name = uniqueName(L"trace");
        const std::wstring ini = iniPathFor(name);
        files.paths.push_back(ini);
        WritePrivateProfileStringW(L"VJT", L"Profile", std::wstring(c.stored, c.stored + strlen(c.stored)).c_str(),
                                   ini.c_str());
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = file;
        PROCESS_INFORMATION pi = {};
        std::wstring cmd = commandLine(programPath(L"PrintvaneUI.exe"),
                                       {L"-param", name, image, L"0", L"600", L"50", L"70", L"2"});
        ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(file);
        CloseHandle(pi.hThread);
        HWND dlg = waitForWindow(pi.dwProcessId, kWait, L"#32770", pi.hProcess);
        if (dlg)
            pressButton(dlg, IDCANCEL);
        if (WaitForSingleObject(pi.hProcess, kWait) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 0xDEAD);
        CloseHandle(pi.hProcess);
        ASSERT_TRUE(dlg) << c.stored;
        bool exists = false;
        std::string text = readAll(out, exists);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        EXPECT_EQ(text, c.expected) << c.stored;
    }
}
