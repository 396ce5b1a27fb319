// What a screen reader and a keyboard user get from the page dialog and the
// progress window: the names the accessibility layer (oleacc) gives every
// control the keyboard reaches, and the tab order against the reading order.
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

// Name and description of a control as a client of the accessibility
// layer reads them (from another thread, as a screen reader would from
// another process: the object is marshalled).
struct Announced {
    std::wstring name, description;
    bool operator==(const Announced& o) const { return name == o.name && description == o.description; }
};
std::ostream& operator<<(std::ostream& out, const Announced& a)
{
    return out << '"' << uitest::narrow(a.name) << "\" / \"" << uitest::narrow(a.description) << '"';
}

Announced announced(HWND control)
{
    Announced a;
    IAccessible* object = nullptr;
    const HRESULT got = AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                                   reinterpret_cast<void**>(&object));
    if (FAILED(got))
        return {L"(no object: " + std::to_wstring(unsigned(got)) + L")", L""};
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    for (auto [get, out] : {std::pair{&IAccessible::get_accName, &a.name},
                            std::pair{&IAccessible::get_accDescription, &a.description}}) {
        BSTR text = nullptr;
        if ((object->*get)(self, &text) == S_OK && text)
            out->assign(text, SysStringLen(text));
        SysFreeString(text);
    }
    object->Release();
    return a;
}

// The controls the keyboard reaches, in tab order.
std::vector<HWND> tabOrder(HWND dialog)
{
    std::vector<HWND> order;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND at = first; at && (order.empty() || at != first); at = GetNextDlgTabItem(dialog, at, FALSE))
        order.push_back(at);
    return order;
}

// Reading order: a control further down (its top below the other's
// middle), or on the same line and further right.
bool readsAfter(HWND later, HWND earlier)
{
    RECT a, b;
    GetWindowRect(earlier, &a);
    GetWindowRect(later, &b);
    if (b.top >= (a.top + a.bottom) / 2)
        return true;
    return a.top < (b.top + b.bottom) / 2 && b.left > a.left;
}

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

INT_PTR runPage(PrinterSettings& s, int page, const std::function<void(HWND)>& script)
{
    paramtest::ensureGdiplus();
    CParamDialog dialog(s, L"C:\\no such page.img", 300, 2480, 3508, page);
    return uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, script, 20000);
}

void runProgress(const std::function<void(HWND, uitest::PipeServer&)>& script)
{
    uitest::PipeServer pipe;
    Solvaris_Win32::UniqueHandle client(pipe.openClient());
    CProgressDialog dialog(client.get());
    uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, [&](HWND w) { script(w, pipe); });
}

} // namespace

// Every control the keyboard reaches (and the preview, which it does not)
// has a name: its own text without the access key's mark, or the label
// before it. The preview says which page it shows; the progress bar is
// named by the page line and follows it.
TEST(Accessibility, EveryReachableControlIsNamed)
{
    struct Row {
        const char* window;
        int id;
        Announced expected;
    } rows[] = {
        {"page", IDC_OUTPUT_FILE, {L"Output File:", L""}},
        {"page", IDC_BROWSE, {L"Browse...", L""}},
        {"page", IDC_PREVIEW_FRAME, {L"Page preview", L"Page 3, 2480 x 3508 pixels at 300 dpi"}},
        {"page", IDC_PROPERTIES, {L"Properties:", L""}},
        {"page", IDC_PROFILE, {L"Profile:", L""}},
        {"page", IDC_EDIT_PROFILE, {L"Edit...", L""}},
        {"page", IDC_SAME_CONFIG, {L"Use same configuration for successive pages", L""}},
        {"page", IDC_SKIP_PAGE, {L"Skip Page", L""}},
        {"page", IDOK, {L"OK", L""}},
        {"page", IDCANCEL, {L"Cancel", L""}},
        {"progress", IDCANCEL, {L"Cancel", L""}},
        {"progress", IDC_PROGRESS_BAR, {L"Page 2/40: Processing page text...", L""}},
    };
    std::vector<std::pair<std::string, Announced>> seen;
    auto read = [&](const char* window, HWND dialog) {
        ComApartment com;
        for (const Row& r : rows)
            if (std::string(r.window) == window)
                seen.emplace_back(std::string(window) + " " + std::to_string(r.id), announced(GetDlgItem(dialog, r.id)));
    };
    PrinterSettings s;
    runPage(s, 3, [&](HWND dlg) {
        read("page", dlg);
        uitest::pressButton(dlg, IDCANCEL);
    });
    runProgress([&](HWND w, uitest::PipeServer& pipe) {
        pipe.send(encodePageCount(40));
        pipe.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0));
        pipe.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0));
        pipe.send(encodePipeMessage(PM_TEXT, nullptr, 0));
        uitest::waitUntil([&] { return uitest::controlText(w, IDC_PROGRESS_TEXT).rfind(L"Page 2/40", 0) == 0; });
        read("progress", w);
        pipe.send({'m', 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0});   // ends the stream
    });
    ASSERT_EQ(seen.size(), std::size(rows));
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].second, rows[i].expected) << seen[i].first;
}

// Tab goes through the controls as they are read: top to bottom, and left
// to right on a line.
TEST(Accessibility, TabOrderIsTheReadingOrder)
{
    std::vector<std::vector<HWND>> orders;
    PrinterSettings s;
    runPage(s, 1, [&](HWND dlg) {
        orders.push_back(tabOrder(dlg));
        EXPECT_EQ(orders.back().size(), 8u);
        uitest::pressButton(dlg, IDCANCEL);
    });
    for (const std::vector<HWND>& order : orders)
        for (size_t i = 1; i < order.size(); ++i)
            EXPECT_TRUE(readsAfter(order[i], order[i - 1]))
                << "control " << GetDlgCtrlID(order[i]) << " after " << GetDlgCtrlID(order[i - 1]);
}

namespace {

// Returns once the dialog's thread has handled everything posted to it
// before, or the dialog has ended: a marker posted behind (the list's hover
// time, which nothing here uses) shows it. (A sent message would be handled
// ahead of them.)
void settle(HWND dialog)
{
    static LPARAM marker = 1000;
    HWND list = GetDlgItem(dialog, IDC_PROPERTIES);
    PostMessageW(list, LVM_SETHOVERTIME, 0, ++marker);
    uitest::waitUntil([&] { return !IsWindow(list) || SendMessageW(list, LVM_GETHOVERTIME, 0, 0) == marker; });
}

// Keys as the dialog's thread reads them from its queue: Tab, Space and
// Enter to the control that has the focus, an access key as Alt+letter.
void key(HWND dialog, WPARAM vk)
{
    HWND to = uitest::focusOf(dialog);
    PostMessageW(to, WM_KEYDOWN, vk, 1);
    PostMessageW(to, WM_KEYUP, vk, 0xC0000001);
    settle(dialog);
}
void accessKey(HWND dialog, wchar_t letter)
{
    PostMessageW(uitest::focusOf(dialog), WM_SYSCHAR, letter, 0x20000001);
    settle(dialog);
}
void type(HWND dialog, const std::wstring& text)
{
    for (wchar_t c : text)
        PostMessageW(uitest::focusOf(dialog), WM_CHAR, c, 1);
    settle(dialog);
}

// The dialog is active once the display has given it the focus: the
// activation puts the focus back on the control it had, so keys go in
// only after it.
void waitActive(HWND dialog)
{
    uitest::waitUntil([&] { return GetForegroundWindow() == dialog; }, 3000);
    settle(dialog);
}

// The control with the focus, when the focus is drawn (the dialog shows
// focus rectangles once the keyboard is used); 0 otherwise.
int visibleFocus(HWND dialog)
{
    HWND focus = uitest::focusOf(dialog);
    const bool hidden = (SendMessageW(dialog, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    return focus && !hidden ? GetDlgCtrlID(focus) : 0;
}

} // namespace

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
    const INT_PTR first = runPage(s, 1, [&](HWND dlg) {
        waitActive(dlg);
        key(dlg, VK_TAB);
        steps.push_back(visibleFocus(dlg));
        accessKey(dlg, L'o');
        steps.push_back(visibleFocus(dlg));
        SendDlgItemMessageW(dlg, IDC_OUTPUT_FILE, EM_SETSEL, 0, -1);
        type(dlg, name);
        for (wchar_t letter : {L'r', L'p'}) {
            accessKey(dlg, letter);
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
        waitActive(dlg);
        key(dlg, VK_TAB);
        second = visibleFocus(dlg);
        accessKey(dlg, L's');
    });
    EXPECT_EQ(second, IDC_PROFILE) << "a later page starts on the properties";
    EXPECT_EQ(result, IDSKIPPAGE);
}
