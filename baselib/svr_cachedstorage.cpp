// The cached storage over a loader and the HTTP range loader's block logic.
#include "baselib/svr_cachedstorage.h"

#include <algorithm>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_time.h"

namespace Solvaris {

// ---------------------------------------------------------------------------
// Header values

namespace HttpDetail {
namespace {

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads the decimal number at text[i...]; false when there is no digit or
// the value does not fit 64 bits. i moves past the digits.
bool readNumber(const String& text, uint32_t& i, uint64_t& value) {
    uint32_t n = text.length();
    if (i >= n || !isDigit(text.byteAt(i)))
        return false;
    value = 0;
    for (; i < n && isDigit(text.byteAt(i)); ++i) {
        uint64_t digit = text.byteAt(i) - '0';
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

// Moves i past the next `mark` and the spaces after it; false when the text
// has no such mark.
bool skipPast(const String& text, uint32_t& i, uint8_t mark) {
    uint32_t n = text.length();
    while (i < n && text.byteAt(i) != mark)
        ++i;
    if (i >= n)
        return false;
    for (++i; i < n && text.byteAt(i) == ' ';)
        ++i;
    return true;
}

[[noreturn]] void badContentRange() {
    SVR_THROW(errReadFailed, "Invalid Content-Range format!");
}

} // namespace

ContentRange parseContentRange(const String& text) {
    ContentRange r;
    uint32_t n = text.length();
    uint32_t i = 0;
    while (i < n && !isDigit(text.byteAt(i)))
        ++i;
    if (!readNumber(text, i, r.first))
        badContentRange();
    if (!skipPast(text, i, '-') || !readNumber(text, i, r.last) || r.last < r.first)
        badContentRange();
    if (!skipPast(text, i, '/'))
        badContentRange();
    if (i < n && text.byteAt(i) == '*')
        return r;
    if (!readNumber(text, i, r.total) || r.total <= r.last)
        badContentRange();
    r.totalKnown = true;
    return r;
}

bool parseContentLength(const String& text, uint64_t& value) {
    String t = text.trim();
    uint32_t i = 0;
    uint64_t v = 0;
    if (!readNumber(t, i, v) || i != t.length())
        return false;
    value = v;
    return true;
}

void alignRange(uint64_t offset, uint64_t count, uint32_t blockSize, bool totalKnown,
                uint64_t total, uint64_t& start, uint64_t& end) {
    if (count == 0 || blockSize == 0 || count > UINT64_MAX - offset)
        SVR_THROW_CODE(errInvalidParam);
    uint64_t mask = uint64_t(blockSize) - 1;
    start = offset & ~mask;
    uint64_t last = offset + count - 1;  // the last byte asked for
    // Rounding up the end must not wrap: the last block then ends at 2^64 - 1.
    end = (last | mask) == UINT64_MAX ? UINT64_MAX : (last | mask) + 1;
    if (totalKnown && total < end)
        end = total;
    if (end <= start)
        SVR_THROW_CODE(errInvalidParam);
}

String rangeHeader(uint64_t start, uint64_t end) {
    return String::format("Range: bytes=%llu-%llu", (unsigned long long)start,
                          (unsigned long long)(end - 1));
}

} // namespace HttpDetail

// ---------------------------------------------------------------------------
// HttpRangeLoader

HttpRangeLoader::HttpRangeLoader(const String& url, StreamProgressCallback progress, void* context)
    : m_url(url), m_progress(progress), m_context(context) {}

void HttpRangeLoader::copyStateTo(HttpRangeLoader& other) const {
    other.m_total = m_total;
    other.m_totalKnown = m_totalKnown;
    other.m_headersFetched = m_headersFetched;
    other.m_lastModified = m_lastModified;
    other.m_validator = m_validator;
    other.m_validatorIsEtag = m_validatorIsEtag;
    other.m_rangeLoaded = m_rangeLoaded;
}

// A weak ETag ("W/...") may not stand in If-Range; Last-Modified then does.
// A value with control characters is not sent back as a header line.
void HttpRangeLoader::takeValidator(const HttpRangeReply& reply) {
    if (!m_validator.isEmpty())
        return;
    String etag = reply.etag.trim();
    bool isEtag = etag.startsWith("\"");
    String value = isEtag ? etag : reply.lastModified.trim();
    for (uint32_t i = 0; i < value.length(); ++i)
        if (value.byteAt(i) < 0x20 || value.byteAt(i) == 0x7f)
            return;
    m_validator = value;
    m_validatorIsEtag = isEtag;
}

// Throws when the reply names another version of the resource than the
// first reply did (a server that ignored If-Range).
void HttpRangeLoader::checkValidator(const HttpRangeReply& reply) const {
    if (m_validator.isEmpty())
        return;
    String seen = (m_validatorIsEtag ? reply.etag : reply.lastModified).trim();
    if (!seen.isEmpty() && seen.compare(m_validator) != 0)
        SVR_THROW(errReadFailed, "The resource changed while it was read.");
}

// A date the server sends that cannot be read leaves the time as it was: an
// odd Last-Modified must not make the resource unreadable.
void HttpRangeLoader::takeLastModified(const String& text) {
    if (text.isEmpty())
        return;
    try {
        Time t;
        t.parseDateString(text);
        m_lastModified = uint64_t(t.seconds());
    } catch (const Exception&) {
    }
}

void HttpRangeLoader::fetchHeaders() {
    if (m_headersFetched)
        return;
    HttpRangeReply reply = sendHead();
    if (reply.status >= 200 && reply.status < 300) {
        uint64_t length = 0;
        if (!m_totalKnown && reply.hasContentLength &&
            HttpDetail::parseContentLength(reply.contentLength, length)) {
            m_total = length;
            m_totalKnown = true;
        }
        takeLastModified(reply.lastModified);
        takeValidator(reply);
    }
    m_headersFetched = true;
}

bool HttpRangeLoader::getTotalSize(uint64_t& size) {
    fetchHeaders();
    size = m_total;
    return m_totalKnown;
}

uint64_t HttpRangeLoader::getLastModified() {
    fetchHeaders();
    return m_lastModified;
}

LoadedRange HttpRangeLoader::load(Storage* cache, uint64_t offset, uint64_t count) {
    LoadedRange result;
    result.start = offset;
    if (count == 0)
        return result;
    fetchHeaders();
    uint64_t start = 0, end = 0;
    HttpDetail::alignRange(offset, count, kBlockSize, m_totalKnown, m_total, start, end);

    String header = HttpDetail::rangeHeader(start, end);
    if (!m_validator.isEmpty())
        header = header + String("\r\nIf-Range: ") + m_validator;
    HttpRangeReply reply = sendGet(header);
    if (reply.status < 200 || reply.status >= 300)
        SVR_THROW(errReadFailed, String::format("HTTP Status=%u", reply.status));
    checkValidator(reply);
    if (m_rangeLoaded && reply.etag.trim().isEmpty() && reply.lastModified.trim().isEmpty())
        SVR_THROW(errReadFailed, "The reply names no version of the resource: its bytes may not fit the others.");
    takeValidator(reply);
    if (!reply.hasContentRange)
        SVR_THROW(errReadFailed, "Invalid Content-Range format!");
    HttpDetail::ContentRange range = HttpDetail::parseContentRange(reply.contentRange);
    // A reply may end early (at the resource's end) but never run past the
    // request: its length would decide how much goes to the scratch file
    // (and "0-18446744073709551615" would wrap that length to 0, "all").
    if (range.first != start || range.last > end - 1)
        SVR_THROW(errReadFailed, "???? Content-Range is not identical to the request!");
    if (!m_totalKnown && range.totalKnown) {
        m_total = range.total;
        m_totalKnown = true;
    }
    // Bytes past the known end would be cached as part of the resource.
    if (m_totalKnown && range.last >= m_total)
        SVR_THROW(errReadFailed, "Invalid Content-Range format!");
    takeLastModified(reply.lastModified);
    if (!reply.body)
        SVR_THROW(errReadFailed, "Cannot read all of requested bytes!");

    cache->setPos(range.first);
    m_rangeLoaded = true;
    result.start = range.first;
    result.length = cache->writeFrom(reply.body.get(), range.last - range.first + 1, kBlockSize,
                                     m_progress, m_context);
    return result;
}

// ---------------------------------------------------------------------------
// AdvCachedStorageImpl

namespace _Svr_Internal_NS_ {

class AdvCachedStorageImpl : public AdvCachedStorage {
public:
    AdvCachedStorageImpl(const AutoPtr<StorageLoader>& loader, const AutoPtr<Storage>& cache)
        : m_loader(loader), m_cache(cache) {
        if (!m_loader || !m_cache)
            SVR_THROW_CODE(errInvalidParam);
        m_ranges.reserve(128);
    }

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override {
        if (count == 0)
            return 0;
        uint64_t total = 0;
        bool known = m_loader->getTotalSize(total);
        uint64_t want = count;
        if (!clampToEnd(known, total, want, mustReadAll))
            return 0;
        if (want > UINT64_MAX - m_pos)
            shortRead();

        // Load every gap of [m_pos, m_pos + want) that no cached range covers.
        uint64_t cursor = m_pos;
        uint64_t end = m_pos + want;
        size_t i = firstRangeEndingAfter(cursor);
        while (cursor < end) {
            if (i < m_ranges.size() && m_ranges[i].start <= cursor) {
                cursor = rangeEnd(m_ranges[i]);
                ++i;
                continue;
            }
            uint64_t gapEnd = i < m_ranges.size() ? std::min(m_ranges[i].start, end) : end;
            LoadedRange got = m_loader->load(m_cache.get(), cursor, gapEnd - cursor);
            // A loader that does not deliver the byte at the cursor would
            // otherwise be asked for the same gap again and again.
            if (got.length == 0 || got.start > cursor || rangeEnd(got) <= cursor)
                shortRead();
            insertRange(got);
            cursor = rangeEnd(got);
            i = firstRangeEndingAfter(cursor);
            // A reply may have told the size only now.
            if (!known && (known = m_loader->getTotalSize(total))) {
                if (!clampToEnd(known, total, want, mustReadAll))
                    return 0;
                end = m_pos + want;
            }
        }

        m_cache->setPos(m_pos);
        uint32_t n = m_cache->readBytes(buffer, uint32_t(want), false);
        if (n < count && mustReadAll)
            shortRead();
        m_pos += n;
        return n;
    }

    void writeBytes(const void*, uint32_t) override {
        SVR_THROW(errNotImplemented, "CacheStorage::writeBytes is not implemented!");
    }
    void setEof() override { SVR_THROW(errNotImplemented, "CacheStorage::setEof is not implemented!"); }

    bool isEof() override {
        uint64_t total = 0;
        return m_loader->getTotalSize(total) && m_pos >= total;
    }

    uint64_t getSize() override {
        uint64_t total = 0;
        if (!m_loader->getTotalSize(total))
            SVR_THROW(errNotFound, "The size of the resource is not known yet.");
        return total;
    }

    uint64_t getPos() override { return m_pos; }
    void setPos(uint64_t pos) override { m_pos = pos; }

    void setPosRelative(int64_t offset) override { m_pos = checkedPos(m_pos, offset); }
    void setPosFromEnd(int64_t offset) override { m_pos = checkedPos(getSize(), offset); }

    String getName() override { return m_loader->getUrl(); }
    uint64_t getLastModified() override { return m_loader->getLastModified(); }

    AutoPtr<Storage> duplicate() override {
        AutoPtr<AdvCachedStorageImpl> copy(new AdvCachedStorageImpl(m_loader->duplicate(), m_cache->duplicate()));
        copy->m_ranges = m_ranges;
        copy->m_pos = m_pos;
        return AutoPtr<Storage>(copy.get());
    }

    uint32_t getRangeCount() override { return uint32_t(m_ranges.size()); }
    LoadedRange getRange(uint32_t index) override {
        if (index >= m_ranges.size())
            SVR_THROW_CODE(errInvalidParam);
        return m_ranges[index];
    }

private:
    static uint64_t rangeEnd(const LoadedRange& r) {
        return r.length > UINT64_MAX - r.start ? UINT64_MAX : r.start + r.length;
    }

    [[noreturn]] static void shortRead() { SVR_THROW(errReadFailed, "Cannot read all of requested bytes!"); }

    static uint64_t checkedPos(uint64_t base, int64_t offset) {
        if (offset < 0 ? uint64_t(-(offset + 1)) + 1 > base : uint64_t(offset) > UINT64_MAX - base)
            SVR_THROW_CODE(errInvalidParam);
        return offset < 0 ? base - (uint64_t(-(offset + 1)) + 1) : base + uint64_t(offset);
    }

    // Cuts want to the end of the resource when its size is known. False
    // when nothing is left to read (and the caller returns 0).
    bool clampToEnd(bool known, uint64_t total, uint64_t& want, bool mustReadAll) {
        if (!known)
            return true;
        if (m_pos >= total) {
            if (mustReadAll)
                shortRead();
            return false;
        }
        if (want > total - m_pos) {
            if (mustReadAll)
                shortRead();
            want = total - m_pos;
        }
        return true;
    }

    // Binary search: the first cached range whose end lies after pos (the
    // ranges are sorted and apart, so their ends are sorted too).
    size_t firstRangeEndingAfter(uint64_t pos) const {
        size_t lo = 0, hi = m_ranges.size();
        while (lo < hi) {
            size_t mid = lo + (hi - lo) / 2;
            if (rangeEnd(m_ranges[mid]) <= pos)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    // Inserts r in start order, joining it with every range it overlaps or
    // touches.
    void insertRange(LoadedRange r) {
        uint64_t start = r.start, end = rangeEnd(r);
        size_t i = 0;
        {
            size_t lo = 0, hi = m_ranges.size();
            while (lo < hi) {  // first range ending at or after start
                size_t mid = lo + (hi - lo) / 2;
                if (rangeEnd(m_ranges[mid]) < start)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            i = lo;
        }
        size_t j = i;
        while (j < m_ranges.size() && m_ranges[j].start <= end) {
            start = std::min(start, m_ranges[j].start);
            end = std::max(end, rangeEnd(m_ranges[j]));
            ++j;
        }
        LoadedRange joined;
        joined.start = start;
        joined.length = end - start;
        m_ranges.erase(m_ranges.begin() + i, m_ranges.begin() + j);
        m_ranges.insert(m_ranges.begin() + i, joined);
    }

    AutoPtr<StorageLoader> m_loader;
    AutoPtr<Storage> m_cache;
    std::vector<LoadedRange> m_ranges;
    uint64_t m_pos = 0;
};

} // namespace _Svr_Internal_NS_

AutoPtr<AdvCachedStorage> AdvCachedStorage::create(const AutoPtr<StorageLoader>& loader,
                                                   const AutoPtr<Storage>& cache) {
    return AutoPtr<AdvCachedStorage>(new _Svr_Internal_NS_::AdvCachedStorageImpl(loader, cache));
}

} // namespace Solvaris
