// The Edit button of the configuration dialog with the real profile editor
// (tessforge7.exe beside the test program, run by a script of steps): the
// dialog waits with its controls disabled and takes well-formed requests
// from any sender while the editor runs, and none after.
#include "app/param_dialog.h"
#include "app/startup_reads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/core/editor_link.h"
#include "app/profile_editor.h"
#include "param_test_support.h"
#include "profile/djv_fileaccess.h"
#include "settings/printer_settings.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

using namespace paramtest;
using uitest::controlText;

namespace {

const char* kRepository =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\"/><profile name=\"Fine\"/><profile name=\"My fine one\"/></repository>\n";

// The repository and the editor's script for one test, undone at the end.
// The library fixes its data folder once per process, so the repository is
// written into that folder (and the folder handed to the editor), and the
// file there before is put back afterwards.
class EditorSetting {
public:
    explicit EditorSetting(const std::wstring& script)
    {
        const Solvaris::String dir = Solvaris::DjVu::FileAccess::systemReservedDirectory();
        m_folder.assign(reinterpret_cast<const wchar_t*>(dir.c_wstr()), dir.wlength());
        CreateDirectoryW(m_folder.c_str(), nullptr);
        m_file = m_folder + L"\\db0.dprepo";
        m_existed = std::filesystem::exists(m_file);
        m_before = testkit::readFile(m_file);
        uitest::writeFile(m_file, kRepository);
        m_variables = {{L"SVRDBDIR", m_folder}, {L"TESSFORGE7_SCRIPT", script}, {L"TESSFORGE7_LANG", L"en"}};
        for (const auto& [name, value] : m_variables)
            SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    ~EditorSetting()
    {
        if (m_existed)
            uitest::writeFile(m_file, m_before);
        else
            DeleteFileW(m_file.c_str());
        for (const auto& [name, value] : m_variables)
            SetEnvironmentVariableW(name.c_str(), nullptr);
    }

private:
    std::wstring m_folder, m_file;
    std::string m_before;
    bool m_existed = false;
    uitest::Environment m_variables;
};

// An event the editor's "gate:" step waits for; set at the latest when the
// test ends, so that no editor is left waiting.
class Gate {
public:
    Gate() : m_name(uitest::uniqueName(L"pvgate")), m_event(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str())) {}
    ~Gate() { open(); }
    void open() { SetEvent(m_event.get()); }
    const std::wstring& name() const { return m_name; }

private:
    std::wstring m_name;
    Solvaris_Win32::UniqueHandle m_event;
};

HWND editorWindow()
{
    return FindWindowW(L"#32770", L"Tessforge Profile Editor");
}

// Sends the dialog a request as if from the window `from`; `cut` bytes of
// the block are left out of its length.
void sendRequest(HWND dlg, HWND from, uintptr_t request, const std::wstring& name, DWORD cut = 0)
{
    std::u16string block = copyDataBlock(name);
    COPYDATASTRUCT data = {request, DWORD(block.size() * 2) - cut, &block[0]};
    DWORD_PTR ignored;
    SendMessageTimeoutW(dlg, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

INT_PTR runDialog(PrinterSettings& settings, const std::wstring& editorProgram,
                  const std::function<void(HWND)>& script)
{
    ensureGdiplus();
    CParamDialog dialog(settings, L"C:\\no such page.img", 300, 100, 100, 1);
    if (!editorProgram.empty())
        dialog.SetEditorProgram(editorProgram);
    return uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, script, 60000);
}

} // namespace

// The editor copies vjt300 as "Fresh copy", saves, asks the dialog to select
// it, waits, gives input back while it still runs, waits again, and ends
// with OK, which asks once more to select the current profile. Meanwhile
// requests from others (no window, a window of this process) are taken as
// the editor's; once the editor has ended, none is.
TEST(ProfileEditorHandOff, DialogWaitsTakesRequestsFromAnySenderWhileTheEditorRuns)
{
    Gate first, second;
    EditorSetting setting(L"new:Fresh copy;save;send;gate:" + first.name() + L";giveback;gate:" + second.name() +
                          L";ok");
    PrinterSettings s;
    s.Profile = L"vjt300";
    const INT_PTR result = runDialog(s, L"", [&](HWND dlg) {
        ASSERT_EQ(controlText(dlg, IDC_PROFILE), L"vjt300");
        uitest::pressButton(dlg, IDC_EDIT_PROFILE);
        ASSERT_TRUE(uitest::waitUntil([&] { return controlText(dlg, IDC_PROFILE) == L"Fresh copy"; }, 20000))
            << "the editor's new profile is selected after its first request";
        // The box was filled again (in the repository's order: tests/profile).
        EXPECT_EQ(SendDlgItemMessageW(dlg, IDC_PROFILE, CB_GETCOUNT, 0, 0), 4);
        // Disabled, window and controls alike (what that turns off:
        // ParamDialog.FirstAndLaterPagesStartAndEnableDifferently).
        EXPECT_FALSE(IsWindowEnabled(dlg));
        HWND editor = editorWindow();
        ASSERT_TRUE(editor);
        uitest::saveScreenshot(editor, L"editor-handoff-en");
        DWORD editorId = 0;
        GetWindowThreadProcessId(editor, &editorId);
        const Solvaris_Win32::UniqueHandle editorProcess(OpenProcess(SYNCHRONIZE, FALSE, editorId));
        ASSERT_TRUE(editorProcess);

        // Requests from another sender count while the editor runs; a name
        // block whose NUL lies outside its length does not.
        sendRequest(dlg, nullptr, kSelectProfileRequest, L"Fine");
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fine") << "a request without a window";
        sendRequest(dlg, dlg, kSelectProfileRequest, L"vjt300", 2);
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fine") << "a block without its NUL";
        sendRequest(dlg, dlg, kSelectProfileRequest, L"Fresh copy");
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fresh copy") << "a request naming a window not the editor's";
        EXPECT_FALSE(IsWindowEnabled(dlg));

        first.open();
        // The dialog window itself is enabled last.
        ASSERT_TRUE(uitest::waitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }, 20000))
            << "the editor gives input back";
        EXPECT_TRUE(uitest::waitUntil([&] { return uitest::focusOf(dlg) == GetDlgItem(dlg, IDC_EDIT_PROFILE); }, 2000))
            << "the focus is back where the user left it";
        EXPECT_TRUE(IsWindow(editor)) << "while the editor still runs";
        sendRequest(dlg, nullptr, kSelectProfileRequest, L"Fine");
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fine") << "a request after the hand-back";
        // A name the box does not list needs the re-read; with the repository
        // held by another program it is given up within the bound and the
        // box stays as it was.
        Solvaris_Win32::UniqueHandle unread, writer;
        ASSERT_TRUE(CreatePipe(unread.put(), writer.put(), nullptr, 0));
        std::atomic<int> heldReads{0};
        setReadHookForTests([&](const std::wstring&) {
            ++heldReads;
            char byte;
            DWORD got;
            ReadFile(unread.get(), &byte, 1, &got, nullptr);
        }, 500);
        sendRequest(dlg, nullptr, kSelectProfileRequest, L"Not in the file");
        ASSERT_TRUE(uitest::waitUntil([&] { return heldReads > 0; }, 5000)) << "the re-read is made";
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fine") << "a request while the repository is held";
        setReadHookForTests({}, 0);

        second.open();
        ASSERT_EQ(WaitForSingleObject(editorProcess.get(), 20000), WAIT_OBJECT_0) << "the editor ends";
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fresh copy") << "the editor's OK selects its current profile";
        // The editor's end closes the wait; the dialog answers again, and
        // takes no more requests.
        sendRequest(dlg, nullptr, kSelectProfileRequest, L"Fine");
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fresh copy") << "a request after the editor ended";
        uitest::pressButton(dlg, IDOK);
    });
    EXPECT_EQ(result, IDOK_SUCCESSIVE) << "page 1 starts with the box checked";
    EXPECT_EQ(s.Profile, L"Fresh copy");
}

// A flood of select requests while the editor runs: the box follows each
// request, but the repository is read again once or a few times, not once
// per request (the window thread would be busy reading for the whole flood).
TEST(ProfileEditorHandOff, FloodOfRequestsReadsTheRepositoryAFewTimes)
{
    Gate close;
    EditorSetting setting(L"gate:" + close.name() + L";cancel");
    PrinterSettings s;
    s.Profile = L"Fine";
    ensureGdiplus();
    CParamDialog dialog(s, L"C:\\no such page.img", 300, 100, 100, 1);
    const int kRequests = 200;
    uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, [&](HWND dlg) {
        uitest::pressButton(dlg, IDC_EDIT_PROFILE);
        ASSERT_TRUE(uitest::waitUntil([&] { return editorWindow() != nullptr; }, 20000));
        for (int i = 0; i < kRequests; ++i)
            sendRequest(dlg, nullptr, kSelectProfileRequest, i % 2 ? L"vjt300" : L"Fine");
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"vjt300");
        close.open();
        ASSERT_TRUE(uitest::waitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }, 20000));
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"vjt300") << "the last request's name after the re-read";
        uitest::pressButton(dlg, IDCANCEL);
    }, 60000);
    EXPECT_LE(dialog.GetProfileFillCount(), 12) << kRequests << " requests";
}

// After the hand-back the user may answer while the editor stays open, with
// the mouse or a dialog key: the dialog ends at once (the print job goes on)
// and leaves the editor running. (Tab order: Accessibility.)
TEST(ProfileEditorHandOff, AnswerAfterTheHandBackEndsTheDialogWhileTheEditorRuns)
{
    for (const bool click : {true, false}) {
        SCOPED_TRACE(click ? "click" : "Escape");
        Gate handBack, close;
        EditorSetting setting(L"gate:" + handBack.name() + L";giveback;gate:" + close.name() + L";cancel");
        PrinterSettings s;
        s.Profile = L"Fine";
        HWND editor = nullptr;
        const INT_PTR result = runDialog(s, L"", [&](HWND dlg) {
            uitest::pressButton(dlg, IDC_EDIT_PROFILE);
            ASSERT_TRUE(uitest::waitUntil([&] { return (editor = editorWindow()) != nullptr; }, 20000));
            handBack.open();
            ASSERT_TRUE(uitest::waitUntil([&] { return IsWindowEnabled(dlg) != FALSE; }, 20000));
            if (click) {
                uitest::pressButton(dlg, IDOK);
            } else {
                PostMessageW(GetDlgItem(dlg, IDC_PROFILE), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(GetDlgItem(dlg, IDC_PROFILE), WM_KEYUP, VK_ESCAPE, 0xC0010001);
            }
            EXPECT_TRUE(uitest::waitUntil([&] { return !IsWindow(dlg); }, 5000))
                << "the dialog ends without waiting for the editor";
            EXPECT_TRUE(IsWindow(editor)) << "the editor is left running";
            close.open();
        });
        EXPECT_EQ(result, click ? IDOK_SUCCESSIVE : IDCANCEL);
        EXPECT_TRUE(uitest::waitUntil([&] { return !IsWindow(editor); }, 20000));
    }
}

// A name with spaces reaches the editor whole: EditorLink.ParameterStringReadsBackAsItWasBuilt.
TEST(ProfileEditorHandOff, MissingEditorIsReportedAndChangesNothing)
{
    EditorSetting setting(L"cancel");
    PrinterSettings s;
    s.Profile = L"Fine";
    const INT_PTR result = runDialog(s, L"tessforge7-not-installed.exe", [&](HWND dlg) {
        uitest::pressButton(dlg, IDC_EDIT_PROFILE);
        HWND box = uitest::ownedDialog(dlg, 10000);
        ASSERT_TRUE(box) << "a box says why nothing opened";
        const std::wstring text = uitest::staticTexts(box);
        EXPECT_NE(text.find(L"could not be started"), std::wstring::npos) << uitest::narrow(text);
        EXPECT_NE(text.find(L"tessforge7-not-installed.exe"), std::wstring::npos) << uitest::narrow(text);
        uitest::saveScreenshot(box, L"editor-missing-en");
        uitest::pressButton(box, IDOK);
        ASSERT_TRUE(uitest::waitUntil([&] { return !IsWindow(box); }));
        EXPECT_TRUE(IsWindowEnabled(dlg));
        EXPECT_EQ(controlText(dlg, IDC_PROFILE), L"Fine");
        uitest::pressButton(dlg, IDOK);
    });
    EXPECT_EQ(result, IDOK_SUCCESSIVE);
    EXPECT_EQ(s.Profile, L"Fine");
}

// Windows' search for a bare name skips the program's folder and looks in
// the current one first: the editor beside the program goes by its full
// path, and a missing one is searched from the program's folder, which is
// the current folder only while the shell starts it.
TEST(ProfileEditorHandOff, EditorBesideTheProgramGoesByItsFullPath)
{
    const std::wstring beside = uitest::programPath(L"tessforge7.exe");
    const std::wstring folder = beside.substr(0, beside.find_last_of(L'\\'));
    const auto current = [] {
        wchar_t text[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, text);
        return std::wstring(text);
    };
    const std::wstring before = current();
    testkit::ScratchFolder tmp("folder");
    ASSERT_TRUE(SetCurrentDirectoryW(tmp.path().wstring().c_str()));
    struct Case { const wchar_t* program; std::wstring file, folderAtStart; bool started; } cases[] = {
        {L"tessforge7.exe", beside, tmp.path().wstring(), true},
        {L"tessforge7-not-installed.exe", L"tessforge7-not-installed.exe", folder, false},
    };
    for (const Case& c : cases) {
        // "-hwnd x" ends the editor at once.
        const StartedEditor editor = startProfileEditor(nullptr, c.program, L"-hwnd x");
        EXPECT_EQ(editor.file, c.file);
        EXPECT_EQ(_wcsicmp(editor.folderAtStart.c_str(), c.folderAtStart.c_str()), 0) << uitest::narrow(editor.folderAtStart);
        EXPECT_EQ(bool(editor.process), c.started);
        if (editor.process)
            WaitForSingleObject(editor.process.get(), 10000);
        EXPECT_EQ(_wcsicmp(current().c_str(), tmp.path().wstring().c_str()), 0) << "put back";
    }
    SetCurrentDirectoryW(before.c_str());
}

TEST(ProfileEditorHandOff, WaitEndsWithTheProcessOrWhenItCannotWait)
{
    // A handle that is no longer valid makes the wait fail: the loop must
    // return (false) instead of spinning; a process that ends returns true.
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    EXPECT_FALSE(waitForProcessTakingMessages(closed));

    uitest::Process p;
    ASSERT_TRUE(p.start(uitest::commandLine(uitest::programPath(L"tessforge7.exe"), {L"-hwnd", L"x"})));
    EXPECT_TRUE(waitForProcessTakingMessages(p.handle())) << "a bad command line ends the editor at once";

    // Messages queued before the wait are dispatched during it: the handle
    // waited for is set only by the window that the posted message reaches,
    // so the wait can end only after taking it. (A guard thread sets it
    // after a long time, so that a fault fails instead of hanging.)
    struct Probe {
        static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
        {
            if (m == WM_APP)
                SetEvent(reinterpret_cast<HANDLE>(lp));
            return DefWindowProcW(w, m, wp, lp);
        }
    };
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Probe::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"pvWaitProbe";
    RegisterClassW(&wc);
    HWND probe = CreateWindowW(L"pvWaitProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(probe);
    const Solvaris_Win32::UniqueHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool guardFired = false;
    ASSERT_TRUE(PostMessageW(probe, WM_APP, 0, reinterpret_cast<LPARAM>(taken.get())));
    std::thread guard([&] {
        if (WaitForSingleObject(taken.get(), 60000) == WAIT_TIMEOUT) {
            guardFired = true;
            SetEvent(taken.get());
        }
    });
    EXPECT_TRUE(waitForProcessTakingMessages(taken.get()));
    guard.join();
    EXPECT_FALSE(guardFired) << "queued messages were taken";
    DestroyWindow(probe);
}
