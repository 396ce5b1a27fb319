// The dialog framework: modal run, message map dispatch, results, the
// exception barrier, and the driver that tests use to run dialogs.
#include "app/dialog_impl.h"
#include "app/res/resource.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

const UINT WM_TEST_QUERY = WM_APP + 1;
const UINT WM_TEST_THROW = WM_APP + 2;
const UINT WM_TEST_PASS_ON = WM_APP + 3;
const UINT WM_TEST_NESTED = WM_APP + 4;

// A dialog on the progress template, with handlers whose effects tests see.
class CTestDialog : public CDialogImpl<CTestDialog> {
public:
    enum { IDD = IDD_PROGRESS };
    HWND seenAtInit = nullptr;
    int cancelCalls = 0;
    int passOnCalls = 0;

    BEGIN_MSG_MAP(CTestDialog)
        MSG_WM_INITDIALOG(OnInitDialog)
        MESSAGE_HANDLER_EX(WM_TEST_QUERY, OnQuery)
        MESSAGE_HANDLER_EX(WM_TEST_THROW, OnThrow)
        MESSAGE_HANDLER_EX(WM_TEST_PASS_ON, OnPassOn)
        MESSAGE_HANDLER_EX(WM_TEST_NESTED, OnNested)
        COMMAND_HANDLER_EX(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

    BOOL OnInitDialog(HWND, LPARAM)
    {
        seenAtInit = m_hWnd;
        return TRUE;
    }
    LRESULT OnQuery(UINT, WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam) * 2; }
    LRESULT OnThrow(UINT, WPARAM wParam, LPARAM)
    {
        if (wParam)
            throw std::runtime_error("handler failed");
        throw 5;
    }
    LRESULT OnPassOn(UINT, WPARAM, LPARAM)
    {
        ++passOnCalls;
        SetMsgHandled(FALSE);
        return 99;
    }
    // Handled itself, while a message it sends meanwhile is passed on.
    LRESULT OnNested(UINT, WPARAM, LPARAM)
    {
        ::SendMessageW(m_hWnd, WM_TEST_PASS_ON, 0, 0);
        return 7;
    }
    void OnCancel(UINT, int, HWND)
    {
        ++cancelCalls;
        EndDialog(42);
    }
};

class CNoTemplateDialog : public CDialogImpl<CNoTemplateDialog> {
public:
    enum { IDD = 7 };
    BEGIN_MSG_MAP(CNoTemplateDialog)
    END_MSG_MAP()
};

TEST(DialogImpl, ModalRunEndsWithTheResultOfEndDialogAndDispatchesOnlyMatchingCommands)
{
    CTestDialog dlg;
    LRESULT queried = 0, passedOn = -1, nested = 0;
    const INT_PTR result = uitest::runToEnd([&] { return dlg.DoModal(nullptr); }, [&](HWND w) {
        queried = SendMessageW(w, WM_TEST_QUERY, 21, 0);
        passedOn = SendMessageW(w, WM_TEST_PASS_ON, 0, 0);
        nested = SendMessageW(w, WM_TEST_NESTED, 0, 0);
        // Same control, other notification code: not the Cancel handler.
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_SETFOCUS), 0);
        uitest::pressButton(w, IDCANCEL);
    });
    EXPECT_EQ(42, result);
    EXPECT_NE(nullptr, dlg.seenAtInit);
    EXPECT_EQ(nullptr, dlg.m_hWnd) << "the handle is cleared when the window is gone";
    EXPECT_EQ(42, queried) << "a handled message answers with the handler's result";
    EXPECT_EQ(2, dlg.passOnCalls);
    EXPECT_EQ(0, passedOn) << "a handler that passes its message on leaves the answer to the default";
    EXPECT_EQ(7, nested) << "a message passed on inside a handler does not pass on the handler's own";
    EXPECT_EQ(1, dlg.cancelCalls);
}

// The other ways a modal run ends: -1 when a handler throws (the exception
// barrier) or there is no template; for a dialog nobody closes, through the
// test driver's watchdog, which acts only through the dialogs' test filter:
// without one (as in the program) its message does nothing. An owner that
// is no window is run end to end (Arguments.ParamOwnerFromTheCommandLine).
TEST(DialogImpl, ThrowingHandlerMissingTemplateAndTheWatchdog)
{
    auto post = [](UINT message, WPARAM wParam) { return [=](HWND w) { PostMessageW(w, message, wParam, 0); }; };
    struct Case {
        const char* what;
        bool noTemplate;
        std::function<void(HWND)> script;
        INT_PTR result;
        bool windowSeen, aborted;
    } cases[] = {
        {"a handler throws an int", false, post(WM_TEST_THROW, 0), -1, true, false},
        {"a handler throws an exception", false, post(WM_TEST_THROW, 1), -1, true, false},
        {"no template", true, [](HWND) {}, -1, false, false},
        {"nobody closes it", false, [](HWND) {}, -7777, true, true},
        {"the abort message without the filter", false, [](HWND w) {
             const DialogTestFilter installed = dialogTestFilter().exchange(nullptr);
             SendMessageW(w, RegisterWindowMessageW(L"Printvane.AbortDialog"), 5, 0);
             dialogTestFilter() = installed;
             uitest::pressButton(w, IDCANCEL);
         }, 42, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTestDialog dlg;
        CNoTemplateDialog none;
        auto run = uitest::runDriven([&] { return c.noTemplate ? none.DoModal(nullptr) : dlg.DoModal(nullptr); },
                                     c.script, 2000);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.windowSeen, c.windowSeen);
        EXPECT_EQ(run.aborted, c.aborted);
    }
}

} // namespace
