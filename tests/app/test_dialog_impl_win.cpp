// The dialog framework: modal run, message map dispatch, results, the
// exception barrier, and the driver that tests use to run dialogs.
#include "app/dialog_impl.h"
#include "app/res/resource.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const UINT WM_TEST_QUERY = WM_APP + 1;
const UINT WM_TEST_THROW = WM_APP + 2;
const UINT WM_TEST_PASS_ON = WM_APP + 3;

// A dialog on the progress template, with handlers whose effects tests see.
class CTestDialog : public CDialogImpl<CTestDialog> {
public:
    enum { IDD = IDD_PROGRESS };
    HWND seenAtInit = nullptr;
    int cancelCalls = 0;
    int passOnCalls = 0;

    BEGIN_MSG_MAP(CTestDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_TEST_QUERY, OnQuery)
        MESSAGE_HANDLER(WM_TEST_THROW, OnThrow)
        MESSAGE_HANDLER(WM_TEST_PASS_ON, OnPassOn)
        COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
    {
        seenAtInit = m_hWnd;
        return TRUE;
    }
    LRESULT OnQuery(UINT, WPARAM wParam, LPARAM, BOOL&) { return static_cast<LRESULT>(wParam) * 2; }
    LRESULT OnThrow(UINT, WPARAM wParam, LPARAM, BOOL&)
    {
        if (wParam)
            throw std::runtime_error("handler failed");
        throw 5;
    }
    LRESULT OnPassOn(UINT, WPARAM, LPARAM, BOOL& bHandled)
    {
        ++passOnCalls;
        bHandled = FALSE;
        return 99;
    }
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&)
    {
        ++cancelCalls;
        EndDialog(42);
        return 0;
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
    LRESULT queried = 0, passedOn = -1;
    std::wstring caption;
    auto run = uitest::runDriven([&] { return dlg.DoModal(nullptr); }, [&](HWND w) {
        queried = SendMessageW(w, WM_TEST_QUERY, 21, 0);
        passedOn = SendMessageW(w, WM_TEST_PASS_ON, 0, 0);
        caption = uitest::itemText(w, 0);
        // Same control, other notification code: not the Cancel handler.
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_SETFOCUS), 0);
        uitest::clickButton(w, IDCANCEL);
    });
    EXPECT_TRUE(run.windowSeen);
    EXPECT_FALSE(run.aborted);
    EXPECT_EQ(42, run.result);
    EXPECT_NE(nullptr, dlg.seenAtInit);
    EXPECT_EQ(nullptr, dlg.m_hWnd) << "the handle is cleared when the window is gone";
    EXPECT_EQ(42, queried) << "a handled message answers with the handler's result";
    EXPECT_EQ(1, dlg.passOnCalls);
    EXPECT_EQ(0, passedOn) << "a handler that clears bHandled leaves the answer to the default";
    EXPECT_EQ(1, dlg.cancelCalls);
    EXPECT_EQ(L"Converting...", caption);
}

TEST(DialogImpl, MissingTemplateGivesMinusOneWithoutWindow)
{
    CNoTemplateDialog dlg;
    auto run = uitest::runDriven([&] { return dlg.DoModal(nullptr); }, [](HWND) {}, 1000);
    EXPECT_EQ(-1, run.result);
    EXPECT_FALSE(run.windowSeen);
    // And a module without any templates at all.
    CTestDialog other;
    EXPECT_EQ(-1, other.DoModal(nullptr, GetModuleHandleW(L"kernel32.dll")));
}

// The test driver's watchdog ends a dialog nobody closes, through the
// dialogs' test filter; without a filter (as in the program) its message
// does nothing.
TEST(DialogImpl, WatchdogEndsAHungDialogOnlyThroughTheTestFilter)
{
    CTestDialog hung;
    auto run = uitest::runDriven([&] { return hung.DoModal(nullptr); }, [](HWND) {}, 1000);
    EXPECT_TRUE(run.aborted);
    EXPECT_EQ(-7777, run.result);

    CTestDialog plain;
    run = uitest::runDriven([&] { return plain.DoModal(nullptr); }, [](HWND w) {
        const DialogTestFilter installed = dialogTestFilter().exchange(nullptr);
        SendMessageW(w, RegisterWindowMessageW(L"Printvane.AbortDialog"), 5, 0);
        dialogTestFilter() = installed;
        uitest::clickButton(w, IDCANCEL);
    });
    EXPECT_FALSE(run.aborted);
    EXPECT_EQ(42, run.result);
}

// An owner that is no window is run end to end (Arguments.ParamOwnerFromTheCommandLine).
TEST(DialogImpl, ExceptionInHandlerEndsDialogWithMinusOne)
{
    for (WPARAM kind : {WPARAM(0), WPARAM(1)}) {
        CTestDialog dlg;
        auto run = uitest::runDriven([&] { return dlg.DoModal(nullptr); },
                                     [&](HWND w) { PostMessageW(w, WM_TEST_THROW, kind, 0); });
        EXPECT_TRUE(run.windowSeen);
        EXPECT_FALSE(run.aborted);
        EXPECT_EQ(-1, run.result) << "exception kind " << kind;
    }
}

} // namespace
