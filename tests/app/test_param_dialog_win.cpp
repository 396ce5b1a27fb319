// The page configuration dialog, run for real inside the test program while
// a helper thread drives it and reads its controls.
#include "app/param_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "param_test_support.h"
#include "settings/printer_settings.h"
#include "support/dialog_driver.h"
#include "support/ui_probe.h"

using namespace paramtest;

namespace {

struct PageArgs {
    std::wstring image;
    int resolution = 600;
    int width = 2480;
    int height = 3508;
    int page = 1;
};

// Runs CParamDialog modally with `script` driving it; returns the result.
INT_PTR runParamDialog(PrinterSettings& settings, const PageArgs& a, const std::function<void(HWND)>& script,
                       CParamDialog** seen = nullptr)
{
    ensureGdiplus();
    CParamDialog dialog(settings, a.image, a.resolution, a.width, a.height, a.page);
    if (seen)
        *seen = &dialog;
    uitest::DrivenRun run = uitest::runDriven([&] { return dialog.DoModal(nullptr); }, script, 20000);
    EXPECT_TRUE(run.windowSeen);
    EXPECT_FALSE(run.aborted) << "the dialog did not end by itself";
    return run.result;
}

bool checked(HWND dlg, int id)
{
    return SendMessageW(GetDlgItem(dlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void setChecked(HWND dlg, int id, bool on)
{
    SendMessageW(GetDlgItem(dlg, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

// Another dialog window of this process (message box, save dialog) owned by
// `dlg`, or nullptr.
HWND ownedDialog(HWND dlg)
{
    for (HWND w : uitest::topLevelWindows(GetCurrentProcessId(), L"#32770")) {
        if (w != dlg && GetWindow(w, GW_OWNER) == dlg)
            return w;
    }
    return nullptr;
}

HWND waitForOwnedDialog(HWND dlg, DWORD limitMs = 5000)
{
    HWND found = nullptr;
    uitest::waitUntil([&] { return (found = ownedDialog(dlg)) != nullptr; }, limitMs);
    return found;
}

// Returns once `dlg` has handled everything sent or posted to it before.
void roundTrip(HWND dlg)
{
    DWORD_PTR ignored;
    SendMessageTimeoutW(dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
}

std::wstring listText(HWND list, int item, int sub)
{
    wchar_t buf[256] = {};
    LVITEMW it = {};
    it.iSubItem = sub;
    it.pszText = buf;
    it.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&it));
    return buf;
}

std::wstring headerText(HWND list, int column, int& width)
{
    wchar_t buf[64] = {};
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = buf;
    col.cchTextMax = 64;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    width = col.cx;
    return buf;
}

COLORREF pixel(HWND dlg, int x, int y)
{
    HDC dc = GetDC(dlg);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(dlg, dc);
    return c;
}

void repaint(HWND dlg)
{
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored;
    SendMessageTimeoutW(dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
}

PrinterSettings freshSettings(const std::wstring& output, const std::wstring& profile)
{
    PrinterSettings s;
    s.OutputFileName = output;
    s.Profile = profile;
    s.CreateTXTz = false;
    return s;
}

} // namespace

namespace {

// The dialog with one more message: WM_TEST_ENABLE calls EnableControls with
// wParam on the dialog's own thread.
const UINT WM_TEST_ENABLE = WM_APP + 40;
// WM_TEST_FLASH_TIMER answers 1 when the flash timer was running.
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
            // Whether the flash timer exists (it is stopped by asking).
            lResult = ::KillTimer(hWnd, kFlashTimer) ? 1 : 0;
            return TRUE;
        }
        return CParamDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
    }
};

} // namespace

// The first page starts with the output file editable and the check box
// checked, later pages (and odd page numbers) without. Every page gets one
// attention flash, also when the dialog is hidden and shown again. Disabling turns off
// every control but Skip Page, and the dialog window; enabling again brings
// the output file controls back only on the first page.
TEST(ParamDialog, FirstAndLaterPagesStartAndEnableDifferently)
{
    ensureGdiplus();
    TempFolder tmp;
    const int others[] = {IDC_PROFILE, IDC_EDIT_PROFILE, IDC_PREVIEW_FRAME, IDC_PROPERTIES, IDC_SAME_CONFIG,
                          IDOK, IDCANCEL};
    for (int page : {1, 2, 0, -1}) {
        SCOPED_TRACE("page " + std::to_string(page));
        PrinterSettings s = freshSettings(L"C:\\jobs\\report.djvu", L"");
        CParamDialogProbe dialog(s, tmp.file(L"none.img"), 300, 100, 100, page);
        uitest::DrivenRun run = uitest::runDriven([&] { return dialog.DoModal(nullptr); }, [&](HWND dlg) {
            EXPECT_TRUE(uitest::waitUntil([&] { return dialog.flashCount() > 0; }, 5000));
            EXPECT_EQ(SendMessageW(dlg, WM_TEST_FLASH_TIMER, 0, 0), 0) << "the flash stops its timer";
            // ShowWindow on another thread's window returns once that thread
            // has handled it, WM_SHOWWINDOW included.
            ShowWindow(dlg, SW_HIDE);
            ShowWindow(dlg, SW_SHOW);
            EXPECT_EQ(SendMessageW(dlg, WM_TEST_FLASH_TIMER, 0, 0), 0) << "showing again must not start it again";
            EXPECT_EQ(dialog.flashCount(), 1);
            EXPECT_EQ(uitest::itemText(dlg, 0), L"Vellumjet");
            EXPECT_EQ(uitest::itemText(dlg, IDC_OUTPUT_FILE), L"C:\\jobs\\report.djvu");
            EXPECT_EQ(enabled(dlg, IDC_OUTPUT_FILE), page == 1);
            EXPECT_EQ(enabled(dlg, IDC_BROWSE), page == 1);
            EXPECT_EQ(checked(dlg, IDC_SAME_CONFIG), page == 1);
            EXPECT_TRUE(IsWindowEnabled(dlg));
            for (int id : others)
                EXPECT_TRUE(enabled(dlg, id)) << "control " << id;
            EXPECT_TRUE(enabled(dlg, IDC_SKIP_PAGE));
            // SendMessage returns after the handler ran on the dialog's thread.
            SendMessageW(dlg, WM_TEST_ENABLE, FALSE, 0);
            EXPECT_FALSE(IsWindowEnabled(dlg));
            for (int id : others)
                EXPECT_FALSE(enabled(dlg, id)) << "control " << id;
            EXPECT_FALSE(enabled(dlg, IDC_OUTPUT_FILE) || enabled(dlg, IDC_BROWSE));
            EXPECT_TRUE(enabled(dlg, IDC_SKIP_PAGE)) << "Skip Page is never disabled";
            SendMessageW(dlg, WM_TEST_ENABLE, TRUE, 0);
            EXPECT_TRUE(IsWindowEnabled(dlg));
            for (int id : others)
                EXPECT_TRUE(enabled(dlg, id)) << "control " << id;
            EXPECT_EQ(enabled(dlg, IDC_OUTPUT_FILE), page == 1);
            EXPECT_EQ(enabled(dlg, IDC_BROWSE), page == 1);
            EXPECT_TRUE(enabled(dlg, IDC_SKIP_PAGE));
            uitest::clickButton(dlg, IDCANCEL);
        });
        EXPECT_FALSE(run.aborted);
        EXPECT_EQ(run.result, IDCANCEL);
    }
}

TEST(ParamDialog, EveryWayOutGivesItsCodeAndStoresOnlyOnConfirmation)
{
    TempFolder tmp;
    enum Action { OkKeep, OkUnchecked, OkChecked, Skip, CancelButton, EscapeKey, CloseBox };
    struct Case {
        const char* what;
        int page;
        Action action;
        INT_PTR expected;
    } cases[] = {
        {"OK on page 1 (box checked at start)", 1, OkKeep, 1877},
        {"OK on page 1 with the box cleared", 1, OkUnchecked, 1},
        {"OK on page 2 (box clear at start)", 2, OkKeep, 1},
        {"OK on page 2 with the box checked", 2, OkChecked, 1877},
        {"Skip Page", 1, Skip, 1878},
        {"Cancel", 1, CancelButton, 2},
        {"Escape", 1, EscapeKey, 2},
        {"close box", 2, CloseBox, 2},
    };
    const std::wstring typed = tmp.file(L"typed.djvu");
    for (const Case& c : cases) {
        PrinterSettings s = freshSettings(L"C:\\old\\old.djvu", L"");
        PageArgs a;
        a.image = tmp.file(L"none.img");
        a.page = c.page;
        INT_PTR r = runParamDialog(s, a, [&](HWND dlg) {
            if (c.page == 1)
                SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), typed.c_str());
            if (c.action == OkUnchecked)
                setChecked(dlg, IDC_SAME_CONFIG, false);
            if (c.action == OkChecked)
                setChecked(dlg, IDC_SAME_CONFIG, true);
            switch (c.action) {
            case Skip: uitest::clickButton(dlg, IDC_SKIP_PAGE); break;
            case CancelButton: uitest::clickButton(dlg, IDCANCEL); break;
            case EscapeKey: {
                HWND edit = GetDlgItem(dlg, IDC_PROFILE);
                PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageW(edit, WM_KEYUP, VK_ESCAPE, 0xC0010001);
                break;
            }
            case CloseBox: PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); break;
            default: uitest::clickButton(dlg, IDOK); break;
            }
        });
        EXPECT_EQ(r, c.expected) << c.what;
        const bool confirmed = c.expected == 1 || c.expected == 1877;
        EXPECT_EQ(s.CreateTXTz, confirmed) << c.what;
        if (confirmed) {
            // The box's text is stored, also when it could not be edited.
            EXPECT_EQ(s.OutputFileName, c.page == 1 ? typed : L"C:\\old\\old.djvu") << c.what;
            EXPECT_EQ(s.Profile, L"sdk_default") << c.what << ": the selected profile";
        } else {
            EXPECT_EQ(s.OutputFileName, L"C:\\old\\old.djvu") << c.what;
            EXPECT_EQ(s.Profile, L"vjt600") << c.what << ": the proposal stays in memory";
        }
    }
}

TEST(ParamDialog, OverwriteQuestionOnTheFirstPageOnly)
{
    TempFolder tmp;
    const std::wstring existing = tmp.file(L"doc.djvu");
    ASSERT_TRUE(writeBytes(existing, {1, 2, 3}));
    struct Case {
        const char* what;
        std::wstring name;
        int page;
        bool checkBox;
        bool asks;
        INT_PTR expected;
    } cases[] = {
        {"existing file, box checked", existing, 1, true, true, 1877},
        {"existing file, box clear", existing, 1, false, true, 1},
        {"existing folder", tmp.path(), 1, true, true, 1877},
        {"page 2 never asks", existing, 2, false, false, 1},
        {"new file", tmp.file(L"new.djvu"), 1, true, false, 1877},
    };
    for (const Case& c : cases) {
        PrinterSettings s = freshSettings(c.page == 1 ? L"" : c.name, L"");
        PageArgs a;
        a.image = tmp.file(L"none.img");
        a.page = c.page;
        std::wstring text, caption;
        UINT boxStyle = 0;
        bool stayedOpen = false;
        std::wstring keptText, keptInRecord;
        INT_PTR r = runParamDialog(s, a, [&](HWND dlg) {
            if (c.page == 1)
                SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), c.name.c_str());
            setChecked(dlg, IDC_SAME_CONFIG, c.checkBox);
            uitest::clickButton(dlg, IDOK);
            // Either the question comes or the dialog ends.
            HWND box = nullptr;
            uitest::waitUntil([&] { return (box = ownedDialog(dlg)) != nullptr || !IsWindow(dlg); });
            if (!box)
                return;
            text = uitest::staticTexts(box);
            caption = uitest::windowText(box);
            boxStyle = uitest::hasIconControl(box) ? MB_ICONQUESTION : 0;
            // No: the dialog stays open with the typed text.
            uitest::pressButton(box, IDNO);
            uitest::waitUntil([&] { return !IsWindow(box); }, 5000);
            // The question's modal loop has ended; once the dialog answers
            // again, its OK handler has returned.
            roundTrip(dlg);
            stayedOpen = IsWindow(dlg) && IsWindowVisible(dlg);
            keptText = uitest::itemText(dlg, IDC_OUTPUT_FILE);
            keptInRecord = s.OutputFileName;
            // Yes: confirmation goes on.
            uitest::clickButton(dlg, IDOK);
            HWND again = waitForOwnedDialog(dlg);
            if (again)
                uitest::pressButton(again, IDYES);
        });
        EXPECT_EQ(r, c.expected) << c.what;
        EXPECT_EQ(!text.empty(), c.asks) << c.what;
        if (!c.asks)
            continue;
        const std::wstring fileName = c.name.substr(c.name.find_last_of(L'\\') + 1);
        EXPECT_EQ(text, L"The file '" + fileName + L"' already exists, do you really want to overwrite the file?")
            << c.what;
        EXPECT_EQ(caption, L"Overwrite an Existing File") << c.what;
        EXPECT_EQ(boxStyle, UINT(MB_ICONQUESTION)) << c.what;
        EXPECT_TRUE(stayedOpen) << c.what;
        EXPECT_EQ(keptText, c.name) << c.what;
        EXPECT_EQ(keptInRecord, c.name) << c.what << ": stored before the question";
    }
}

TEST(ParamDialog, BrowseUsesTheSaveDialogAndKeepsTextOnCancel)
{
    TempFolder tmp;
    struct Case {
        const char* what;
        bool choose;
    } cases[] = {{"a bare name gets the DjVu extension", true}, {"cancel keeps the typed text", false}};
    for (const Case& c : cases) {
        PrinterSettings s = freshSettings(L"", L"");
        PageArgs a;
        a.image = tmp.file(L"none.img");
        std::wstring filterShown, after;
        bool saveDialogSeen = false;
        int filterCount = -1;
        runParamDialog(s, a, [&](HWND dlg) {
            SetWindowTextW(GetDlgItem(dlg, IDC_OUTPUT_FILE), L"typed before browse");
            uitest::clickButton(dlg, IDC_BROWSE);
            HWND save = waitForOwnedDialog(dlg, 10000);
            saveDialogSeen = save != nullptr;
            if (save) {
                HWND nameBox = nullptr;
                for (const uitest::ControlInfo& ci : uitest::listControls(save)) {
                    // The file type box (cmb1).
                    if (ci.id == 0x470)
                        filterCount = int(SendMessageW(ci.hwnd, CB_GETCOUNT, 0, 0));
                    if (ci.text == L"DjVu File (*.djvu;*.djv)")
                        filterShown = ci.text;
                    // The file name box: edt1 (0x480) or the combo cmb13 (0x47c).
                    if ((ci.id == 0x480 || ci.id == 0x47c) && ci.visible && !nameBox)
                        nameBox = ci.hwnd;
                }
                if (c.choose && nameBox) {
                    std::wstring bare = tmp.file(L"report");
                    SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(bare.c_str()));
                    uitest::pressButton(save, IDOK);
                } else {
                    uitest::pressButton(save, IDCANCEL);
                }
                uitest::waitUntil([&] { return !IsWindow(save); }, 5000);
                if (IsWindow(save))
                    uitest::pressButton(save, IDCANCEL);
            }
            uitest::waitUntil([&] { return !IsWindow(save); }, 5000);
            after = uitest::itemText(dlg, IDC_OUTPUT_FILE);
            uitest::clickButton(dlg, IDCANCEL);
        });
        EXPECT_TRUE(saveDialogSeen) << c.what;
        EXPECT_EQ(filterShown, L"DjVu File (*.djvu;*.djv)") << c.what;
        EXPECT_EQ(filterCount, 3) << c.what << ": DjVu, MHTML and PDF";
        if (c.choose)
            EXPECT_EQ(after, tmp.file(L"report.djvu")) << c.what;
        else
            EXPECT_EQ(after, L"typed before browse") << c.what;
    }
}

// The preview paints the page file fitted into the frame with its outline;
// the properties list shows the command-line numbers, not the file's.
TEST(ParamDialog, PreviewIsPaintedIntoTheFrameAndPropertiesComeFromTheCommandLine)
{
    TempFolder tmp;
    ASSERT_TRUE(writeBytes(tmp.file(L"portrait.img"), solidPage(2480, 3508, 2480 * 3 + 4, 0x00, 0x00, 0xFF)));
    ASSERT_TRUE(writeBytes(tmp.file(L"landscape.img"), solidPage(3508, 2480, 3508 * 3, 0xFF, 0x00, 0x00)));
    std::vector<uint8_t> hostile = solidPage(4, 4, 12, 0, 0, 0);
    hostile[0] = hostile[1] = hostile[2] = hostile[3] = 0xFF;   // width 0xFFFFFFFF
    ASSERT_TRUE(writeBytes(tmp.file(L"hostile.img"), hostile));
    ASSERT_TRUE(writeBytes(tmp.file(L"truncated.img"), {0x10, 0, 0, 0, 0x10, 0, 0}));
    const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
    struct Case {
        const char* what;
        const wchar_t* file;
        uint32_t w, h;     // of the file; 0 when it gives no picture
        COLORREF inside;
        int resolution, width, height, page;   // the command line
        std::vector<std::wstring> rows;
    } cases[] = {
        {"portrait page", L"portrait.img", 2480, 3508, RGB(0xFF, 0, 0), 300, 2480, 3508, 1,
         {L"Page", L"1", L"Image Size", L"2480 x 3508", L"Resolution", L"300 dpi"}},
        {"landscape page", L"landscape.img", 3508, 2480, RGB(0, 0, 0xFF), 600, -1, 3508, -3,
         {L"Page", L"-3", L"Image Size", L"4294967295 x 3508", L"Resolution", L"600 dpi"}},
        {"missing file", L"missing.img", 0, 0, white, -1, 0, -2, 7,
         {L"Page", L"7", L"Image Size", L"0 x 4294967294", L"Resolution", L"4294967295 dpi"}},
        {"truncated header", L"truncated.img", 0, 0, white, 300, 16, 16, 1,
         {L"Page", L"1", L"Image Size", L"16 x 16", L"Resolution", L"300 dpi"}},
        {"hostile header", L"hostile.img", 0, 0, white, 300, 4, 4, 1,
         {L"Page", L"1", L"Image Size", L"4 x 4", L"Resolution", L"300 dpi"}},
    };
    for (const Case& c : cases) {
        PrinterSettings s = freshSettings(L"", L"");
        const PageArgs args{tmp.file(c.file), c.resolution, c.width, c.height, c.page};
        CParamDialog* dialog = nullptr;
        bool loaded = true;
        PreviewFit fit;
        COLORREF centre = 0, outlineLeft = 0, outlineTop = 0, outlineRight = 0, outlineBottom = 0, band = 0;
        bool hasBand = false, fullRow = false;
        COLORREF background = GetSysColor(COLOR_3DFACE);
        std::vector<std::wstring> cells;
        int w0 = 0, w1 = 0;
        std::wstring h0, h1;
        INT_PTR r = runParamDialog(s, args, [&](HWND dlg) {
            HWND list = GetDlgItem(dlg, IDC_PROPERTIES);
            for (int i = 0; i < int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); ++i) {
                cells.push_back(listText(list, i, 0));
                cells.push_back(listText(list, i, 1));
            }
            h0 = headerText(list, 0, w0);
            h1 = headerText(list, 1, w1);
            fullRow = (SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT) != 0;

            loaded = dialog->previewBitmap() != nullptr;
            RECT frame = previewFrameRect(dlg, IDC_PREVIEW_FRAME);
            fit = fitPreview(frame.left, frame.top, frame.right, frame.bottom, c.w, c.h);
            SetWindowPos(dlg, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            repaint(dlg);
            const PreviewRect& p = fit.picture;
            centre = pixel(dlg, p.x + p.width / 2, p.y + p.height / 2);
            outlineLeft = pixel(dlg, p.x - 1, p.y + p.height / 2);
            outlineRight = pixel(dlg, p.x + p.width, p.y + p.height / 2);
            outlineTop = pixel(dlg, p.x + p.width / 2, p.y - 1);
            outlineBottom = pixel(dlg, p.x + p.width / 2, p.y + p.height);
            // A band of the frame beside (or above) the fitted page shows the dialog.
            if (p.x - frame.left >= 3) {
                hasBand = true;
                band = pixel(dlg, frame.left + 1, p.y + p.height / 2);
            } else if (p.y - frame.top >= 3) {
                hasBand = true;
                band = pixel(dlg, p.x + p.width / 2, frame.top + 1);
            }
            const std::wstring file = c.file;
            uitest::saveScreenshot(dlg, L"param-preview-" + file.substr(0, file.find(L'.')));
            uitest::clickButton(dlg, IDOK);
        }, &dialog);
        EXPECT_EQ(r, c.page == 1 ? 1877 : 1) << c.what << ": the dialog still works";
        EXPECT_EQ(cells, c.rows) << c.what;
        EXPECT_TRUE(fullRow) << "a click anywhere in a row selects it";
        // Column widths follow the texts and the display (test_dpi_layout_win.cpp).
        EXPECT_EQ(h0, L"Property");
        EXPECT_GT(w0, 0);
        EXPECT_EQ(h1, L"Value");
        EXPECT_GT(w1, 0);
        EXPECT_EQ(loaded, c.w != 0) << c.what;
        EXPECT_EQ(centre, c.inside) << c.what;
        for (COLORREF o : {outlineLeft, outlineRight, outlineTop, outlineBottom})
            EXPECT_EQ(o, RGB(0, 0, 0)) << c.what << ": outline";
        if (c.w != 0) {
            EXPECT_TRUE(hasBand) << c.what;
            EXPECT_EQ(band, background) << c.what << ": band beside the page";
        } else {
            EXPECT_FALSE(fit.fitted) << c.what << ": the whole frame is used";
        }
    }
}
