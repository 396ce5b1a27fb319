// The progress window of the -pipe mode: a reader thread takes the
// converter's records off the pipe and posts them to the window, which shows
// the page line, the progress bar and, once the document name is known, the
// title. Cancel stops the reader; the window closes when the reader ends.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "app/core/progress_state.h"
#include "app/dialog_dpi.h"
#include "app/dialog_impl.h"
#include "app/res/resource.h"
#include "baselib/svr_handle_win.h"

// Posted by the reader thread: lParam is a PipeMessage* that the window
// takes over.
constexpr UINT WM_PIPE_MESSAGE = 0x974A;
// Posted by the reader thread when it ends: the window closes with 0.
constexpr UINT WM_PIPE_CLOSED = 0x974B;

class CProgressDialog : public CDialogImpl<CProgressDialog> {
public:
    enum { IDD = IDD_PROGRESS };

    // A millisecond tick that decides when the window repaints during a
    // steady stream of records (GetTickCount unless a test gives its own).
    using Clock = std::function<uint32_t()>;
    // While records keep coming, what the window shows lags at most this
    // far behind the last record handled.
    static constexpr uint32_t kRepaintIntervalMs = 50;
    // Records the reader may have posted that the window has not handled
    // yet. Beyond that the reader waits and the pipe holds the converter
    // back: a window that falls behind never builds a backlog that would
    // delay its closing after the last record or after Cancel.
    static constexpr LONG kMaxRecordsInFlight = 128;

    // `pipe` is the converter's pipe as start-up opened it, valid or not; it
    // is not owned and never closed here.
    explicit CProgressDialog(HANDLE pipe, Clock clock = Clock());
    // Stops the reader thread, waits for it and closes its handles.
    ~CProgressDialog() override;

    BEGIN_MSG_MAP(CProgressDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_PIPE_MESSAGE, OnPipeMessageArrived)
        MESSAGE_HANDLER(WM_PIPE_CLOSED, OnPipeClosed)
        MESSAGE_HANDLER(WM_TIMER, OnTimer)
        MESSAGE_HANDLER(WM_QUERYENDSESSION, OnQueryEndSession)
        MESSAGE_HANDLER(WM_ENDSESSION, OnEndSession)
        MESSAGE_HANDLER(WM_GETDPISCALEDSIZE, OnGetDpiScaledSize)
        MESSAGE_HANDLER(WM_DPICHANGED, OnDpiChanged)
        COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

    // Shows what one record asks for; the window owns `message` from here on.
    void OnPipeMessage(PipeMessage* message);

    const ProgressState& GetState() const { return m_state; }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnPipeMessageArrived(UINT, WPARAM, LPARAM lParam, BOOL&);
    LRESULT OnPipeClosed(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
    LRESULT OnQueryEndSession(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnEndSession(UINT, WPARAM wParam, LPARAM, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
    LRESULT OnGetDpiScaledSize(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnDpiChanged(UINT, WPARAM wParam, LPARAM lParam, BOOL&);

    // Carries out the changes of one or more records on the controls.
    void ShowUpdate(const ProgressUpdate& update);
    // Names the bar after the page line (its accessible name).
    void NameBarAfterLine();
    // Paints the bar in the system's colours under high contrast.
    void FollowContrastScheme();
    // Shows the changes held back so far and paints the window at once,
    // although more posted messages wait (they would hold WM_PAINT back).
    void ShowPendingAndPaint();

    // Ends a read or reply write the reader is blocked in, so that it sees
    // the cancel event.
    void InterruptReader();
    // Tells the reader to stop and waits until it has ended.
    void StopReader();

    HANDLE m_hPipe;  // not owned
    Solvaris_Win32::UniqueHandle m_hThread;
    Solvaris_Win32::UniqueHandle m_hCancelEvent;
    ProgressState m_state;        // page, page count, document name, last kind, title flag
    ProgressUpdate m_pending;     // changes not yet shown while more records wait
    Clock m_clock;
    uint32_t m_lastPaint = 0;     // tick of the last repaint forced during a stream
    // Records posted by the reader and not yet handled by the window.
    std::atomic<LONG> m_recordsInFlight{0};
    Solvaris_Win32::UniqueHandle m_hCaughtUp;  // auto-reset: set when the window has halved the records in flight
    bool m_bCancelling = false;   // after Cancel, records still queued are dropped unseen
    DialogDpiLayout m_layout;     // laid out again when the monitor's resolution changes
};
