// The -param mode seen from the converter's side: the real program is
// started with a page, its dialog answered from outside, and the full 32-bit
// exit code and the shared settings file checked afterwards.
#include "app/param_test_support.h"
#include "app/res/resource.h"
#include "settings/config_folder.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace uitest;
using paramtest::writeBytes;
using testkit::readFile;
using testkit::readLines;

namespace {

// A light blue page whose rows are padded, so its shape shows in the pictures.
std::vector<uint8_t> pageFile(uint32_t w, uint32_t h) { return paramtest::solidPage(w, h, w * 3 + 4, 0xE0, 0xC0, 0xA0); }

} // namespace

TEST(ParamMode, ExitCodesAndTheSettingsFile)
{
    // Escape, the close box and the stored key names are checked in-process.
    // The settings file held open by another program when the user presses
    // OK: the program says so instead of ending as if the answer were
    // stored; Cancel answers "cancelled" (the converter must not encode with
    // the previous job's settings) and leaves the file as it was, Retry
    // after the file is released stores the answer. The end of the session
    // is let through but changes nothing until it really comes; then the
    // page is answered as cancelled.
    enum Action { OkChecked, OkCleared, Cancel, Skip, HeldThenCancel, HeldThenRetry, SignOut };
    // The profile list comes from the repository in the folder SVRDBDIR
    // names, which the program inherits: an empty folder gives the built-in
    // "sdk_default" alone; a repository file its own profiles.
    struct Case { const char* what; Action action; DWORD expected; bool repository;
                  std::string storedProfile, savedProfile; } cases[] = {
        {"OK with the box checked", OkChecked, 1877, false, "", "sdk_default"},
        {"OK with the box cleared", OkCleared, 1, false, "sdk_default", "sdk_default"},
        {"Cancel", Cancel, 2, false, "", ""},
        {"Skip Page", Skip, 1878, false, "sdk_default", ""},
        {"the session ends", SignOut, 2, false, "sdk_default", ""},
        {"OK on a held file, then Cancel", HeldThenCancel, 2, false, "sdk_default", ""},
        {"OK on a held file, then Retry once it is free", HeldThenRetry, 1, false, "sdk_default", "sdk_default"},
        // Which profile a stored name selects: ParamLogic.ProfileSelectionIsTheExactMatchOrTheFirst.
        {"OK keeps a stored profile the repository has", OkCleared, 1, true, "vjt300", "vjt300"},
    };
    testkit::ScratchFolder emptyFolder("empty"), repositoryFolder("repository");
    const std::string repository = paramtest::kRepository;
    ASSERT_TRUE(uitest::writeFile(repositoryFolder.wide(L"db0.dprepo"), repository));
    struct RestoreVariable {
        ~RestoreVariable() { SetEnvironmentVariableW(L"SVRDBDIR", nullptr); }
    } restore;
    testkit::ScratchFolder scratch("e2e");
    const std::wstring image = scratch.wide(L"page.img");
    const std::wstring typed = scratch.wide(L"out.djvu");
    ASSERT_TRUE(writeBytes(image, pageFile(620, 877)));
    RemoveAtEnd files;

    for (const Case& c : cases) {
        SetEnvironmentVariableW(L"SVRDBDIR", (c.repository ? repositoryFolder : emptyFolder).path().wstring().c_str());
        const std::wstring name = uniqueName(L"e2e");
        const std::wstring ini = getIniPath(name);
        files.add(ini);
        // A settings file as the converter left it: a value of its own that
        // must survive, a profile name or none, no TXTz.
        std::string before = "[VJT]\r\nWmScale=123\r\nCreateTXTz=0\r\nOutputFilename=C:\\pre.djvu\r\nProfile=" +
                             c.storedProfile + "\r\n";
        ASSERT_TRUE(writeFile(ini, before)) << "config folder";

        Process p;
        ASSERT_TRUE(p.start(commandLine(productProgram(),
                                        {L"-param", name, image, L"0", L"150", L"620", L"877", L"1"})))
            << narrow(p.error());
        HWND dlg = waitForWindow(p.pid(), kProgramWait, L"#32770", p.handle());
        ASSERT_TRUE(dlg) << c.what;
        EXPECT_EQ(controlText(dlg, IDC_OUTPUT_FILE), L"C:\\pre.djvu") << c.what;
        // Listing the profiles reads a local file: the page dialog fetches
        // nothing over HTTP and chooses no certificate, and its preview is
        // scaled and painted without GDI+, and no screen reader asks for the
        // accessibility layer, so none of these is loaded.
        const std::vector<std::wstring> modules = loadedModules(p.handle());
        ASSERT_FALSE(modules.empty());
        for (const wchar_t* unused : {L"winhttp.dll", L"crypt32.dll", L"gdiplus.dll", L"oleacc.dll"})
            EXPECT_EQ(std::count(modules.begin(), modules.end(), unused), 0) << c.what << ": " << narrow(unused);
        SendMessageW(findControl(dlg, IDC_OUTPUT_FILE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        const bool held = c.action == HeldThenCancel || c.action == HeldThenRetry;
        SendMessageW(findControl(dlg, IDC_SAME_CONFIG), BM_SETCHECK,
                     c.action == OkCleared || held ? BST_UNCHECKED : BST_CHECKED, 0);
        Solvaris_Win32::UniqueHandle holder(
            held ? CreateFileW(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr);
        ASSERT_EQ(bool(holder), held);
        if (c.action == SignOut) {
            EXPECT_EQ(SendMessageW(dlg, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
            SendMessageW(dlg, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
            EXPECT_TRUE(IsWindowVisible(dlg) && p.running()) << "an end that did not come changes nothing";
            PostMessageW(dlg, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        } else {
            pressButton(dlg, c.action == Cancel ? IDCANCEL : c.action == Skip ? IDC_SKIP_PAGE : IDOK);
        }
        // The box that says the settings could not be saved (Retry, Cancel).
        if (HWND box = held ? waitForWindow(p.pid(), kProgramWait, L"#32770", p.handle(), dlg) : nullptr) {
            EXPECT_NE(staticTexts(box).find(ini), std::wstring::npos) << c.what << ": " << narrow(staticTexts(box));
            EXPECT_TRUE(findControl(box, IDRETRY)) << c.what;
            EXPECT_FALSE(saveScreenshot(box, L"param-not-saved_" + std::to_wstring(c.action)).empty());
            if (c.action == HeldThenRetry)
                holder.reset();
            pressButton(box, c.action == HeldThenRetry ? IDRETRY : IDCANCEL);
        } else {
            EXPECT_FALSE(held) << c.what << ": no box; exit code " << p.exitCode();
        }
        const bool ended = p.wait(kProgramWait);
        holder.reset();
        ASSERT_TRUE(ended) << c.what;
        EXPECT_EQ(p.exitCode(), c.expected) << c.what;

        if (c.expected == 1 || c.expected == 1877) {
            auto value = [&](const wchar_t* key) {
                wchar_t v[300] = {};
                GetPrivateProfileStringW(L"VJT", key, L"", v, 300, ini.c_str());
                return narrow(v);
            };
            EXPECT_EQ(value(L"OutputFileName"), narrow(typed)) << c.what;
            EXPECT_EQ(value(L"Profile"), c.savedProfile) << c.what;
            EXPECT_EQ(value(L"CreateTXTz") + " " + value(L"WmScale"), "1 123") << c.what;
        } else {
            EXPECT_EQ(readFile(ini), before) << c.what << ": the settings file must stay untouched";
        }
    }
    // Listing the profiles wrote nothing: not over the repository, and no
    // empty repository where there was none.
    EXPECT_EQ(readFile(repositoryFolder.wide(L"db0.dprepo")), repository);
    EXPECT_EQ(GetFileAttributesW(emptyFolder.wide(L"db0.dprepo").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The shared folder replaced by a link to someone's private folder (any
// user may remove the shared folder and put a link in its place). Runs from
// shared_folder_link.sh, in a Wine prefix of its own, which makes the link
// and checks afterwards, from the Unix side, that the private folder kept
// its mode and holds nothing new. Here: the link is never followed, so the
// settings cannot be saved (the box; Cancel answers 2). (How a link is told
// from a folder: SystemFolders.LinksAndAccessListsAreJudgedByWhatTheSystemShows.)
TEST(SharedFolderLink, ParamRunNeitherOpensNorFillsTheLinkedFolder)
{
    if (!GetEnvironmentVariableW(L"PV_SHARED_FOLDER_LINK", nullptr, 0))
        GTEST_SKIP() << "runs from tests/e2e/shared_folder_link.sh, in a Wine prefix of its own";
    const std::wstring shared = testkit::commonAppData() + L"\\Marovent";
    const DWORD attributes = GetFileAttributesW(shared.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the script puts a link there";
    testkit::ScratchFolder scratch("link");
    const std::wstring image = scratch.wide(L"page.img");
    ASSERT_TRUE(writeBytes(image, pageFile(620, 877)));
    for (int button : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Cancel");
        Process p;
        const std::wstring command = commandLine(productProgram(),
                                                 {L"-param", uniqueName(L"link"), image, L"0", L"150", L"620", L"877", L"1"});
        // Starting the program in this prefix of its own once failed under a
        // full machine, cause unknown; a second try after a pause tells that
        // from a program that cannot start, and the last error is shown.
        const bool started = p.start(command) || (Sleep(500), p.start(command));
        ASSERT_TRUE(started) << narrow(p.error());
        HWND dlg = waitForWindow(p.pid(), kProgramWait, L"#32770", p.handle());
        ASSERT_TRUE(dlg);
        pressButton(dlg, button);
        if (HWND box = button == IDOK ? waitForWindow(p.pid(), kProgramWait, L"#32770", p.handle(), dlg) : nullptr) {
            EXPECT_NE(staticTexts(box).find(shared + L"\\Vellumjet\\"), std::wstring::npos) << narrow(staticTexts(box));
            EXPECT_FALSE(saveScreenshot(box, L"param-not-saved-link").empty());
            pressButton(box, IDCANCEL);
        } else {
            EXPECT_NE(button, IDOK) << "no box; exit code " << p.exitCode();
        }
        ASSERT_TRUE(p.wait(kProgramWait));
        EXPECT_EQ(p.exitCode(), 2u);
    }
}

// The converter stand-in's print job follows each -param answer: 1877 keeps
// the answer for the following pages, 1878 skips a page, 2 ends the job. On
// page 1 it runs the profile editor once, whose new profile the dialog then
// selects. The DjVu document appears at the output name only when the job
// was done, with one page for each page encoded (a bundled document holds a
// FORM:DJVU chunk per page): not after Cancel in a dialog nor after Cancel
// in the progress window while page 2 is encoded, and no working file stays
// behind. The progress window shows the output file's name ("@OUT@")
// and ends with 0.
TEST(ParamMode, DemoJobFollowsEachAnswer)
{
    // cancelAt: the page of the document at which the progress window's
    // Cancel is pressed; pages: in the document, 0 for no document.
    struct Case { const wchar_t *answers, *cancelAt; std::vector<std::string> lines; int pages; } cases[] = {
        // Page 1's choice is not stored when the page is skipped: page 2 and
        // 3 go with the stored profile.
        {L"skip,same", L"0",
         {"page 1 profile: Demo copy", "page 1: 1878", "page 2: 1877", "progress window: Converting to DjVu - @OUT@",
          "page 2 encoded: vjt100", "page 3 encoded: vjt100", "progress exit: 0", "job done; converted 2,3; skipped 1"},
         2},
        {L"ok,cancel", L"0", {"page 1 profile: Demo copy", "page 1: 1", "page 2: 2", "job cancelled; converted 1; skipped "},
         0},
        {L"ok,same", L"2",
         {"page 1 profile: Demo copy", "page 1: 1", "page 2: 1877", "progress window: Converting to DjVu - @OUT@",
          "page 1 encoded: Demo copy", "progress exit: 0", "encoding cancelled; converted 1,2,3; skipped "},
         0},
    };
    testkit::ScratchFolder scratch("demo");
    RemoveAtEnd files;
    for (const Case& c : cases) {
        const std::wstring name = uniqueName(L"demo");
        const std::wstring report = scratch.wide(name + L".txt"), document = scratch.wide(name + L".djvu");
        files.add(getIniPath(name));
        RunResult r = runProgram(commandLine(programPath(L"converter.exe"),
                                             {L"demo", L"--auto", L"--answers", c.answers, L"--settings", name,
                                              L"--out", document, L"--report", report, L"--dpi", L"100",
                                              L"--cancel-encoding", c.cancelAt}),
                                 180000);
        ASSERT_TRUE(r.started);
        ASSERT_TRUE(r.ended) << narrow(c.answers);
        EXPECT_EQ(r.exitCode, 0u) << narrow(c.answers);
        std::vector<std::string> expected = c.lines;
        for (std::string& line : expected) {
            const size_t at = line.find("@OUT@");
            if (at != std::string::npos)
                line.replace(at, 5, narrow(name) + ".djvu");
        }
        EXPECT_EQ(readLines(report), expected) << narrow(c.answers);
        const bool exists = testkit::fs::exists(document);
        const std::string bytes = readFile(document);
        EXPECT_FALSE(testkit::fs::exists(document + L".part")) << narrow(c.answers);
        int pages = 0;
        for (size_t at = bytes.find("DJVU"); at != std::string::npos; at = bytes.find("DJVU", at + 4))
            pages += at >= 8 && bytes.compare(at - 8, 4, "FORM") == 0;
        EXPECT_EQ(pages, c.pages) << narrow(c.answers);
        EXPECT_EQ(exists, c.pages > 0) << narrow(c.answers);
        if (exists) {
            EXPECT_TRUE(bytes.compare(0, 8, "AT&TFORM") == 0 && bytes.compare(12, 4, "DJVM") == 0) << narrow(c.answers);
        }
    }
}
