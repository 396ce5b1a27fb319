// The page configuration dialog, run for real inside the test program while
// a helper thread drives it and reads its controls.
#include "app/param_dialog.h"
#include "app/output_file.h"

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "param_test_support.h"
#include "settings/printer_settings.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

using namespace paramtest;
using uitest::pressButton;
using uitest::isEnabled;
using uitest::controlText;

namespace {

struct PageArgs {
    std::wstring image;
    int page = 1;
    int resolution = 600;
    int width = 2480;
    int height = 3508;
};

// The dialog with two more messages, handled on its own thread:
// WM_TEST_ENABLE calls EnableControls(wParam); WM_TEST_FLASH_TIMER answers 1
// when the flash timer was running (and stops it).
const UINT WM_TEST_ENABLE = WM_APP + 40;
const UINT WM_TEST_FLASH_TIMER = WM_APP + 41;
class CParamDialogProbe : public CParamDialog {
public:
    using CParamDialog::CParamDialog;
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_TEST_ENABLE) {
            EnableControls(wParam != 0);
            lResult = 0;
            return TRUE;
        }
        if (uMsg == WM_TEST_FLASH_TIMER) {
            lResult = ::KillTimer(hWnd, kFlashTimer) ? 1 : 0;
            return TRUE;
        }
        return CParamDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
    }
};

// Runs the dialog modally on `settings` with `script` driving it; returns the result.
INT_PTR runParamDialog(PrinterSettings& settings, const PageArgs& a, const std::function<void(HWND)>& script,
                       CParamDialogProbe** seen = nullptr)
{
    ensureGdiplus();
    CParamDialogProbe dialog(settings, a.image, a.resolution, a.width, a.height, a.page);
    if (seen)
        *seen = &dialog;
    return uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, script, 20000);
}

PrinterSettings freshSettings(const std::wstring& output)
{
    PrinterSettings s;
    s.OutputFileName = output;
    s.CreateTXTz = false;
    return s;
}

} // namespace

// The first page starts with the output file editable and the check box
// checked, later pages (and odd page numbers) without. Every page gets one
// attention flash, also when the dialog is hidden and shown again. Disabling
// turns off every control, Skip Page included, and the dialog window;
// enabling again brings the output file controls back only on the first page.
TEST(ParamDialog, FirstAndLaterPagesStartAndEnableDifferently)
{
    testkit::ScratchFolder tmp("folder");
    const int others[] = {IDC_PROFILE, IDC_EDIT_PROFILE, IDC_PREVIEW_FRAME, IDC_PROPERTIES, IDC_SAME_CONFIG,
                          IDC_SKIP_PAGE, IDOK, IDCANCEL};
    for (int page : {1, 2, 0, -1}) {
        SCOPED_TRACE("page " + std::to_string(page));
        PrinterSettings s = freshSettings(L"C:\\jobs\\report.djvu");
        CParamDialogProbe* dialog = nullptr;
        const INT_PTR result = runParamDialog(s, {tmp.wide(L"none.img"), page}, [&](HWND dlg) {
            EXPECT_TRUE(uitest::waitUntil([&] { return dialog->GetFlashCount() > 0; }));
            EXPECT_EQ(SendMessageW(dlg, WM_TEST_FLASH_TIMER, 0, 0), 0) << "the flash stops its timer";
            // ShowWindow on another thread's window returns once that thread
            // has handled it, WM_SHOWWINDOW included.
            ShowWindow(dlg, SW_HIDE);
            ShowWindow(dlg, SW_SHOW);
            EXPECT_EQ(SendMessageW(dlg, WM_TEST_FLASH_TIMER, 0, 0), 0) << "showing again must not start it again";
            EXPECT_EQ(dialog->GetFlashCount(), 1);
            EXPECT_EQ(uitest::windowText(dlg), L"Vellumjet");
            // Without an owner it keeps a taskbar button of its own: an
            // unowned window that is no tool window.
            EXPECT_TRUE(!GetWindow(dlg, GW_OWNER) && !(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_TOOLWINDOW));
            EXPECT_EQ(controlText(dlg, IDC_OUTPUT_FILE), L"C:\\jobs\\report.djvu");
            EXPECT_EQ(SendDlgItemMessageW(dlg, IDC_SAME_CONFIG, BM_GETCHECK, 0, 0) == BST_CHECKED, page == 1);
            // At the start, disabled, and enabled again (SendMessage returns
            // after the handler ran on the dialog's thread).
            for (int enable : {-1, FALSE, TRUE}) {
                SCOPED_TRACE(enable < 0 ? "at the start" : enable ? "enabled again" : "disabled");
                if (enable >= 0)
                    SendMessageW(dlg, WM_TEST_ENABLE, enable, 0);
                const bool on = enable != FALSE;
                EXPECT_EQ(IsWindowEnabled(dlg) != FALSE, on);
                for (int id : others)
                    EXPECT_EQ(isEnabled(dlg, id), on) << "control " << id;
                EXPECT_EQ(isEnabled(dlg, IDC_OUTPUT_FILE), on && page == 1);
                EXPECT_EQ(isEnabled(dlg, IDC_BROWSE), on && page == 1);
            }
            pressButton(dlg, IDCANCEL);
        }, &dialog);
        EXPECT_EQ(result, IDCANCEL);
    }
}

// Every way out gives its code, and the record changes only on
// confirmation: the box's text is stored, also when it could not be edited
// (page 2), and the selected profile instead of the proposal. On page 1, OK
// refuses a name that can never be a file with a message, and asks before
// an existing file is overwritten; either way the dialog stays open with
// the typed text (already stored in the record) until the answer lets it go
// on. Later pages check and ask nothing. OK, Cancel and Skip Page with the
// settings file they leave are run end to end (ParamMode.ExitCodesAndTheSettingsFile).
TEST(ParamDialog, EveryWayOutNameCheckAndOverwriteQuestion)
{
    testkit::ScratchFolder tmp("folder");
    const std::wstring existing = tmp.wide(L"doc.djvu");
    ASSERT_TRUE(writeBytes(existing, {1, 2, 3}));
    const std::wstring question = L"The file 'doc.djvu' already exists";
    const std::wstring tooLong = tmp.wide(std::wstring(300, L'n'));
    enum Action { Ok, OkChecked, EscapeKey, CloseBox };   // Ok: the check box as it starts
    struct Case {
        const char* what;
        std::wstring name;
        int page;
        Action action;
        std::wstring message;   // a distinctive part; empty: none; a refusal ends with Cancel
        INT_PTR expected;
    } cases[] = {
        {"existing file, box checked", existing, 1, Ok, question, 1877},
        {"existing folder", tmp.path().wstring(), 1, Ok, L"' cannot be used: it is an existing folder.", 2},
        {"forbidden characters", tmp.wide(L"a<b>c|d?e*f\".djvu"), 1, Ok, L"characters < > : \" | ? * or control", 2},
        {"a device name", L"C:\\CON", 1, Ok, L"C:\\CON' cannot be used: Windows reserves the name 'CON'", 2},
        {"a relative name", L"report.djvu", 1, Ok, L"report.djvu' cannot be used: it must be a full path", 2},
        {"too long", tooLong, 1, Ok, L"it has " + std::to_wstring(tooLong.size()) + L" characters, and a path", 2},
        {"page 2 never asks (box clear at start)", existing, 2, Ok, L"", 1},
        {"page 2 checks no name, box checked", L"CON", 2, OkChecked, L"", 1877},
        {"new file", tmp.wide(L"new.djvu"), 1, Ok, L"", 1877},
        {"Escape", tmp.wide(L"new.djvu"), 1, EscapeKey, L"", 2},
        {"close box", tmp.wide(L"new.djvu"), 2, CloseBox, L"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool asks = c.message == question;
        PrinterSettings s = freshSettings(L"C:\\old\\old.djvu");
        std::wstring text, caption, keptText;
        bool hasIcon = false, stayedOpen = false, focusOnName = false;
        INT_PTR r = runParamDialog(s, {tmp.wide(L"none.img"), c.page}, [&](HWND dlg) {
            SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), c.name.c_str());
            if (c.action == OkChecked)
                SendDlgItemMessageW(dlg, IDC_SAME_CONFIG, BM_SETCHECK, BST_CHECKED, 0);
            if (c.action == EscapeKey) {
                PostMessageW(GetDlgItem(dlg, IDC_PROFILE), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(GetDlgItem(dlg, IDC_PROFILE), WM_KEYUP, VK_ESCAPE, 0xC0010001);
                return;
            }
            if (c.action == CloseBox)
                return (void)PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
            // The focus on OK, as after a click.
            SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDOK)), TRUE);
            pressButton(dlg, IDOK);
            HWND box = nullptr;
            uitest::waitUntil([&] { return (box = uitest::ownedDialog(dlg, 0)) != nullptr || !IsWindow(dlg); });
            if (!box)
                return;
            text = uitest::staticTexts(box);
            caption = uitest::windowText(box);
            hasIcon = uitest::shownIcon(box) != nullptr;
            if (!asks)
                uitest::saveScreenshot(box, L"param-name-refused-" + std::to_wstring(&c - cases));
            // No (or OK on a refusal): the dialog stays open with the typed text.
            uitest::pressButton(box, asks ? IDNO : IDOK);
            uitest::waitUntil([&] { return !IsWindow(box); });
            // The message's modal loop has ended; once the dialog answers
            // again, its OK handler has returned.
            uitest::repaint(dlg);
            stayedOpen = IsWindow(dlg) && IsWindowVisible(dlg);
            focusOnName = uitest::focusOf(dlg) == GetDlgItem(dlg, IDC_OUTPUT_FILE);
            keptText = controlText(dlg, IDC_OUTPUT_FILE);
            if (!asks) {
                pressButton(dlg, IDCANCEL);
                return;
            }
            // Yes: confirmation goes on.
            pressButton(dlg, IDOK);
            if (HWND again = uitest::ownedDialog(dlg))
                uitest::pressButton(again, IDYES);
        });
        EXPECT_EQ(r, c.expected);
        EXPECT_EQ(text.empty(), c.message.empty());
        EXPECT_NE(text.find(c.message), std::wstring::npos) << uitest::narrow(text);
        // Stored on confirmation, and before the name check.
        EXPECT_EQ(s.OutputFileName, c.action >= EscapeKey ? L"C:\\old\\old.djvu" : c.name);
        if (c.message.empty()) {
            const bool confirmed = c.expected != 2;
            EXPECT_EQ(s.CreateTXTz, confirmed);
            // Confirmed: the selected profile; otherwise the proposal stays in memory.
            EXPECT_EQ(s.Profile, confirmed ? L"sdk_default" : L"vjt600");
            continue;
        }
        EXPECT_EQ(caption, asks ? L"Overwrite an Existing File" : L"Output File Name Not Possible");
        EXPECT_TRUE(hasIcon);
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(focusOnName, !asks) << "a refused name is ready to be typed over";
        EXPECT_EQ(keptText, c.name);
    }
}

// Browse starts from the box's text and puts the chosen path into the box.
// A path the settings cannot carry (over 259 characters) is never handed
// over cut: the save dialog starts in its folder instead, and a chosen path
// that long leaves the box as it was.
TEST(ParamDialog, BrowseUsesTheSaveDialogAndKeepsTextOnCancelOrTooLongAPath)
{
    testkit::ScratchFolder tmp("folder");
    // Three nested folders of 60 characters (a path over 210 characters),
    // removed with the scratch folder.
    std::vector<std::wstring> folders = {tmp.path().wstring()};
    for (int i = 0; i < 3; ++i) {
        folders.push_back(folders.back() + L"\\" + std::wstring(60, wchar_t(L'd' + i)));
        ASSERT_TRUE(CreateDirectoryW(folders.back().c_str(), nullptr));
    }
    const std::wstring deep = folders.back();
    const std::wstring longName = deep + L"\\" + std::wstring(600 - deep.size() - 6, L'g') + L".djvu";
    struct Case {
        const char* what;
        std::wstring before;     // the box's text when Browse is clicked
        std::wstring typed;      // typed into the save dialog; empty: Cancel
        std::wstring nameShown;  // the save dialog's name box at the start
        bool refused;            // the save dialog refused the path
        std::wstring after;      // the box's text afterwards
    } cases[] = {
        {"a bare name gets the DjVu extension", L"typed before browse", tmp.wide(L"report"), L"typed before browse", false,
         tmp.wide(L"report.djvu")},
        {"cancel keeps the typed text", L"typed before browse", L"", L"typed before browse", false, L"typed before browse"},
        {"a chosen path over 259 characters keeps the text", deep + L"\\a.djvu", std::wstring(80, L'g'), L"a.djvu", true,
         deep + L"\\a.djvu"},
        {"a typed path of 600 characters starts in its folder, said why", longName, L"", L"", false, longName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrinterSettings s = freshSettings(L"");
        std::wstring nameShown, folderShown, refused, noticed, after;
        int filterCount = -1;
        runParamDialog(s, {tmp.wide(L"none.img")}, [&](HWND dlg) {
            SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), c.before.c_str());
            pressButton(dlg, IDC_BROWSE);
            // A name too long to hand over is dropped with a word first.
            if (c.before.size() > 259) {
                HWND notice = uitest::ownedDialog(dlg, 10000);
                ASSERT_NE(notice, nullptr) << "no word why the name was dropped";
                noticed = uitest::staticTexts(notice);
                uitest::saveScreenshot(notice, L"browse-name-not-taken-en");
                uitest::pressButton(notice, IDOK);
                uitest::waitUntil([&] { return !IsWindow(notice); });
            }
            HWND save = uitest::ownedDialog(dlg, 10000);
            ASSERT_NE(save, nullptr) << "no save dialog";
            HWND nameBox = nullptr;
            for (const uitest::ControlInfo& ci : uitest::listControls(save)) {
                if (ci.id == 0x470)   // the file type box (cmb1)
                    filterCount = int(SendMessageW(ci.hwnd, CB_GETCOUNT, 0, 0));
                // The file name box: edt1 (0x480) or the combo cmb13 (0x47c).
                if ((ci.id == 0x480 || ci.id == 0x47c) && ci.visible && !nameBox)
                    nameBox = ci.hwnd;
            }
            wchar_t folder[1024] = {};
            SendMessageW(save, CDM_GETFOLDERPATH, 1024, reinterpret_cast<LPARAM>(folder));
            folderShown = folder;
            nameShown = nameBox ? uitest::windowText(nameBox) : L"<none>";
            if (!c.typed.empty() && nameBox)
                SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed.c_str()));
            uitest::pressButton(save, !c.typed.empty() && nameBox ? IDOK : IDCANCEL);
            // A refused path brings a message over the save dialog.
            HWND refusal = nullptr;
            uitest::waitUntil([&] { return !IsWindow(save) || (refusal = uitest::ownedDialog(save, 0)) != nullptr; });
            if (refusal) {
                refused = uitest::staticTexts(refusal);
                uitest::pressButton(refusal, IDOK);
                uitest::waitUntil([&] { return !IsWindow(refusal); });
                uitest::pressButton(save, IDCANCEL);
            }
            uitest::waitUntil([&] { return !IsWindow(save); });
            after = controlText(dlg, IDC_OUTPUT_FILE);
            pressButton(dlg, IDCANCEL);
        });
        EXPECT_EQ(filterCount, 3) << "DjVu, MHTML and PDF (the list: ParamLogic.FilterListGives...)";
        EXPECT_EQ(nameShown, c.nameShown);
        // The whole text: BrowseSaysTooLong... below.
        const std::wstring chosenLength = std::to_wstring(deep.size() + 1 + 80 + 5);
        EXPECT_EQ(refused.find(L"it has " + chosenLength + L" characters") != std::wstring::npos, c.refused);
        EXPECT_EQ(noticed.find(L"has 600 characters") != std::wstring::npos, c.before.size() > 259);
        if (c.before.find(deep) == 0) {
            EXPECT_EQ(folderShown, deep) << "the save dialog starts in the box's folder";
        }
        EXPECT_EQ(after, c.after);
    }
}

// Windows' newer save dialog refuses a path longer than its buffer by failing
// with FNERR_BUFFERTOOSMALL, the size needed (with the end) in the buffer's
// first character; Wine's dialog never does, so that outcome is handed in.
TEST(ParamDialog, BrowseSaysTooLongWhenTheNewerSaveDialogFindsItsBufferTooSmall)
{
    testkit::ScratchFolder tmp("folder");
    const std::wstring before = tmp.wide(L"kept.djvu");
    setSaveDialogCall([](OPENFILENAMEW& ofn, DWORD& error) {
        ofn.lpstrFile[0] = 412;
        error = FNERR_BUFFERTOOSMALL;
        return FALSE;
    });
    std::wstring message, after;
    PrinterSettings s = freshSettings(L"");
    runParamDialog(s, {tmp.wide(L"none.img")}, [&](HWND dlg) {
        SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), before.c_str());
        pressButton(dlg, IDC_BROWSE);
        HWND box = uitest::ownedDialog(dlg, 10000);
        if (box) {
            message = uitest::staticTexts(box);
            uitest::pressButton(box, IDOK);
            uitest::waitUntil([&] { return !IsWindow(box); });
        }
        after = controlText(dlg, IDC_OUTPUT_FILE);
        pressButton(dlg, IDCANCEL);
    });
    setSaveDialogCall({});
    EXPECT_NE(message.find(L"cannot be used: it has 411 characters"), std::wstring::npos) << uitest::narrow(message);
    EXPECT_EQ(after, before);
}

// The preview paints the page file fitted into the frame with its outline,
// one pixel wide at 96 dpi (wider: PreviewFit.FitsCentresAndOutlines), the
// dialog's face beside it; a missing file (damaged ones: PageImage in
// tests/app_core) leaves the whole frame white and the dialog working; under
// high contrast the blank page and the outline take the scheme's colours.
// The properties list shows the command-line numbers, not the file's.
TEST(ParamDialog, PreviewIsPaintedIntoTheFrameAndPropertiesComeFromTheCommandLine)
{
    testkit::ScratchFolder tmp("folder");
    ASSERT_TRUE(writeBytes(tmp.wide(L"portrait.img"), solidPage(2480, 3508, 2480 * 3 + 4, 0x00, 0x00, 0xFF)));
    ASSERT_TRUE(writeBytes(tmp.wide(L"landscape.img"), solidPage(3508, 2480, 3508 * 3, 0xFF, 0x00, 0x00)));
    const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
    struct Case {
        const wchar_t* file;
        uint32_t w, h;     // of the file; 0 when it gives no picture
        COLORREF inside;
        int page, resolution, width, height;   // the command line
        const wchar_t *pageShown, *sizeShown, *resolutionShown;   // the properties list's values
        COLORREF outline = 0;
        bool highContrast = false;   // a black scheme with yellow text
        bool switchedWhileOpen = false;
    } cases[] = {
        {L"portrait", 2480, 3508, RGB(0xFF, 0, 0), 1, 300, 2480, 3508, L"1", L"2480 x 3508", L"300 dpi"},
        {L"landscape", 3508, 2480, RGB(0, 0, 0xFF), -3, 600, -1, 3508, L"-3", L"4294967295 x 3508", L"600 dpi"},
        {L"missing", 0, 0, white, 7, -1, 0, -2, L"7", L"0 x 4294967294", L"4294967295 dpi"},
        {L"missing", 0, 0, RGB(0, 0, 0), 2, 300, 4, 4, L"2", L"4 x 4", L"300 dpi", RGB(0xFF, 0xFF, 0), true},
        {L"missing", 0, 0, RGB(0, 0, 0), 2, 300, 4, 4, L"2", L"4 x 4", L"300 dpi", RGB(0xFF, 0xFF, 0), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(uitest::narrow(c.file) + (c.highContrast ? " in high contrast" : ""));
        std::optional<HighContrastScheme> scheme;
        if (c.highContrast && !c.switchedWhileOpen)
            scheme.emplace(true);
        PrinterSettings s = freshSettings(L"");
        CParamDialogProbe* dialog = nullptr;
        bool loaded = true, fullRow = false;
        std::vector<std::wstring> cells;
        std::vector<COLORREF> seen;   // the centre, the outline left, right, above and below, beside it
        COLORREF face = 0;
        INT_PTR r = runParamDialog(s, {tmp.wide(std::wstring(c.file) + L".img"), c.page, c.resolution, c.width,
                                       c.height}, [&](HWND dlg) {
            if (c.switchedWhileOpen) {
                scheme.emplace(true);
                SendMessageW(dlg, WM_SYSCOLORCHANGE, 0, 0);
            }
            HWND list = GetDlgItem(dlg, IDC_PROPERTIES);
            for (int i = 0; i < int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); ++i)
                for (int column : {0, 1})
                    cells.push_back(uitest::listViewText(list, i, column));
            fullRow = (SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT) != 0;
            loaded = dialog->GetPreviewBitmap() != nullptr;
            const RECT frame = previewFrameRect(dlg, IDC_PREVIEW_FRAME);
            const PreviewRect p = fitPreview(frame.left, frame.top, frame.right, frame.bottom, c.w, c.h).picture;
            SetWindowPos(dlg, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            uitest::repaint(dlg);
            const int midX = p.x + p.width / 2, midY = p.y + p.height / 2;
            for (POINT at : {POINT{midX, midY}, POINT{p.x - 1, midY}, POINT{p.x + p.width, midY},
                             POINT{midX, p.y - 1}, POINT{midX, p.y + p.height}, POINT{p.x - 2, midY}})
                seen.push_back(uitest::pixelAt(dlg, at.x, at.y));
            face = GetSysColor(COLOR_3DFACE);
            uitest::saveScreenshot(dlg, L"param-preview-" + std::wstring(c.file) + (c.highContrast ? L"-contrast" : L""));
            pressButton(dlg, IDOK);
        }, &dialog);
        EXPECT_EQ(r, c.page == 1 ? 1877 : 1) << "the dialog still works";
        EXPECT_EQ(cells, (std::vector<std::wstring>{L"Page", c.pageShown, L"Image Size", c.sizeShown, L"Resolution",
                                                    c.resolutionShown}));
        EXPECT_TRUE(fullRow) << "a click anywhere in a row selects it";
        EXPECT_EQ(loaded, c.w != 0);
        EXPECT_EQ(seen, (std::vector<COLORREF>{c.inside, c.outline, c.outline, c.outline, c.outline, face}));
    }
}
