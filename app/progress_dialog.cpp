#include "app/progress_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "app/accessible_texts.h"
#include "app/pipe_reader.h"
#include "app/res/resource.h"
#include "app/resources.h"
#include "baselib/svr_stdout_win.h"

namespace {

// While a cancel is pending, the window repeats its interruption of the
// reader at this interval: a read that started just after the previous
// interruption would otherwise block until the converter writes again.
constexpr UINT_PTR kCancelTimer = 1;
constexpr UINT kCancelRepeatMs = 50;

// Never waits for the output: a converter that captures it and does not
// read it must not stop the reader (svr_stdout_win.h).
void traceLine(const char* line) { Solvaris_Win32::writeStandardOutput(line); }

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// Hands a record to the window. A full message queue (a converter that
// writes faster than the window draws) is waited out instead of ending the
// reader: the pipe then holds the converter back until the window catches up.
bool postRecord(HWND window, PipeMessage* record, HANDLE cancel)
{
    while (!::PostMessageW(window, WM_PIPE_MESSAGE, 0, reinterpret_cast<LPARAM>(record))) {
        if (!IsWindow(window) || WaitForSingleObject(cancel, 1) != WAIT_TIMEOUT)
            return false;
    }
    return true;
}

// Waits until the window has handled records down to `target` still in
// flight; `caughtUp` is set when the count falls to it. False when Cancel
// came first (or an event is missing).
bool waitForWindow(const std::atomic<LONG>& inFlight, LONG target, HANDLE cancel, HANDLE caughtUp)
{
    const HANDLE events[] = {cancel, caughtUp};
    while (inFlight > target) {
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return false;
    }
    return true;
}

// What the reader thread works with, all fixed before it starts: it touches
// nothing else of the window object. The thread owns this record; the
// handles and the counter belong to the window, which outlives the thread.
struct ReaderContext {
    HANDLE pipe;
    HWND window;
    HANDLE cancel;
    HANDLE caughtUp;
    std::atomic<LONG>* recordsInFlight;
};

DWORD WINAPI pipeThread(void* param);

} // namespace

CProgressDialog::CProgressDialog(Solvaris_Win32::UniqueHandle pipe, Clock clock)
    : m_hPipe(std::move(pipe)), m_clock(clock ? std::move(clock) : Clock([] { return uint32_t(GetTickCount()); }))
{
}

CProgressDialog::~CProgressDialog()
{
    // The pipe is closed after this, with the reader no longer using it.
    StopReader();
}

void CProgressDialog::StopReader()
{
    if (m_hThread) {
        if (m_hCancelEvent)
            SetEvent(m_hCancelEvent.get());
        // The reader may be blocked in a read that only the converter could
        // end; interrupt it until it has seen the event.
        while (WaitForSingleObject(m_hThread.get(), kCancelRepeatMs) == WAIT_TIMEOUT)
            InterruptReader();
    }
}

void CProgressDialog::InterruptReader()
{
    if (m_hThread)
        CancelSynchronousIo(m_hThread.get());
}

BOOL CProgressDialog::OnInitDialog(HWND, LPARAM)
{
    m_hCancelEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_hCaughtUp.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::unique_ptr<ReaderContext> reader(
        new ReaderContext{m_hPipe.get(), m_hWnd, m_hCancelEvent.get(), m_hCaughtUp.get(), &m_nRecordsInFlight});
    m_hThread.reset(CreateThread(nullptr, 0, &pipeThread, reader.get(), 0, nullptr));
    if (m_hThread)
        reader.release();  // the thread frees it
    m_state = ProgressState();
    m_nLastPaint = m_clock();
    m_layout.load(TemplateModule(), TemplateId());
    switchOffSystemRescaling(m_hWnd, dialogDpiFunctions());
    NameBarAfterLine(GetDlgItemText(IDC_PROGRESS_TEXT));
    FollowContrastScheme();
    // Without a reader nobody would ever close the window: close it now.
    if (!m_hThread)
        PostMessage(WM_PIPE_CLOSED);
    return TRUE;  // keep the default focus
}

namespace {

// The reader thread. It touches only what its ReaderContext holds; records
// go to the window by post.
//
// Each round first checks the cancel event and then blocks in the read: the
// blocking read is the wait for the pipe (a synchronous pipe handle is always
// signalled, so waiting on the handle itself tells nothing). Cancel ends a
// blocked read with CancelSynchronousIo, which works on the synchronous
// handle that start-up opens (checked under Wine 8 as well as on Windows).
DWORD WINAPI pipeThread(void* param)
{
    const std::unique_ptr<ReaderContext> context(static_cast<ReaderContext*>(param));
    const HWND window = context->window;
    const HANDLE cancel = context->cancel;
    std::atomic<LONG>& inFlight = *context->recordsInFlight;
    PipeHandleSource source(context->pipe);
    for (;;) {
        traceLine("PipeThread: Waiting...\n");
        DWORD wait = WaitForSingleObject(cancel, 0);
        // 0: the cancel event is set; 1: go on and read the pipe.
        DWORD result = wait == WAIT_OBJECT_0 ? 0 : wait == WAIT_TIMEOUT ? 1 : wait;
        char line[64];
        std::snprintf(line, sizeof line, "PipeThread: %u\n", static_cast<unsigned>(result));
        traceLine(line);
        if (result != 1)
            break;
        std::unique_ptr<PipeMessage> message;
        try {
            message = readPipeMessage(source, window);
        } catch (...) {
            // Nothing thrown may leave the thread (out of memory for a
            // payload): the stream counts as broken.
            message.reset();
        }
        if (!message) {
            if (WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0)
                break;  // the read was interrupted by Cancel
            ::PostMessageW(window, WM_PIPE_CLOSED, 0, 0);
            traceLine("PipeThread: pipe closed by the peer; exit anyway.\n");
            return 0;
        }
        // A window far behind is waited for before the next record goes
        // out; this costs nothing while it keeps up.
        if (++inFlight > CProgressDialog::kMaxRecordsInFlight &&
            !waitForWindow(inFlight, CProgressDialog::kMaxRecordsInFlight / 2, cancel, context->caughtUp))
            break;  // Cancel came while waiting
        PipeMessage* raw = message.release();
        if (!postRecord(window, raw, cancel)) {
            delete raw;  // the window is gone, or Cancel came while waiting
            break;
        }
    }
    ::PostMessageW(window, WM_PIPE_CLOSED, 0, 0);
    traceLine("PipeThread: shutting down...\n");
    return 0;
}

} // namespace

void CProgressDialog::OnPipeMessageArrived(PipeMessage* message)
{
    if (--m_nRecordsInFlight == kMaxRecordsInFlight / 2)
        SetEvent(m_hCaughtUp.get());
    if (m_bCancelling)
        delete message;
    else
        OnPipeMessage(message);
}

void CProgressDialog::OnPipeMessage(PipeMessage* message)
{
    std::unique_ptr<PipeMessage> owned(message);
    if (!owned)
        return;
    ProgressUpdate u = m_state.apply(*owned);

    if (u.appendLog) {
        if (HWND log = GetDlgItem(IDC_LOG_LINE)) {
            LRESULT end = ::SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
            ::SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), end);
            std::wstring text = wide(u.logText);
            ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }

    // While more records wait in the queue, the controls are not redrawn
    // for each one: a burst from the converter ends in one update showing
    // its final state. Under a steady stream one record always waits, and
    // posted records also keep WM_PAINT from ever coming: so at least every
    // kRepaintIntervalMs the merged state is shown and painted at once.
    mergeUpdate(m_pending, u);
    MSG next;
    const bool moreWaiting = PeekMessageW(&next, m_hWnd, WM_PIPE_MESSAGE, WM_PIPE_MESSAGE, PM_NOREMOVE) != FALSE;
    const uint32_t now = m_clock();
    if (now - m_nLastPaint >= kRepaintIntervalMs) {
        m_nLastPaint = now;
        ShowPendingAndPaint();
        return;
    }
    if (moreWaiting)
        return;
    ShowUpdate(m_pending);
    m_pending = ProgressUpdate();
}

void CProgressDialog::ShowPendingAndPaint()
{
    ShowUpdate(m_pending);
    m_pending = ProgressUpdate();
    RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CProgressDialog::ShowUpdate(const ProgressUpdate& u)
{
    if (u.setRange)
        SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(u.range));
    if (u.display) {
        std::wstring status = wide(u.statusText);
        if (u.statusId) {
            std::wstring fromTable;
            if (loadResourceString(u.statusId, fromTable))
                status = fromTable;
        }
        std::wstring line = loadFormattedString(IDS_PAGE_LINE, {u.page, u.pageCount, status});
        SetDlgItemText(IDC_PROGRESS_TEXT, line.c_str());
        NameBarAfterLine(line);
        SendDlgItemMessage(IDC_PROGRESS_BAR, PBM_SETPOS, u.page, 0);
    }
    if (u.setTitle) {
        std::wstring title = loadFormattedString(IDS_PROGRESS_TITLE, {wide(u.docName)});
        SetWindowText(title.c_str());
    }
}

// Under high contrast the bar is drawn by the control's classic painting, in
// the scheme's highlight and face colours; a visual style keeps its own. A
// class list that names no class leaves the bar without one (an empty list
// is not stored by every theme engine).
void CProgressDialog::FollowContrastScheme()
{
    const bool unstyled = highContrastOn();
    if (unstyled == m_bBarUnstyled)
        return;
    m_bBarUnstyled = unstyled;
    // Null lists give the bar back the style the theme chooses for its class.
    SetWindowTheme(GetDlgItem(IDC_PROGRESS_BAR), unstyled ? L" " : nullptr, unstyled ? L" " : nullptr);
}

void CProgressDialog::OnSysColorChange()
{
    FollowContrastScheme();
    forwardSysColorChange(m_hWnd);
}

// The bar's accessible name is the page line above it, so that a screen
// reader announces "Page 12/40: ..." with the bar's value.
void CProgressDialog::NameBarAfterLine(const std::wstring& line)
{
    setAccessibleTexts(GetDlgItem(IDC_PROGRESS_BAR), line, L"");
}

void CProgressDialog::OnPipeClosed()
{
    KillTimer(m_hWnd, kCancelTimer);
    // The last record's state is on screen before the window goes: the
    // close comes as a posted message, ahead of the paint it would wait for.
    ShowPendingAndPaint();
    EndDialog(0);
}

void CProgressDialog::OnTimer(UINT_PTR id)
{
    if (id != kCancelTimer) {
        SetMsgHandled(FALSE);
        return;
    }
    InterruptReader();
}

// The session may end: nothing changes yet, since the end may still be
// cancelled by another program and the converter then goes on.
BOOL CProgressDialog::OnQueryEndSession(UINT, UINT)
{
    return TRUE;
}

// The session ends now, and the process may be ended as soon as this
// returns: it ends as after Cancel, with the reader stopped and exit code 0.
void CProgressDialog::OnEndSession(BOOL ending, UINT)
{
    if (!ending)
        return;
    m_bCancelling = true;
    StopReader();
    ExitProcess(0);
}

void CProgressDialog::OnCancel(UINT, int, HWND)
{
    EnableDlgItem(IDCANCEL, FALSE);
    m_bCancelling = true;
    if (m_hCancelEvent)
        SetEvent(m_hCancelEvent.get());
    else
        PostMessage(WM_PIPE_CLOSED);  // no event: the reader cannot be told; close anyway
    InterruptReader();
    SetTimer(m_hWnd, kCancelTimer, kCancelRepeatMs, nullptr);
}

BOOL CProgressDialog::OnGetDpiScaledSize(UINT dpi, SIZE* size)
{
    return size && m_layout.windowSize(m_hWnd, int(dpi), *size);
}

void CProgressDialog::OnDpiChanged(UINT dpi, const RECT* suggested)
{
    m_layout.apply(m_hWnd, int(dpi), suggested);
}
