// The progress window on a real pipe, inside this test program: the test
// plays the converter on the server end and reads the window's controls.
#include "app/pipe_reader.h"
#include "app/progress_dialog.h"
#include "app/res/resource.h"
#include "param_test_support.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/ui_probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The converter's end of a pipe and the end start-up opens.
struct PipePair : uitest::PipeServer {
    Solvaris_Win32::UniqueHandle client{openClient()};
};

Bytes bare(uint32_t kind) { return encodePipeMessage(kind, nullptr, 0); }
Bytes text(uint32_t kind, const std::u16string& t) { return encodePipeText(kind, t); }

// Returns once the window has handled everything sent before: the reply to
// a window query shows that the reader has posted all earlier records, and a
// marker posted behind them to the progress bar (same thread, same queue)
// shows that the window has handled them.
bool settle(const PipePair& pipe, HWND dialog)
{
    static int marker = 100;
    ++marker;
    uint32_t reply = 0;
    if (!pipe.send(bare(PM_GET_WINDOW)) || !pipe.reply(reply))
        return false;
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    PostMessageW(bar, PBM_SETSTEP, marker, 0);
    return uitest::waitUntil([&] { return SendMessageW(bar, PBM_GETSTEP, 0, 0) == marker; });
}

std::wstring line(HWND dialog) { return uitest::controlText(dialog, IDC_PROGRESS_TEXT); }
std::wstring title(HWND dialog) { return uitest::windowText(dialog); }
int barHigh(HWND dialog) { return int(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0)); }
int barPos(HWND dialog) { return int(SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0)); }

// A translated template may carry a log box (IDC_LOG_LINE); log lines are
// appended to it.
class CProgressWithLog : public CProgressDialog {
public:
    using CProgressDialog::CProgressDialog;
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        BOOL handled = CProgressDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        if (uMsg == WM_INITDIALOG)
            CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE, 0, 0, 100, 40, hWnd,
                            reinterpret_cast<HMENU>(IDC_LOG_LINE), nullptr, nullptr);
        return handled;
    }
};

TEST(ProgressDialog, ShowsPagesStatusAndTitleUntilTheStreamEnds)
{
    PipePair pipe;
    ASSERT_TRUE(pipe.client);
    auto dlg = std::make_unique<CProgressWithLog>(std::move(pipe.client));
    const INT_PTR result = uitest::runToEnd([&] { return dlg->DoModal(nullptr); }, [&](HWND w) {
        EXPECT_EQ(L"Converting...", title(w));
        EXPECT_EQ(L"Initializing Vellumjet...", line(w));
        uitest::saveScreenshot(w, L"progress_start");

        // A query is answered with the window handle (several in a row:
        // ReadPipeMessage.Streams..., end to end: PipeTrace).
        uint32_t reply = 0;
        ASSERT_TRUE(pipe.send(bare(PM_GET_WINDOW)) && pipe.reply(reply));
        EXPECT_EQ(uint32_t(reinterpret_cast<uintptr_t>(w)), reply);

        // Before the first page only the bar range changes (what the line
        // and the title show then: ProgressState.Sequences).
        pipe.send(encodePageCount(12));
        pipe.send(text(PM_DOC_NAME, u"report"));
        pipe.send(text(PM_LOG_LINE, u"first\r\n"));
        pipe.send(encodePipeMessage(PM_LOG_LINE, "s\0e\0c\0", 6));  // no terminating zero
        ASSERT_TRUE(settle(pipe, w));
        EXPECT_EQ(L"first\r\nsec", uitest::controlText(w, IDC_LOG_LINE)) << "log lines are appended";
        EXPECT_EQ(12, barHigh(w));

        // The line, the bar and the title change in one update: wait until
        // the window has handled the record before reading any of them.
        pipe.send(bare(PM_PAGE_BEGIN));
        ASSERT_TRUE(settle(pipe, w));
        EXPECT_EQ(L"Page 1/12: Processing page image...", line(w));
        EXPECT_EQ(L"Converting to DjVu - report", title(w));
        EXPECT_EQ(1, barPos(w));

        // Which record changes what: ProgressState.Sequences (each status
        // of our own in the line: DpiLayout). Here: a converter's text.
        pipe.send(text(PM_STATUS_TEXT, u"Reading fonts"));
        ASSERT_TRUE(settle(pipe, w));
        EXPECT_EQ(L"Page 1/12: Reading fonts", line(w));
        uitest::saveScreenshot(w, L"progress_mid");

        // A page beyond the known count raises the count.
        for (int page = 2; page <= 13; ++page)
            pipe.send(bare(PM_PAGE_BEGIN));
        ASSERT_TRUE(settle(pipe, w));
        EXPECT_EQ(L"Page 13/13: Processing page image...", line(w));
        EXPECT_EQ(13, barHigh(w));
        EXPECT_EQ(13, barPos(w));

        // A record length beyond any real record ends the stream although
        // the converter still holds the pipe (the converter closing its end:
        // the end-to-end tests).
        pipe.send({'m', 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0});
    });
    EXPECT_EQ(0, result);
    dlg.reset();
    EXPECT_FALSE(pipe.send(bare(PM_GET_WINDOW))) << "the window closes its end of the pipe";
}

// Holds WM_PIPE_CLOSED back on the dialog's thread while `hold` is set, so
// that the cancelling state can be looked at before the window closes.
std::atomic<bool> g_holdClose{false};
std::atomic<int> g_heldCloses{0};
LRESULT CALLBACK holdCloseHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_PIPE_CLOSED && g_holdClose) {
        msg->message = WM_NULL;
        ++g_heldCloses;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Cancel disables the button and closes the window, whether the converter
// stopped in the middle of a record and never writes again (the reader is
// blocked inside the record) or keeps writing.
TEST(ProgressDialog, CancelDisablesTheButtonAndClosesWhileTheConverterHoldsThePipe)
{
    for (bool stalled : {true, false}) {
        SCOPED_TRACE(stalled ? "stalled" : "writing");
        PipePair pipe;
        HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, holdCloseHook, nullptr, GetCurrentThreadId());
        ASSERT_TRUE(hook);
        g_holdClose = true;
        g_heldCloses = 0;
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            Bytes burst = bare(PM_PAGE_BEGIN), status = text(PM_STATUS_TEXT, u"busy");
            burst.insert(burst.end(), status.begin(), status.end());
            while (!stalled && !stop && pipe.send(burst))
                Sleep(1);
        });
        auto dlg = std::make_unique<CProgressDialog>(std::move(pipe.client));
        auto run = uitest::runDriven([&] { return dlg->DoModal(nullptr); }, [&](HWND w) {
            if (stalled) {
                pipe.send(encodePageCount(4));
                pipe.send(text(PM_DOC_NAME, u"report"));
                pipe.send(bare(PM_PAGE_BEGIN));
                Bytes half = text(PM_STATUS_TEXT, u"never finished");
                half.resize(10);
                pipe.send(half);
            }
            EXPECT_TRUE(uitest::waitUntil([&] { return line(w).compare(0, 5, L"Page ") == 0; }));
            HWND cancel = GetDlgItem(w, IDCANCEL);
            EXPECT_TRUE(IsWindowEnabled(cancel));
            uitest::pressButton(w, IDCANCEL);
            EXPECT_TRUE(uitest::waitUntil([&] { return !IsWindowEnabled(cancel); }));
            // The reader has ended and asked to close.
            EXPECT_TRUE(uitest::waitUntil([&] { return g_heldCloses > 0; }));
            if (stalled) {
                RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                uitest::saveScreenshot(w, L"progress_cancel");
            }
            g_holdClose = false;
            PostMessageW(w, WM_PIPE_CLOSED, 0, 0);
        });
        UnhookWindowsHookEx(hook);
        stop = true;
        // Closing the reading end (with the window) ends a write blocked on
        // a full pipe.
        dlg.reset();
        writer.join();
        EXPECT_FALSE(run.aborted);
        EXPECT_EQ(0, run.result);
    }
}

// A steady stream: every record handled finds the next one waiting. The
// records and the close are posted before the first one is read, and each
// reading of the window's clock moves it on 20 ms. What the bar and the page
// line show is noted whenever the bar is painted.
class CFloodedProgress : public CProgressDialog {
public:
    static constexpr uint32_t kPages = 40;
    static constexpr uint32_t kMsPerRecord = 20;
    std::vector<std::pair<int, std::wstring>> painted;

    explicit CFloodedProgress(Solvaris_Win32::UniqueHandle pipe)
        : CProgressDialog(std::move(pipe), [this] { return m_nTick += kMsPerRecord; })
    {
    }

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        BOOL handled = CProgressDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        if (uMsg == WM_INITDIALOG) {
            SetWindowSubclass(::GetDlgItem(hWnd, IDC_PROGRESS_BAR), notePaint, 0, reinterpret_cast<DWORD_PTR>(this));
            ShowWindow(hWnd, SW_SHOWNOACTIVATE);
            post(hWnd, encodePageCount(kPages));
            for (uint32_t page = 1; page <= kPages; ++page) {
                post(hWnd, bare(PM_PAGE_BEGIN));
                post(hWnd, bare(PM_TEXT));
            }
            ::PostMessageW(hWnd, WM_PIPE_CLOSED, 0, 0);
        }
        return handled;
    }

private:
    static void post(HWND window, const Bytes& bytes)
    {
        auto record = std::make_unique<PipeMessage>();
        record->kind = bytes[0];
        record->payload.assign(bytes.begin() + 8, bytes.end());
        record->length = uint32_t(record->payload.size());
        ::PostMessageW(window, WM_PIPE_MESSAGE, 0, reinterpret_cast<LPARAM>(record.release()));
    }
    static LRESULT CALLBACK notePaint(HWND bar, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        if (msg == WM_PAINT) {
            HWND dialog = GetParent(bar);
            reinterpret_cast<CFloodedProgress*>(self)->painted.emplace_back(
                int(::SendMessageW(bar, PBM_GETPOS, 0, 0)), line(dialog));
        }
        return DefSubclassProc(bar, msg, wParam, lParam);
    }
    uint32_t m_nTick = 0;
};

TEST(ProgressDialog, SteadyStreamIsPaintedAtLeastEveryIntervalAndAtItsLastRecord)
{
    PipePair pipe;
    CFloodedProgress dlg(std::move(pipe.client));
    auto run = uitest::runDriven([&] { return dlg.DoModal(nullptr); }, [](HWND) {}, 8000);
    EXPECT_FALSE(run.aborted);
    // 50 ms are 2.5 records here, so the bar moves on at least every 3
    // records: every second page at the most.
    int before = 0;
    for (const auto& [position, text] : dlg.painted) {
        EXPECT_LE(position - before, 2) << uitest::narrow(text);
        before = position;
    }
    ASSERT_FALSE(dlg.painted.empty());
    EXPECT_EQ(dlg.painted.back(), std::make_pair(int(CFloodedProgress::kPages),
                                                 std::wstring(L"Page 40/40: Processing page text...")));
}

// Under high contrast the bar shows the scheme's highlight and face colours,
// whatever visual style the controls are otherwise drawn with, also when the
// user switches high contrast on while the window is open.
TEST(ProgressDialog, HighContrastBarInTheSchemeColours)
{
    for (bool whileOpen : {false, true}) {
        SCOPED_TRACE(whileOpen ? "switched on while open" : "on from the start");
        std::optional<paramtest::HighContrastScheme> scheme;
        if (!whileOpen)
            scheme.emplace(true);
        PipePair pipe;
        CProgressDialog dlg(std::move(pipe.client));
        std::vector<COLORREF> seen;
        uitest::runToEnd([&] { return dlg.DoModal(nullptr); }, [&](HWND w) {
            if (whileOpen) {
                scheme.emplace(true);
                SendMessageW(w, WM_SYSCOLORCHANGE, 0, 0);
            }
            pipe.send(encodePageCount(4));
            pipe.send(bare(PM_PAGE_BEGIN));
            pipe.send(bare(PM_PAGE_BEGIN));
            settle(pipe, w);
            uitest::repaint(w);
            HWND bar = GetDlgItem(w, IDC_PROGRESS_BAR);
            RECT r;
            GetClientRect(bar, &r);
            seen = {uitest::pixelAt(bar, r.right / 4, r.bottom / 2), uitest::pixelAt(bar, r.right * 3 / 4, r.bottom / 2)};
            uitest::saveScreenshot(w, L"progress-contrast");
            pipe.send({'m', 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'x', 0});
        });
        EXPECT_EQ(seen, (std::vector<COLORREF>{GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_3DFACE)}));
    }
}

// A window that handles no record until `go` is set.
class CStalledProgress : public CProgressDialog {
public:
    using CProgressDialog::CProgressDialog;
    Solvaris_Win32::UniqueHandle go{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg == WM_PIPE_MESSAGE)
            WaitForSingleObject(go.get(), 30000);
        return CProgressDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
    }
};

// While the window is behind, the reader stops taking records off the pipe
// (the converter is held back) instead of queueing them all: what is queued
// when the converter closes or the user cancels is handled at once. Every
// record still arrives once the window catches up.
TEST(ProgressDialog, AWindowBehindHoldsTheConverterBackAndLosesNothing)
{
    PipePair pipe;
    CStalledProgress dlg(std::move(pipe.client));
    const int kRecords = 3000;  // about 3 MB: far more than the pipe and the reader hold
    std::atomic<int> written{0};
    std::thread writer;
    auto run = uitest::runDriven([&] { return dlg.DoModal(nullptr); }, [&](HWND w) {
        writer = std::thread([&] {
            const Bytes big = text(PM_STATUS_TEXT, std::u16string(500, u'x'));
            pipe.send(bare(PM_PAGE_BEGIN));
            for (int i = 0; i < kRecords && pipe.send(big); ++i)
                ++written;
            pipe.send(bare(PM_TEXT));
            pipe.send(text(PM_STATUS_TEXT, u"last"));
        });
        EXPECT_FALSE(uitest::waitUntil([&] { return written == kRecords; }, 2000))
            << "the reader took every record while the window handled none";
        SetEvent(dlg.go.get());
        // Three thousand records take a while on a busy machine.
        EXPECT_TRUE(uitest::waitUntil([&] { return line(w) == L"Page 1/1: last"; }, 20000));
        EXPECT_EQ(written, kRecords);
        pipe.close();
    }, 30000);
    SetEvent(dlg.go.get());
    if (writer.joinable())
        writer.join();
    EXPECT_FALSE(run.aborted);
}

} // namespace
