// The HTTP range replies: Content-Range and Content-Length values of any
// text, and the cached storage fed by a server whose every reply carries the
// input's Content-Range, ETag and a body of the input's length (its HEAD
// names the ETag "a", so the validator check meets both kinds of reply). Every failure is
// the library's own exception with the read-failed or invalid-parameter
// code; nothing reads outside what was loaded and no read loops forever.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "baselib/svr_cachedstorage.h"
#include "baselib/svr_error.h"

using namespace Solvaris;

namespace {

// Answers every GET with the same Content-Range and a body of bodyBytes
// bytes; HEAD gives the length text.
class ReplayLoader : public HttpRangeLoader {
public:
    ReplayLoader(const String& range, const String& length, const String& etag, uint32_t bodyBytes)
        : HttpRangeLoader("http://fuzz/", nullptr, nullptr), m_range(range), m_length(length), m_etag(etag),
          m_body(bodyBytes) {}
    AutoPtr<StorageLoader> duplicate() override {
        return AutoPtr<StorageLoader>(new ReplayLoader(m_range, m_length, m_etag, m_body));
    }

protected:
    HttpRangeReply sendHead() override {
        HttpRangeReply r;
        r.status = 200;
        r.hasContentLength = !m_length.isEmpty();
        r.contentLength = m_length;
        r.etag = "\"a\"";
        return r;
    }
    HttpRangeReply sendGet(const String&) override {
        HttpRangeReply r;
        r.status = 206;
        r.hasContentRange = true;
        r.contentRange = m_range;
        r.etag = m_etag;
        AutoPtr<MemoryStorage> body = MemoryStorage::create();
        static const uint8_t zeros[4096] = {};
        for (uint32_t left = m_body; left; ) {
            uint32_t n = left < sizeof(zeros) ? left : uint32_t(sizeof(zeros));
            body->writeBytes(zeros, n);
            left -= n;
        }
        body->setPos(0);
        r.body = AutoPtr<Stream>(body.get());
        return r;
    }

private:
    String m_range, m_length, m_etag;
    uint32_t m_body;
};

void expectCode(const Exception& e) {
    if (e.code() != errReadFailed && e.code() != errInvalidParam && e.code() != errNotFound)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 4096)
        return 0;
    // Bytes 0-1: body length (up to 64 KiB); byte 2: read offset in blocks;
    // byte 3: read length in kilobytes; the rest "range\nlength\netag".
    uint32_t bodyBytes = uint32_t(data[0]) << 8 | data[1];
    uint64_t offset = uint64_t(data[2]) * 4099;
    uint32_t count = (uint32_t(data[3]) + 1) * 1000;
    const char* text = reinterpret_cast<const char*>(data + 4);
    size_t textSize = size - 4;
    const char* nl = static_cast<const char*>(std::memchr(text, '\n', textSize));
    String range(text, int32_t(nl ? nl - text : textSize));
    String length = nl ? String(nl + 1, int32_t(text + textSize - nl - 1)) : String();
    String etag;
    uint32_t cut = length.find("\n");
    if (cut != kNotFound) {
        etag = length.substring(cut + 1);
        length = length.substring(0, cut);
    }

    try {
        HttpDetail::ContentRange r = HttpDetail::parseContentRange(range);
        if (r.last < r.first || (r.totalKnown && r.total <= r.last))
            std::abort();
    } catch (const Exception& e) {
        expectCode(e);
    }
    uint64_t value = 0;
    if (HttpDetail::parseContentLength(length, value) && length.trim().isEmpty())
        std::abort();

    AutoPtr<AdvCachedStorage> storage = AdvCachedStorage::create(
        AutoPtr<StorageLoader>(new ReplayLoader(range, length, etag, bodyBytes)), AutoPtr<Storage>(MemoryStorage::create().get()));
    static uint8_t buffer[256 * 1000 + 1000];
    for (int pass = 0; pass < 2; ++pass) {
        try {
            storage->setPos(offset);
            uint32_t n = storage->readBytes(buffer, count, pass == 1);
            if (n > count)
                std::abort();
        } catch (const Exception& e) {
            expectCode(e);
        }
    }
    return 0;
}
