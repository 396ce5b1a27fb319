#include "app/core/progress_state.h"

#include "app/core/display_text.h"

ProgressUpdate ProgressState::apply(const PipeMessage& message)
{
    ProgressUpdate u;
    switch (message.kind) {
    case PM_PAGE_BEGIN:
        // Wraps instead of overflowing; no real job comes near 2^31 pages.
        m_page = static_cast<int32_t>(static_cast<uint32_t>(m_page) + 1u);
        m_lastKind = 0;
        u.statusId = IDS_STATUS_IMAGE;
        break;
    case PM_IMAGE:
        u.statusId = IDS_STATUS_IMAGE;
        break;
    case PM_TEXT:
        u.statusId = IDS_STATUS_TEXT;
        break;
    case PM_TEXT_COMPRESS:
        u.statusId = IDS_STATUS_COMPRESS;
        break;
    case PM_FINALIZE:
        u.statusId = IDS_STATUS_FINALIZE;
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

    if (m_lastKind == message.kind || m_page == 0)
        return u;

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
    m_lastKind = message.kind;
    return u;
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
