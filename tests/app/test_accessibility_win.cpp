// What a screen reader and a keyboard user get from the page dialog and the
// progress window: the names the accessibility layer (oleacc) gives every
// control the keyboard reaches, the tab order, a page by keyboard alone.
#include "app/param_dialog.h"
#include "app/progress_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include "param_test_support.h"
#include "settings/printer_settings.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/ui_probe.h"

namespace {

// "name / description" of a control as a client of the accessibility layer
// reads them from another thread (the object is marshalled, as for a screen
// reader in another process).
std::wstring announced(HWND control)
{
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))))
        return L"(no object)";
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr, description = nullptr;
    object->get_accName(self, &name);
    object->get_accDescription(self, &description);
    std::wstring both = std::wstring(name ? name : L"") + L" / " + (description ? description : L"");
    SysFreeString(name);
    SysFreeString(description);
    object->Release();
    return both;
}

INT_PTR runPage(PrinterSettings& s, int page, const std::function<void(HWND)>& script)
{
    paramtest::ensureGdiplus();
    CParamDialog dialog(s, L"C:\\no such page.img", 300, 2480, 3508, page);
    return uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, script, 20000);
}

// Returns once the dialog's thread has handled everything posted to it
// before, or the dialog has ended: a marker posted behind them (the list's
// hover time, which nothing here uses) shows it; a sent message would be
// handled ahead of them.
void settle(HWND dialog)
{
    static LPARAM marker = 1000;
    HWND list = GetDlgItem(dialog, IDC_PROPERTIES);
    PostMessageW(list, LVM_SETHOVERTIME, 0, ++marker);
    uitest::waitUntil([&] { return !IsWindow(list) || SendMessageW(list, LVM_GETHOVERTIME, 0, 0) == marker; });
}

// A key to the control with the focus, as the dialog's thread reads it:
// a virtual key, or an access key (Alt+letter).
void key(HWND dialog, WPARAM vk, bool alt = false)
{
    HWND to = uitest::focusOf(dialog);
    if (alt)
        PostMessageW(to, WM_SYSCHAR, vk, 0x20000001);
    else
        PostMessageW(to, WM_KEYDOWN, vk, 1), PostMessageW(to, WM_KEYUP, vk, 0xC0000001);
    settle(dialog);
}

// The control with the focus while focus rectangles are shown; 0 otherwise.
int visibleFocus(HWND dialog)
{
    HWND focus = uitest::focusOf(dialog);
    const bool hidden = (SendMessageW(dialog, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    return focus && !hidden ? GetDlgCtrlID(focus) : 0;
}

} // namespace

// Every control the keyboard reaches (and the preview, which it does not)
// has a name: a field the label before it (a button's own text is the
// system's to announce). The preview says which page it shows; the progress
// bar is named by the page line and follows it.
TEST(Accessibility, EveryReachableControlIsNamed)
{
    const std::pair<int, std::wstring> page[] = {
        {IDC_OUTPUT_FILE, L"Output File: / "},
        {IDC_PREVIEW_FRAME, L"Page preview / Page 3, 2480 x 3508 pixels at 300 dpi"},
        {IDC_PROPERTIES, L"Properties: / "},
        {IDC_PROFILE, L"Profile: / "},
    };
    PrinterSettings s;
    runPage(s, 3, [&](HWND dlg) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (const auto& [id, expected] : page)
            EXPECT_EQ(announced(GetDlgItem(dlg, id)), expected) << "page dialog, control " << id;
        CoUninitialize();
        uitest::pressButton(dlg, IDCANCEL);
    });
    uitest::PipeServer pipe;
    Solvaris_Win32::UniqueHandle client(pipe.openClient());
    CProgressDialog dialog(std::move(client));
    uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, [&](HWND w) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pipe.send(encodePageCount(40));
        for (uint32_t kind : {PM_PAGE_BEGIN, PM_PAGE_BEGIN, PM_TEXT})
            pipe.send(encodePipeMessage(kind, nullptr, 0));
        uitest::waitUntil([&] { return uitest::controlText(w, IDC_PROGRESS_TEXT).rfind(L"Page 2/40", 0) == 0; });
        EXPECT_EQ(announced(GetDlgItem(w, IDC_PROGRESS_BAR)), L"Page 2/40: Processing page text... / ");
        CoUninitialize();
        pipe.send({'m', 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0});   // ends the stream
    });
}

// Tab goes through the controls as they are read: each one further down
// (its top below the middle of the one before) or on the same line further
// right.
TEST(Accessibility, TabOrderIsTheReadingOrder)
{
    PrinterSettings s;
    runPage(s, 1, [&](HWND dlg) {
        std::vector<HWND> order = {GetNextDlgTabItem(dlg, nullptr, FALSE)};
        while (order.size() < 20 && GetNextDlgTabItem(dlg, order.back(), FALSE) != order.front())
            order.push_back(GetNextDlgTabItem(dlg, order.back(), FALSE));
        EXPECT_EQ(order.size(), 8u);
        for (size_t i = 1; i < order.size(); ++i) {
            RECT a, b;
            GetWindowRect(order[i - 1], &a);
            GetWindowRect(order[i], &b);
            const bool below = b.top >= (a.top + a.bottom) / 2;
            const bool right = a.top < (b.top + b.bottom) / 2 && b.left > a.left;
            EXPECT_TRUE(below || right) << "control " << GetDlgCtrlID(order[i]) << " after "
                                        << GetDlgCtrlID(order[i - 1]);
        }
        uitest::pressButton(dlg, IDCANCEL);
    });
}

// Two pages of a job by keyboard alone: on the first the name is typed, the
// properties and the profile are reached by their access keys, and the page
// is confirmed for itself alone; the second is skipped by Skip Page's access
// key. The focus is shown at every step.
TEST(Accessibility, WholeJobByKeyboard)
{
    testkit::ScratchFolder tmp("folder");
    const std::wstring name = tmp.wide(L"keyed.djvu");
    PrinterSettings s;
    std::vector<int> steps;
    // The activation, once the display gives the dialog the focus, puts the
    // focus back where it was: keys go in after it.
    auto active = [](HWND dlg) { uitest::waitUntil([&] { return GetForegroundWindow() == dlg; }, 3000); };
    const INT_PTR first = runPage(s, 1, [&](HWND dlg) {
        active(dlg);
        key(dlg, VK_TAB);
        steps.push_back(visibleFocus(dlg));
        key(dlg, L'o', true);
        steps.push_back(visibleFocus(dlg));
        SendDlgItemMessageW(dlg, IDC_OUTPUT_FILE, EM_SETSEL, 0, -1);
        for (wchar_t c : name)
            PostMessageW(uitest::focusOf(dlg), WM_CHAR, c, 1);
        for (wchar_t letter : {L'r', L'p'}) {
            key(dlg, letter, true);
            steps.push_back(visibleFocus(dlg));
        }
        key(dlg, VK_TAB);
        key(dlg, VK_TAB);
        steps.push_back(visibleFocus(dlg));
        key(dlg, VK_SPACE);   // clears "same configuration"
        key(dlg, VK_RETURN);
    });
    EXPECT_EQ(steps, (std::vector<int>{IDC_BROWSE, IDC_OUTPUT_FILE, IDC_PROPERTIES, IDC_PROFILE, IDC_SAME_CONFIG}));
    EXPECT_EQ(first, IDOK);
    EXPECT_EQ(s.OutputFileName, name);
    int second = 0;
    const INT_PTR result = runPage(s, 2, [&](HWND dlg) {
        active(dlg);
        key(dlg, VK_TAB);
        second = visibleFocus(dlg);
        key(dlg, L's', true);
    });
    EXPECT_EQ(second, IDC_PROFILE) << "a later page starts on the properties";
    EXPECT_EQ(result, IDSKIPPAGE);
}
