// The profile editor program on its own: started with the dialog's command
// line, driven by its step script, its window read from outside (texts that
// fit, a keyboard letter for every action), its requests received by a
// window of the test, and the repository file read back afterwards.
#include "app/core/editor_link.h"
#include "app/param_test_support.h"
#include "profile/djv_profiles.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"
#include "tools/tessforge7/resource.h"  // the editor's controls

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace uitest;

namespace {

// A window that records the requests it is sent, as the dialog would get them.
struct Receiver {
    struct Request {
        uintptr_t kind;
        std::wstring name;
        bool fromEditor;
    };
    HWND window = nullptr;
    DWORD editorPid = 0;
    std::vector<Request> requests;

    Receiver()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Receiver::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PvEditorReceiver";
        RegisterClassW(&wc);
        window = CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, this);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Receiver() { DestroyWindow(window); }

    static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Receiver* self = reinterpret_cast<Receiver*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (msg == WM_COPYDATA && self) {
            const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            Request r{data->dwData, L"", false};
            if (editorRequest(data->dwData) == EditorRequest::SelectProfile &&
                !copyDataProfileName(data->lpData, data->cbData, r.name))
                r.name = L"<no NUL>";
            DWORD pid = 0;
            GetWindowThreadProcessId(reinterpret_cast<HWND>(wParam), &pid);
            r.fromEditor = pid == self->editorPid;
            self->requests.push_back(r);
            return 0;
        }
        return DefWindowProcW(w, msg, wParam, lParam);
    }
};

int clientWidth(HWND control)
{
    RECT client = {};
    GetClientRect(control, &client);
    return client.right;
}

const char* kRepository =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\" encode-mode=\"bitonal\"/><profile name=\"Fine\"/></repository>\n";

} // namespace

TEST(ProfileEditor, EditsSavesAndReportsInEachLanguage)
{
    struct Case {
        const wchar_t* lang;
        const wchar_t* title;
    } cases[] = {{L"en", L"Tessforge Profile Editor"}, {L"de", L"Tessforge-Profileditor"}};
    for (const Case& c : cases) {
        paramtest::TempFolder folder;
        ASSERT_TRUE(writeFile(folder.file(L"db0.dprepo"), kRepository));
        const std::wstring gate = uniqueName(L"pvgate");
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, gate.c_str());
        Receiver receiver;
        // Copy vjt300, change the copy's settings, rename it, wait for the
        // test, then OK (save, select request, hand-back, close; over the
        // file that the test changes meanwhile).
        const std::wstring script = L"onchange:overwrite;new:Copy A;bg:40;fg:90;mode:0;picture:1;description:Colour scans;apply;"
                                    L"rename:Copy B;gate:" + gate + L";ok";
        Process p;
        const std::wstring cmd = L"\"" + programPath(L"tessforge7.exe") + L"\" " +
                                 editorParameters(L"vjt300", reinterpret_cast<intptr_t>(receiver.window), L"C:\\p.img");
        ASSERT_TRUE(p.start(cmd, {{L"SVRDBDIR", folder.path()}, {L"TESSFORGE7_SCRIPT", script}, {L"TESSFORGE7_LANG", c.lang}}))
            << narrow(p.error());
        receiver.editorPid = p.pid();
        HWND editor = nullptr;
        ASSERT_TRUE(waitPumping([&] { return (editor = waitForWindow(p.pid(), 50, L"#32770", p.handle())) != nullptr &&
                                           controlText(editor, IDC_DESCRIPTION) == L"Colour scans"; }))
            << narrow(c.lang) << ": the script's edits show";
        EXPECT_EQ(windowText(editor), c.title);
        EXPECT_TRUE(receiver.requests.empty()) << "nothing is sent before a save";

        // Every text fits; every action has its own letter, and every field
        // follows a label with a letter.
        std::map<wchar_t, std::wstring> letters;
        std::wstring label;
        auto is = [](const ControlInfo& ci, const wchar_t* cls) { return _wcsicmp(ci.className.c_str(), cls) == 0; };
        for (const ControlInfo& ci : listControls(editor)) {
            SCOPED_TRACE(narrow(c.lang) + ": " + narrow(ci.text));
            if ((is(ci, L"Static") || is(ci, L"Button")) && !ci.text.empty()) {
                // Measured on one line only: the font of another process's
                // control is not ours to select, so heights are not exact.
                const bool pushButton = is(ci, L"Button") && (ci.style & BS_TYPEMASK) != BS_GROUPBOX;
                EXPECT_LE(textWidth(ci.hwnd, ci.text), clientWidth(ci.hwnd) - (pushButton ? 6 : 0)) << "does not fit";
                const wchar_t m = mnemonicOf(ci.text);
                if (m) {
                    EXPECT_TRUE(letters.emplace(m, ci.text).second) << "shares its letter with " << narrow(letters[m]);
                }
                if (pushButton && ci.id != IDOK && ci.id != IDCANCEL) {
                    EXPECT_NE(m, 0) << "an action without a letter";
                }
                label = ci.text;
            } else if ((is(ci, L"Edit") || is(ci, L"ComboBox") || is(ci, L"ListBox")) && GetParent(ci.hwnd) == editor) {
                EXPECT_NE(mnemonicOf(label), 0) << "control " << ci.id << " has no labelled letter";
            }
        }
        EXPECT_FALSE(saveScreenshot(editor, std::wstring(L"editor-") + c.lang).empty());

        // New asks for the name (the script waits at its gate meanwhile);
        // Remove asks first, and No keeps the profile.
        auto ownedWindow = [&] { return waitForWindow(p.pid(), 10000, L"#32770", p.handle(), editor); };
        pressButton(editor, 1002 /* New */);
        HWND prompt = ownedWindow();
        ASSERT_TRUE(prompt) << narrow(c.lang) << ": the name prompt";
        EXPECT_EQ(controlText(prompt, IDC_NAME), L"Copy B " + std::wstring(c.lang[0] == L'd' ? L"Kopie" : L"copy"));
        for (const ControlInfo& ci : listControls(prompt))
            if (is(ci, L"Static")) {
                EXPECT_LE(textWidth(ci.hwnd, ci.text), clientWidth(ci.hwnd)) << narrow(ci.text);
            }
        saveScreenshot(prompt, std::wstring(L"editor-new-") + c.lang);
        SendMessageW(findControl(prompt, IDC_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Copy C"));
        pressButton(prompt, IDOK);
        ASSERT_TRUE(waitPumping([&] { return !IsWindow(prompt); }));
        pressButton(editor, 1004 /* Remove */);
        HWND question = ownedWindow();
        ASSERT_TRUE(question) << narrow(c.lang) << ": the remove question";
        EXPECT_NE(staticTexts(question).find(L"Copy C"), std::wstring::npos) << narrow(staticTexts(question));
        pressButton(question, IDNO);
        ASSERT_TRUE(waitPumping([&] { return !IsWindow(question); }));

        // Another program saves the file (dated later: file times may be
        // whole seconds); Save then asks first, and Cancel saves nothing.
        const std::wstring file = folder.file(L"db0.dprepo");
        ASSERT_TRUE(writeFile(file, kRepository));
        std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::minutes(2));
        pressButton(editor, 1012 /* Save */);
        HWND changed = ownedWindow();
        ASSERT_TRUE(changed) << narrow(c.lang) << ": the question about the changed file";
        EXPECT_NE(staticTexts(changed).find(c.lang[0] == L'd' ? L"anderes Programm" : L"Another program"),
                  std::wstring::npos) << narrow(staticTexts(changed));
        saveScreenshot(changed, std::wstring(L"editor-changed-") + c.lang);
        pressButton(changed, IDCANCEL);
        ASSERT_TRUE(waitPumping([&] { return !IsWindow(changed); }));
        EXPECT_TRUE(receiver.requests.empty()) << "nothing was saved";

        SetEvent(event);
        ASSERT_TRUE(waitPumping([&] { return !p.running(); })) << narrow(c.lang);
        CloseHandle(event);
        EXPECT_EQ(p.exitCode(), 0u);
        ASSERT_EQ(receiver.requests.size(), 2u) << narrow(c.lang);
        EXPECT_EQ(receiver.requests[0].kind, kSelectProfileRequest);
        EXPECT_EQ(receiver.requests[0].name, L"Copy C") << "the profile made last is the current one";
        EXPECT_EQ(receiver.requests[1].kind, kGiveInputBackRequest);
        EXPECT_TRUE(receiver.requests[0].fromEditor && receiver.requests[1].fromEditor) << "sent from the editor's window";

        // The file: the renamed copy with its settings, the original untouched.
        using namespace Solvaris;
        AutoPtr<DjVu::ProfileRepository> repo =
            DjVu::ProfileRepository::create(String((narrow(folder.file(L"db0.dprepo"))).c_str()));
        SimpleArray<String> names;
        repo->getProfileNames(names);
        ASSERT_EQ(names.count(), 4u);
        EXPECT_STREQ(names[0].c_str(), "Copy B");
        EXPECT_STREQ(names[1].c_str(), "Copy C");
        const DjVu::DjVuEncoder::Params& copy = repo->loadProfile(String("Copy B"))->getParams();
        EXPECT_EQ(copy.bgParams.quality, 40u);
        EXPECT_EQ(copy.fgParams.quality, 90u);
        EXPECT_EQ(uint32_t(copy.encodeMode), 0u);
        EXPECT_EQ(uint32_t(copy.pictureEncoding), 1u);
        EXPECT_STREQ(repo->loadProfile(String("Copy B"))->getDescription().c_str(), "Colour scans");
        EXPECT_EQ(uint32_t(repo->loadProfile(String("vjt300"))->getParams().encodeMode), 3u);
    }
}
