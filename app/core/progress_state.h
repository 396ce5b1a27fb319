// What the progress window shows, as a function of the records it receives:
// the page number and count, the status line, the bar range and position,
// and the one-time title. The window class only carries out the updates.
#pragma once
#include <cstdint>
#include <string>

#include "app/core/pipe_protocol.h"
#include "app/res/resource.h"  // the status strings (IDS_STATUS_*)

// The changes one record asks of the window, in the order they are made.
struct ProgressUpdate {
    bool setRange = false;      // set the bar's range to 0..range
    uint32_t range = 0;
    bool appendLog = false;     // append logText to the log-line control, if any
    std::u16string logText;
    bool display = false;       // refresh the page line and the bar position
    unsigned statusId = 0;      // string for the status, 0 when none
    std::u16string statusText;  // status text used when statusId is 0 or missing
    uint32_t page = 0;          // page line and bar position
    uint32_t pageCount = 0;
    bool setTitle = false;      // replace the title (string 111 with docName)
    std::u16string docName;
};

// Folds `next` into `pending` so that carrying out `pending` once leaves the
// window as carrying out both in turn would: the latest range and page line
// win, a title change is kept. Log lines are not folded (they accumulate in
// their control and are appended at once).
void mergeUpdate(ProgressUpdate& pending, const ProgressUpdate& next);

class ProgressState {
public:
    // Applies one record and says what the window must change.
    ProgressUpdate apply(const PipeMessage& message);

    int32_t page() const { return m_page; }
    uint32_t pageCount() const { return m_pageCount; }
    const std::u16string& docName() const { return m_docName; }

private:
    void takeRecord(const PipeMessage& message, ProgressUpdate& u);
    void showPage(uint32_t kind, ProgressUpdate& u);

    int32_t m_page = 0;        // page being converted; 0 before the first
    uint32_t m_pageCount = 0;  // pages known so far; the bar's upper end
    std::u16string m_docName;
    uint32_t m_lastKind = 0;   // kind of the last record that updated the display
    bool m_titleSet = false;
};
