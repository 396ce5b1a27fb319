// The profile editor program in each of its languages: started with the
// dialog's command line, driven by its step script and from outside (texts
// that fit, a keyboard letter for every action, the questions it asks), and
// the repository file read back afterwards. Its changes to the file:
// EditorModel in tests/tools; what its requests ask of the dialog that
// started it: ProfileEditorHandOff in tests/app.
#include "app/core/editor_link.h"
#include "app/param_test_support.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"
#include "tools/tessforge7/editor_model.h"
#include "tools/tessforge7/resource.h"  // the editor's controls

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

using namespace uitest;
using paramtest::kRepository;

namespace {

// Texts of labels and buttons on one line: the font of another process's
// control is not ours to select, so wrapped heights are not exact.
void expectTextsFit(HWND window, const std::wstring& lang)
{
    for (const ControlInfo& ci : listControls(window)) {
        const bool button = _wcsicmp(ci.className.c_str(), L"Button") == 0;
        if ((!button && _wcsicmp(ci.className.c_str(), L"Static") != 0) || ci.text.empty())
            continue;
        RECT client = {};
        GetClientRect(ci.hwnd, &client);
        const bool frame = button && (ci.style & BS_TYPEMASK) != BS_GROUPBOX;
        EXPECT_LE(textWidth(ci.hwnd, ci.text), client.right - (frame ? 6 : 0))
            << narrow(lang) << ": \"" << narrow(ci.text) << "\" does not fit";
    }
}

// Counts the requests the editor sends to the window named on its command
// line (what they ask: ProfileEditorHandOff).
int g_requests = 0;
LRESULT CALLBACK countRequests(HWND w, UINT msg, WPARAM wParam, LPARAM lParam)
{
    g_requests += msg == WM_COPYDATA;
    return DefWindowProcW(w, msg, wParam, lParam);
}

} // namespace

TEST(ProfileEditor, EditsSavesAndReportsInEachLanguage)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = countRequests;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PvEditorRequests";
    RegisterClassW(&wc);
    // copy: the name New proposes; changed: in the question about a profile
    // changed elsewhere too; held: why the end of the session is held up (UTF-8).
    struct Case { const wchar_t *lang, *title, *copy, *changed; const char* held; } cases[] = {{L"en", L"Tessforge Profile Editor", L"Copy B copy", L"Another program changed the profile \"Copy B\"",
                  "The profiles have changes that are not saved yet."},
                 {L"de", L"Tessforge-Profileditor", L"Copy B Kopie", L"anderes Programm hat das Profil \"Copy B\"",
                  "Die Profile haben \xC3\x84nderungen, die noch nicht gespeichert sind."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.lang));
        testkit::ScratchFolder folder("editor");
        const std::wstring file = folder.wide(L"db0.dprepo");
        ASSERT_TRUE(writeFile(file, kRepository));
        const std::wstring gate = uniqueName(L"pvgate");
        const Solvaris_Win32::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, gate.c_str()));
        HWND receiver = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        g_requests = 0;
        // Copy vjt300, change the copy's settings, rename it, wait for the
        // test, then OK (save over the file that the test changes meanwhile,
        // select request, hand-back, close).
        const std::wstring script = L"onchange:overwrite;new:Copy A;bg:40;fg:90;mode:0;picture:1;description:Colour scans;"
                                    L"apply;rename:Copy B;gate:" + gate + L";ok";
        Process p;
        ASSERT_TRUE(p.startWithOutput(L"\"" + programPath(L"tessforge7.exe") + L"\" " +
                                editorParameters(L"vjt300", reinterpret_cast<intptr_t>(receiver), L"C:\\p.img"),
                            folder.wide(L"stdout.txt"), {{L"SVRDBDIR", folder.path().wstring()}, {L"TESSFORGE7_SCRIPT", script}, {L"TESSFORGE7_LANG", c.lang}}))
            << narrow(p.error());
        HWND editor = nullptr;
        ASSERT_TRUE(waitPumping([&] { return (editor = waitForWindow(p.pid(), 50, L"#32770", p.handle())) != nullptr &&
                                           controlText(editor, IDC_DESCRIPTION) == L"Colour scans"; }))
            << "the script's edits show";
        EXPECT_EQ(windowText(editor), c.title);
        expectTextsFit(editor, c.lang);
        for (const std::wstring& fault : mnemonicFaults(editor))
            ADD_FAILURE() << narrow(fault);
        EXPECT_FALSE(saveScreenshot(editor, std::wstring(L"editor-") + c.lang).empty());

        // New asks for the name (the script waits at its gate meanwhile);
        // Remove asks first, and No keeps the profile; Save, after another
        // program saved a "Copy B" of its own, asks first, and Cancel saves
        // nothing.
        std::string theirs = kRepository;
        theirs.insert(theirs.find("<profile name=\"Fine\""), "<profile name=\"Copy B\" description=\"theirs\"/>");
        const struct { int button; const wchar_t* shot; std::wstring shows; int answer; } questions[] = {{IDC_NEW, L"editor-new-", c.copy, IDOK},
                         {IDC_REMOVE, nullptr, L"Copy C", IDNO},
                         {IDC_SAVE, L"editor-changed-", c.changed, IDCANCEL}};
        for (const auto& q : questions) {
            if (q.button == IDC_SAVE) {
                ASSERT_TRUE(writeFile(file, theirs));
            }
            pressButton(editor, q.button);
            HWND asked = waitForWindow(p.pid(), 10000, L"#32770", p.handle(), editor);
            ASSERT_TRUE(asked) << "no question for button " << q.button;
            const std::wstring shown = q.button == IDC_NEW ? controlText(asked, IDC_NAME) : staticTexts(asked);
            EXPECT_TRUE(q.button == IDC_NEW ? shown == q.shows : shown.find(q.shows) != std::wstring::npos)
                << narrow(shown);
            if (q.button == IDC_NEW)
                expectTextsFit(asked, c.lang);   // the boxes are the system's
            if (q.shot)
                saveScreenshot(asked, q.shot + std::wstring(c.lang));
            if (q.button == IDC_NEW)
                SendMessageW(findControl(asked, IDC_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Copy C"));
            pressButton(asked, q.answer);
            ASSERT_TRUE(waitPumping([&] { return !IsWindow(asked); }));
        }
        EXPECT_EQ(testkit::readFile(file), theirs) << "Cancel saved nothing";
        EXPECT_EQ(g_requests, 0) << "nothing is sent before a save";
        // With changes unsaved the end of the session is held up, with the
        // reason the system shows; an end that did not come changes nothing.
        EXPECT_EQ(SendMessageW(editor, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
        SendMessageW(editor, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
        // The editor's output is written by a thread of its own: the line
        // arrives a moment after the answer.
        const std::string heldLine = "tessforge7: end of session held: " + std::string(c.held);
        std::string output;
        EXPECT_TRUE(waitPumping([&] {
            output = testkit::readFile(folder.wide(L"stdout.txt"));
            return output.find(heldLine) != std::string::npos;
        })) << output;

        SetEvent(event.get());
        ASSERT_TRUE(waitPumping([&] { return !p.running(); }));
        EXPECT_EQ(p.exitCode(), 0u);
        EXPECT_EQ(g_requests, 2) << "OK: the select request and the hand-back";
        DestroyWindow(receiver);

        // The file: the renamed copy with its settings, the original untouched.
        tessforge::EditorModel model(narrow(file));
        EXPECT_EQ(model.names(), (std::vector<std::string>{"Copy B", "Copy C", "Fine", "vjt300"}));
        tessforge::MainSettings copy, original;
        std::string error;
        ASSERT_TRUE(model.settings("Copy B", copy, error) && model.settings("vjt300", original, error)) << error;
        EXPECT_EQ(std::tie(copy.encodeMode, copy.backgroundQuality, copy.foregroundQuality, copy.pictureEncoding),
                  std::make_tuple(0u, 40u, 90u, 1u));
        EXPECT_EQ(copy.description, "Colour scans");
        EXPECT_EQ(original.encodeMode, 3u);
    }
}
