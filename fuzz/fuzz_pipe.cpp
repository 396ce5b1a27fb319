// The progress pipe's record reader fed with arbitrary bytes, delivered in
// reads of sizes the input chooses, and every record it returns applied to
// the progress display's state.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/core/pipe_protocol.h"
#include "app/core/progress_state.h"

namespace {

// Bytes from the input; the read sizes cycle through `steps`.
class ScriptedSource : public PipeByteSource {
public:
    ScriptedSource(const uint8_t* data, size_t size, const uint8_t* steps, size_t stepCount)
        : m_data(data), m_size(size), m_steps(steps), m_stepCount(stepCount) {}
    bool read(void* buffer, uint32_t size, uint32_t& got) override {
        got = 0;
        if (m_pos == m_size)
            return false;
        size_t n = size;
        if (m_stepCount) {
            size_t step = size_t(m_steps[m_next++ % m_stepCount]) + 1;
            n = step < n ? step : n;
        }
        n = n < m_size - m_pos ? n : m_size - m_pos;
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        got = uint32_t(n);
        return true;
    }
    bool write(const void* data, uint32_t size) override {
        if (size != 4 || std::memcmp(data, "\x78\x56\x34\x12", 4) != 0)
            std::abort();  // the only answer is the window handle
        ++writes;
        return true;
    }
    int writes = 0;

private:
    const uint8_t* m_data;
    size_t m_size;
    const uint8_t* m_steps;
    size_t m_stepCount;
    size_t m_pos = 0;
    size_t m_next = 0;
};

} // namespace

// Input: one byte n, then n read sizes (each byte + 1), then the stream.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    size_t stepCount = data[0] % 16;
    if (size < 1 + stepCount)
        return 0;
    ScriptedSource source(data + 1 + stepCount, size - 1 - stepCount, data + 1, stepCount);
    ProgressState state;
    size_t records = 0;
    while (auto message = readPipeMessage(source, 0x12345678u)) {
        if (message->payload.size() != message->length || message->length > kMaxPipePayload)
            std::abort();
        ++records;
        std::u16string text = message->text();
        if (text.size() * 2 > message->payload.size())
            std::abort();
        uint32_t count = 0;
        message->pageCount(count);
        ProgressUpdate pending;
        mergeUpdate(pending, state.apply(*message));
    }
    // Every record takes at least its 8 header bytes.
    if (records * 8 > size)
        std::abort();
    return 0;
}
