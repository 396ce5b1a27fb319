#include "app/core/progress_state.h"

#include "app/core/display_text.h"

namespace {

// The status line each stage record shows.
struct StageStatus {
    uint32_t kind;
    uint32_t statusId;
};
const StageStatus kStageStatus[] = {
    {PM_PAGE_BEGIN, IDS_STATUS_IMAGE},
    {PM_IMAGE, IDS_STATUS_IMAGE},
    {PM_TEXT, IDS_STATUS_TEXT},
    {PM_TEXT_COMPRESS, IDS_STATUS_COMPRESS},
    {PM_FINALIZE, IDS_STATUS_FINALIZE},
};

} // namespace

ProgressUpdate ProgressState::apply(const PipeMessage& message)
{
    ProgressUpdate u;
    for (const StageStatus& stage : kStageStatus) {
        if (stage.kind == message.kind)
            u.statusId = stage.statusId;
    }
    takeRecord(message, u);
    if (m_lastKind != message.kind && m_page != 0)
        showPage(message.kind, u);
    return u;
}

// What the record itself changes: the page, the counts, the texts.
void ProgressState::takeRecord(const PipeMessage& message, ProgressUpdate& u)
{
    switch (message.kind) {
    case PM_PAGE_BEGIN:
        // Wraps instead of overflowing; no real job comes near 2^31 pages.
        m_page = static_cast<int32_t>(static_cast<uint32_t>(m_page) + 1u);
        m_lastKind = 0;
        break;
    case PM_DOC_NAME:
        m_docName = displayText(message.text(), TextLines::One);
        break;
    case PM_LOG_LINE:
        u.appendLog = true;
        u.logText = displayText(message.text(), TextLines::Many);
        break;
    case PM_STATUS_TEXT:
        u.statusText = displayText(message.text(), TextLines::One);
        break;
    case PM_PAGE_COUNT: {
        uint32_t n = 0;
        // A payload too short to hold the count is taken as no count.
        if (message.pageCount(n) && m_pageCount < n) {
            m_pageCount = n;
            u.setRange = true;
            u.range = n;
            m_lastKind = 0;
        }
        break;
    }
    default:
        break;
    }
}

// The page line, shown again once per change of record kind; the bar grows
// when the converter passes the count it announced, and the title takes the
// document name once.
void ProgressState::showPage(uint32_t kind, ProgressUpdate& u)
{
    if (m_page > static_cast<int32_t>(m_pageCount)) {
        m_pageCount = static_cast<uint32_t>(m_page);
        u.setRange = true;
        u.range = m_pageCount;
    }
    u.display = true;
    u.page = static_cast<uint32_t>(m_page);
    u.pageCount = m_pageCount;
    if (!m_titleSet && !m_docName.empty()) {
        u.setTitle = true;
        u.docName = m_docName;
        m_titleSet = true;
    }
    m_lastKind = kind;
}

void mergeUpdate(ProgressUpdate& pending, const ProgressUpdate& next)
{
    if (next.setRange) {
        pending.setRange = true;
        pending.range = next.range;
    }
    if (next.display) {
        pending.display = true;
        pending.statusId = next.statusId;
        pending.statusText = next.statusText;
        pending.page = next.page;
        pending.pageCount = next.pageCount;
    }
    if (next.setTitle) {
        pending.setTitle = true;
        pending.docName = next.docName;
    }
}
