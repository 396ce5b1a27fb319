// A read-only storage whose bytes come from a loader in aligned blocks and
// are kept in a cache storage (a scratch file), and the range loader that
// turns HTTP replies into such blocks. Both are portable: the HTTP requests
// themselves are made by the loader's subclass (svr_http_win.cpp).
#pragma once

#include <cstdint>

#include "baselib/svr_base.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_string.h"

namespace Solvaris {

// Bytes [start, start + length) of the resource.
struct LoadedRange {
    uint64_t start = 0;
    uint64_t length = 0;
};

// Where the bytes of a cached storage come from.
class StorageLoader : public Referable {
public:
    ~StorageLoader() override {}
    // The resource's size when it is known (asks the source once, first).
    virtual bool getTotalSize(uint64_t& size) = 0;
    // Loads at least the bytes [offset, offset + count) into cache, each at
    // its own position, and returns the range written (it may be larger than
    // asked, aligned to the loader's blocks).
    virtual LoadedRange load(Storage* cache, uint64_t offset, uint64_t count) = 0;
    virtual String getUrl() = 0;
    // Seconds since 1970 of the resource's last change (0 when unknown).
    virtual uint64_t getLastModified() = 0;
    // An independent loader on the same resource with what this one knows.
    virtual AutoPtr<StorageLoader> duplicate() = 0;
};

// The read-only storage over a loader. Reads find the cached ranges by
// binary search and load only the gaps; writeBytes and setEof throw
// errNotImplemented. getSize throws errNotFound while the loader does not
// know the size (a server that answered "/*" and no length).
class AdvCachedStorage : public Storage {
public:
    // The cached ranges, sorted, neither overlapping nor touching.
    virtual uint32_t getRangeCount() = 0;
    virtual LoadedRange getRange(uint32_t index) = 0;

    // cache: an empty read-write storage (DiskStorage::createTemp on
    // Windows) that this storage fills at the resource's own offsets.
    static AutoPtr<AdvCachedStorage> create(const AutoPtr<StorageLoader>& loader,
                                            const AutoPtr<Storage>& cache);
};

// One HTTP reply as the range loader needs it: the status, the headers it
// reads (empty when absent) and the body.
struct HttpRangeReply {
    uint32_t status = 0;
    bool hasContentLength = false;
    bool hasContentRange = false;
    String contentLength;
    String contentRange;
    String lastModified;
    String etag;
    AutoPtr<Stream> body;
};

// The block logic of an HTTP resource: one HEAD for the size and date, then
// GETs with "Range: bytes=<start>-<end>" on block boundaries, each reply's
// Content-Range checked against the request before its bytes are cached.
// The first reply's validator (a strong ETag, else Last-Modified) goes with
// every range request as "If-Range", and a reply with another validator
// fails: blocks of a resource that changed between requests never mix. A
// reply after the first range that names no version (neither ETag nor
// Last-Modified) fails too: nothing tells that its bytes fit the others.
class HttpRangeLoader : public StorageLoader {
public:
    static const uint32_t kBlockSize = 32768;

    HttpRangeLoader(const String& url, StreamProgressCallback progress, void* context);

    bool getTotalSize(uint64_t& size) override;
    LoadedRange load(Storage* cache, uint64_t offset, uint64_t count) override;
    String getUrl() override { return m_url; }
    uint64_t getLastModified() override;

protected:
    // The requests: HEAD, and GET with the extra header lines given
    // (separated by CR LF).
    virtual HttpRangeReply sendHead() = 0;
    virtual HttpRangeReply sendGet(const String& extraHeader) = 0;
    // Copies what this loader has learnt into a duplicate.
    void copyStateTo(HttpRangeLoader& other) const;

private:
    void fetchHeaders();
    void takeLastModified(const String& text);
    void takeValidator(const HttpRangeReply& reply);
    void checkValidator(const HttpRangeReply& reply) const;

    String m_url;
    StreamProgressCallback m_progress;
    void* m_context;
    uint64_t m_total = 0;
    bool m_totalKnown = false;
    bool m_headersFetched = false;
    uint64_t m_lastModified = 0;
    // The first reply's ETag (when strong) or else its Last-Modified text.
    String m_validator;
    bool m_validatorIsEtag = false;
    bool m_rangeLoaded = false;  // a range went to the cache already
};

namespace HttpDetail {

// A Content-Range value "bytes <first>-<last>/<total or *>". The first
// decimal digit starts <first>; the next "-" ends it. Throws errReadFailed
// "Invalid Content-Range format!" for a value without digits, "-" or "/",
// numbers that do not fit 64 bits, last below first, or a total that is not
// above last.
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    bool totalKnown = false;  // false for "*"
    uint64_t total = 0;
};
ContentRange parseContentRange(const String& text);

// A Content-Length value: decimal digits (blanks around them allowed) that
// fit 64 bits. False for anything else (a sign, garbage, an empty text).
bool parseContentLength(const String& text, uint64_t& value);

// The block-aligned request for bytes [offset, offset + count):
// start = offset rounded down, end = offset + count rounded up (exclusive),
// end cut to the total when that is known. Throws errInvalidParam when the
// range does not fit 64 bits or count is 0.
void alignRange(uint64_t offset, uint64_t count, uint32_t blockSize, bool totalKnown,
                uint64_t total, uint64_t& start, uint64_t& end);

// "Range: bytes=<start>-<end - 1>".
String rangeHeader(uint64_t start, uint64_t end);

} // namespace HttpDetail
} // namespace Solvaris
