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
// Their crackers: void fn(PipeMessage* message), void fn().
#define MSG_WM_PIPE_MESSAGE(func) \
    PV_MSG_CRACKER_VOID(uMsg == WM_PIPE_MESSAGE, func(reinterpret_cast<PipeMessage*>(lParam)))
#define MSG_WM_PIPE_CLOSED(func) PV_MSG_CRACKER_VOID(uMsg == WM_PIPE_CLOSED, func())

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

    // `pipe` is the converter's pipe as start-up opened it, valid or not;
    // the window owns it and closes it once the reader has ended.
    explicit CProgressDialog(Solvaris_Win32::UniqueHandle pipe, Clock clock = Clock());
    // Stops the reader thread, waits for it and closes its handles and the
    // pipe.
    ~CProgressDialog() override;

    BEGIN_MSG_MAP(CProgressDialog)
        MSG_WM_INITDIALOG(OnInitDialog)
        MSG_WM_PIPE_MESSAGE(OnPipeMessageArrived)
        MSG_WM_PIPE_CLOSED(OnPipeClosed)
        MSG_WM_TIMER(OnTimer)
        MSG_WM_QUERYENDSESSION(OnQueryEndSession)
        MSG_WM_ENDSESSION(OnEndSession)
        MSG_WM_GETDPISCALEDSIZE(OnGetDpiScaledSize)
        MSG_WM_DPICHANGED(OnDpiChanged)
        MSG_WM_SYSCOLORCHANGE(OnSysColorChange)
        COMMAND_HANDLER_EX(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

    // Shows what one record asks for; the window owns `message` from here on.
    void OnPipeMessage(PipeMessage* message);

    const ProgressState& GetState() const { return m_state; }

private:
    BOOL OnInitDialog(HWND focus, LPARAM initParam);
    // A record posted by the reader; the window owns `message` from here on.
    void OnPipeMessageArrived(PipeMessage* message);
    void OnPipeClosed();
    void OnTimer(UINT_PTR id);
    BOOL OnQueryEndSession(UINT source, UINT logOff);
    void OnEndSession(BOOL ending, UINT logOff);
    void OnCancel(UINT code, int id, HWND control);
    BOOL OnGetDpiScaledSize(UINT dpi, SIZE* size);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void OnSysColorChange();

    // Carries out the changes of one or more records on the controls.
    void ShowUpdate(const ProgressUpdate& update);
    // Names the bar after the page line (its accessible name).
    void NameBarAfterLine(const std::wstring& line);
    // Paints the bar in the system's colours under high contrast, and in
    // its visual style again once high contrast is off.
    void FollowContrastScheme();
    // Shows the changes held back so far and paints the window at once,
    // although more posted messages wait (they would hold WM_PAINT back).
    void ShowPendingAndPaint();

    // Ends a read or reply write the reader is blocked in, so that it sees
    // the cancel event.
    void InterruptReader();
    // Tells the reader to stop and waits until it has ended.
    void StopReader();

    Solvaris_Win32::UniqueHandle m_hPipe;
    Solvaris_Win32::UniqueHandle m_hThread;
    Solvaris_Win32::UniqueHandle m_hCancelEvent;
    ProgressState m_state;        // page, page count, document name, last kind, title flag
    ProgressUpdate m_pending;     // changes not yet shown while more records wait
    Clock m_clock;
    uint32_t m_nLastPaint = 0;    // tick of the last repaint forced during a stream
    // Records posted by the reader and not yet handled by the window.
    std::atomic<LONG> m_nRecordsInFlight{0};
    Solvaris_Win32::UniqueHandle m_hCaughtUp;  // auto-reset: set when the window has halved the records in flight
    bool m_bBarUnstyled = false;  // the bar's visual style is switched off for high contrast
    bool m_bCancelling = false;   // after Cancel, records still queued are dropped unseen
    DialogDpiLayout m_layout;     // laid out again when the monitor's resolution changes
};
