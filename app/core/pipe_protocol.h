// Records that the converter sends through the progress pipe, and the reader
// that takes them off a byte stream.
//
// Wire format (all numbers 32-bit little-endian): kind, length, then
// `length` payload bytes. Text payloads are UTF-16LE, normally ending with a
// zero character. The only thing written back is the 4-byte answer to a
// window query (kind 'W' with length 0).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum PipeMessageKind : uint32_t {
    PM_GET_WINDOW = 87,     // 'W' window query, answered by the reader
    PM_PAGE_BEGIN = 80,     // 'P' a new page starts
    PM_IMAGE = 70,          // 'F' processing the page image
    PM_TEXT = 84,           // 'T' processing the page text
    PM_TEXT_COMPRESS = 83,  // 'S' compressing the page text
    PM_FINALIZE = 69,       // 'E' finalising the document
    PM_STATUS_TEXT = 109,   // 'm' status text (payload: text)
    PM_DOC_NAME = 100,      // 'd' document name (payload: text)
    PM_LOG_LINE = 108,      // 'l' a log line (payload: text)
    PM_PAGE_COUNT = 112,    // 'p' page count at payload bytes 4..7
};

// The largest payload accepted. Real records are short texts (document
// names, status and log lines); a length beyond this bound can only come from
// a broken or hostile writer and ends the stream like a broken pipe, so that
// a bad length field cannot make the reader allocate without limit.
constexpr uint32_t kMaxPipePayload = 1024 * 1024;

// One record, owned by whoever holds it.
struct PipeMessage {
    void* pipe = nullptr;  // the stream it came from (the pipe handle on Windows)
    uint32_t kind = 0;
    uint32_t length = 0;
    std::vector<uint8_t> payload;  // exactly `length` bytes

    // The payload as UTF-16 text: up to the first zero character or the end
    // of the payload (an odd last byte is not part of any character).
    std::u16string text() const;
    // The page count of a PM_PAGE_COUNT record (bytes 4..7); false when the
    // payload is shorter than 8 bytes.
    bool pageCount(uint32_t& count) const;
};

// The stream underneath the reader. On Windows it is the pipe handle; tests
// give scripted streams.
class PipeByteSource {
public:
    virtual ~PipeByteSource() = default;
    // One read of at most `size` bytes; `got` is the number delivered.
    // Returns false when the stream failed or ended (or was cancelled).
    // A true result with got == 0 also counts as the end of the stream.
    virtual bool read(void* buffer, uint32_t size, uint32_t& got) = 0;
    // Writes all `size` bytes; the result may be ignored.
    virtual bool write(const void* data, uint32_t size) = 0;
    // What records carry as their `pipe`.
    virtual void* handle() const { return nullptr; }
};

// Reads one record, answering every window query before it with
// `windowHandle` (4 bytes, no length field). Returns the record, or nullptr
// when the stream has ended: a failed or empty read anywhere, a record cut
// short, or a length beyond kMaxPipePayload. A partly read record is dropped.
// Pieces of one record that arrive in separate reads are put together.
std::unique_ptr<PipeMessage> readPipeMessage(PipeByteSource& pipe, uint32_t windowHandle);

// Builds the bytes of one record (the converter's side; tests and benchmarks).
std::vector<uint8_t> encodePipeMessage(uint32_t kind, const void* payload, uint32_t length);
std::vector<uint8_t> encodePipeText(uint32_t kind, const std::u16string& text);
std::vector<uint8_t> encodePageCount(uint32_t count);
