// Reading progress records off a stream: window queries, end-of-stream
// rules, the length bound and text payloads. Every stream is also fed in
// small pieces, since a pipe may deliver one record over several reads.
#include "app/core/pipe_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

// A stream with scripted contents, delivered at most `chunk` bytes a read.
class ScriptedSource : public PipeByteSource {
public:
    ScriptedSource(Bytes data, uint32_t chunk) : m_data(std::move(data)), m_chunk(chunk) {}

    bool read(void* buffer, uint32_t size, uint32_t& got) override
    {
        got = 0;
        if (m_pos >= m_data.size()) {
            // Either a failed read or an empty one; a reader that keeps
            // asking after the end is stopped here and counted.
            if (++readsAfterEnd > 3)
                return false;
            return endSucceeds;
        }
        got = static_cast<uint32_t>(std::min<size_t>({size, m_chunk, m_data.size() - m_pos}));
        std::memcpy(buffer, &m_data[m_pos], got);
        m_pos += got;
        largestRequest = std::max(largestRequest, size);
        return true;
    }
    bool write(const void* data, uint32_t size) override
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        written.insert(written.end(), p, p + size);
        return writesSucceed;
    }
    void* handle() const override { return const_cast<ScriptedSource*>(this); }

    Bytes written;
    int readsAfterEnd = 0;
    uint32_t largestRequest = 0;
    bool endSucceeds = false;
    bool writesSucceed = true;

private:
    Bytes m_data;
    uint32_t m_chunk;
    size_t m_pos = 0;
};

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes bare(uint32_t kind) { return encodePipeMessage(kind, nullptr, 0); }
Bytes query() { return bare(PM_GET_WINDOW); }
// A 32-bit value in the wire's byte order, `times` times over.
Bytes le32(uint32_t v, int times = 1)
{
    Bytes r;
    for (int i = 0; i < 4 * times; ++i)
        r.push_back(uint8_t(v >> (8 * (i % 4))));
    return r;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<std::pair<uint32_t, Bytes>> records;  // kind and payload; then the stream ends
    int replies;                    // window queries answered
};

const uint32_t kWindow = 0x00A1B2C4;

std::vector<StreamCase> streamCases()
{
    Bytes cut = encodePipeText(PM_STATUS_TEXT, u"0123456789");
    cut.resize(cut.size() - 7);  // the writer goes away inside the payload
    return {
        {"queries in a row are answered and not passed on",
         cat({query(), query(), query(), bare(PM_PAGE_BEGIN)}), {{PM_PAGE_BEGIN, {}}}, 3},
        {"query with length 4 is an ordinary record",
         encodePipeMessage(PM_GET_WINDOW, "\1\2\3\4", 4), {{PM_GET_WINDOW, {1, 2, 3, 4}}}, 0},
        {"zero length record is passed on", cat({bare(PM_IMAGE), bare(PM_TEXT)}),
         {{PM_IMAGE, {}}, {PM_TEXT, {}}}, 0},
        {"unknown kind is read like any other", encodePipeMessage('Z', "ab", 2), {{'Z', {'a', 'b'}}}, 0},
        {"writer closes inside a payload", cat({bare(PM_PAGE_BEGIN), cut}), {{PM_PAGE_BEGIN, {}}}, 0},
        {"writer closes inside the length field", cat({bare(PM_TEXT), Bytes({'m', 0, 0, 0, 4, 0})}),
         {{PM_TEXT, {}}}, 0},
        {"writer closes inside the kind field", cat({bare(PM_TEXT), Bytes({'m', 0})}), {{PM_TEXT, {}}}, 0},
        {"query at the very end is answered, then the stream ends", cat({bare(PM_FINALIZE), query()}),
         {{PM_FINALIZE, {}}}, 1},
        {"query followed by a cut record", cat({query(), Bytes({'P', 0, 0})}), {}, 1},
        {"length beyond the bound ends the stream",
         cat({bare(PM_IMAGE), Bytes({'m', 0, 0, 0, 0x01, 0x00, 0x10, 0x00}), bare(PM_TEXT)}),
         {{PM_IMAGE, {}}}, 0},
        {"empty stream", {}, {}, 0},
    };
}

TEST(ReadPipeMessage, StreamsGiveTheirRecordsThenEndWhateverTheReadSizes)
{
    for (const StreamCase& c : streamCases()) {
        for (uint32_t chunk : {1u, 2u, 3u, 5u, 7u, 1u << 30}) {
            for (bool endSucceeds : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + ", chunk " + std::to_string(chunk) +
                             (endSucceeds ? ", empty read at end" : ", failed read at end"));
                ScriptedSource src(c.stream, chunk);
                src.endSucceeds = endSucceeds;
                src.writesSucceed = !endSucceeds;  // a failed reply changes nothing
                for (const auto& e : c.records) {
                    std::unique_ptr<PipeMessage> m = readPipeMessage(src, kWindow);
                    ASSERT_TRUE(m);
                    EXPECT_EQ(e.first, m->kind);
                    EXPECT_EQ(e.second.size(), m->length);
                    EXPECT_EQ(e.second, m->payload);
                    EXPECT_EQ(&src, m->pipe);
                }
                EXPECT_FALSE(readPipeMessage(src, kWindow));
                EXPECT_EQ(le32(kWindow, c.replies), src.written);
                EXPECT_LE(src.readsAfterEnd, 1) << "the end is taken at the first empty or failed read";
            }
        }
    }
}

TEST(ReadPipeMessage, LengthBoundIsCheckedBeforeAnythingIsReadOrAllocated)
{
    Bytes atBound = encodePipeMessage(PM_LOG_LINE, Bytes(kMaxPipePayload, 'x').data(), kMaxPipePayload);
    ScriptedSource ok(atBound, 1u << 30);
    auto m = readPipeMessage(ok, kWindow);
    ASSERT_TRUE(m);
    EXPECT_EQ(kMaxPipePayload, m->payload.size());

    for (uint32_t length : {kMaxPipePayload + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        ScriptedSource src(cat({le32(PM_LOG_LINE), le32(length), Bytes(64, 'x')}), 1u << 30);
        EXPECT_FALSE(readPipeMessage(src, kWindow)) << length;
        EXPECT_LE(src.largestRequest, 8u) << "the payload of a record beyond the bound is not read";
    }
}

TEST(PipeMessage, TextStopsAtTheFirstZeroOrTheEndOfThePayload)
{
    struct Case { Bytes payload; std::u16string text; } cases[] = {
        {{'a', 0, 'b', 0, 0, 0}, u"ab"},
        {{'a', 0, 'b', 0}, u"ab"},                  // no terminating zero
        {{'a', 0, 'b', 0, 'c'}, u"ab"},             // odd last byte belongs to no character
        {{'a', 0, 0, 0, 'c', 0}, u"a"},             // text after the zero is ignored
        {{0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}, u"\u20AC\U0001F600"},
        {{}, u""},
        {{'x'}, u""},
    };
    for (const Case& c : cases) {
        PipeMessage m;
        m.payload = c.payload;
        EXPECT_EQ(c.text, m.text());
    }
}

} // namespace
