// Reading progress records off a stream: window queries, end-of-stream
// rules, the length bound and text payloads (every stream is also fed in
// small pieces, since a pipe may deliver one record over several reads); and
// what the progress window shows for sequences of records.
#include "app/core/display_text.h"
#include "app/core/pipe_protocol.h"
#include "app/core/progress_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "support/test_kit.h"

using testkit::le32;

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

Bytes wire(uint32_t kind) { return encodePipeMessage(kind, nullptr, 0); }
Bytes query() { return wire(PM_GET_WINDOW); }

// records: kind and payload, then the stream ends; replies: window queries answered.
struct StreamCase { const char* name; Bytes stream; std::vector<std::pair<uint32_t, Bytes>> records; int replies; };

const uint32_t kWindow = 0x00A1B2C4;

std::vector<StreamCase> streamCases()
{
    Bytes cut = encodePipeText(PM_STATUS_TEXT, u"0123456789");
    cut.resize(cut.size() - 7);  // the writer goes away inside the payload
    return {
        {"queries in a row are answered, not passed on", cat({query(), query(), query(), wire(PM_PAGE_BEGIN)}),
         {{PM_PAGE_BEGIN, {}}}, 3},
        {"query with length 4 is an ordinary record",
         encodePipeMessage(PM_GET_WINDOW, "\1\2\3\4", 4), {{PM_GET_WINDOW, {1, 2, 3, 4}}}, 0},
        {"zero length record is passed on", cat({wire(PM_IMAGE), wire(PM_TEXT)}), {{PM_IMAGE, {}}, {PM_TEXT, {}}}, 0},
        {"unknown kind is read like any other", encodePipeMessage('Z', "ab", 2), {{'Z', {'a', 'b'}}}, 0},
        {"writer closes inside a payload", cat({wire(PM_PAGE_BEGIN), cut}), {{PM_PAGE_BEGIN, {}}}, 0},
        {"writer closes inside the length field", cat({wire(PM_TEXT), Bytes({'m', 0, 0, 0, 4, 0})}), {{PM_TEXT, {}}}, 0},
        {"query at the very end is answered, then the end", cat({wire(PM_FINALIZE), query()}), {{PM_FINALIZE, {}}}, 1},
        {"query followed by a cut record", cat({query(), Bytes({'P', 0, 0})}), {}, 1},
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
                EXPECT_EQ(le32(std::vector<uint32_t>(c.replies, kWindow)), src.written);
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
        ScriptedSource src(cat({le32({PM_LOG_LINE, length}), Bytes(64, 'x')}), 1u << 30);
        EXPECT_FALSE(readPipeMessage(src, kWindow)) << length;
        EXPECT_LE(src.largestRequest, 8u) << "the payload of a record beyond the bound is not read";
    }
}

TEST(PipeMessage, TextStopsAtTheFirstZeroOrTheEndOfThePayload)
{
    struct Case { Bytes payload; std::u16string text; } cases[] = {
        {{'a', 0, 'b', 0, 0, 0}, u"ab"}, {{'a', 0, 'b', 0}, u"ab"},   // the second without a terminating zero
        {{'a', 0, 'b', 0, 'c'}, u"ab"},             // odd last byte belongs to no character
        {{'a', 0, 0, 0, 'c', 0}, u"a"},             // text after the zero is ignored
        {{0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}, u"\u20AC\U0001F600"},
        {{}, u""}, {{'x'}, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, (PipeMessage{nullptr, 0, 0, c.payload}.text()));
}

PipeMessage record(uint32_t kind, const std::vector<uint8_t>& encoded)
{
    PipeMessage m;
    m.kind = kind;
    m.payload.assign(encoded.begin() + 8, encoded.end());
    m.length = static_cast<uint32_t>(m.payload.size());
    return m;
}
PipeMessage bare(uint32_t kind) { return record(kind, encodePipeMessage(kind, nullptr, 0)); }
PipeMessage text(uint32_t kind, const std::u16string& t) { return record(kind, encodePipeText(kind, t)); }
PipeMessage count(uint32_t n) { return record(PM_PAGE_COUNT, encodePageCount(n)); }

// One step of a sequence and what the window must do for it. `line` is the
// page line as "page/count:status" (status id or text), empty when the
// display is not refreshed.
// range -1: untouched; title empty: untouched.
struct Step { PipeMessage message; std::string line; long range; std::u16string title; };

std::string lineOf(const ProgressUpdate& u)
{
    if (!u.display)
        return "";
    std::string status = u.statusId ? std::to_string(u.statusId)
                                    : "'" + std::string(u.statusText.begin(), u.statusText.end()) + "'";
    return std::to_string(u.page) + "/" + std::to_string(u.pageCount) + ":" + status;
}

void play(const char* name, const std::vector<Step>& steps)
{
    ProgressState state;
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(std::string(name) + ", step " + std::to_string(i + 1));
        ProgressUpdate u = state.apply(steps[i].message);
        EXPECT_EQ(steps[i].line, lineOf(u));
        EXPECT_EQ(steps[i].range, u.setRange ? long(u.range) : -1L);
        EXPECT_EQ(steps[i].title, u.setTitle ? u.docName : u"");
    }
}

TEST(ProgressState, Sequences)
{
    play("nothing shows before the first page, but count and name are kept",
         {{count(12), "", 12, u""},
          {text(PM_DOC_NAME, u"report"), "", -1, u""},
          {text(PM_STATUS_TEXT, u"early"), "", -1, u""},
          {bare(PM_TEXT), "", -1, u""},
          {bare(PM_PAGE_BEGIN), "1/12:102", -1, u"report"},
          {bare(PM_IMAGE), "1/12:102", -1, u""},
          {bare(PM_TEXT), "1/12:103", -1, u""},
          {bare(PM_TEXT), "", -1, u""},
          {bare(PM_TEXT_COMPRESS), "1/12:104", -1, u""},
          {bare(PM_FINALIZE), "1/12:105", -1, u""},
          {bare(PM_PAGE_BEGIN), "2/12:102", -1, u""}});
    play("two status texts in a row show only the first",
         {{bare(PM_PAGE_BEGIN), "1/1:102", 1, u""},
          {text(PM_STATUS_TEXT, u"one"), "1/1:'one'", -1, u""},
          {text(PM_STATUS_TEXT, u"two"), "", -1, u""},
          {bare(PM_TEXT), "1/1:103", -1, u""},
          {text(PM_STATUS_TEXT, u"three"), "1/1:'three'", -1, u""}});
    // A page beyond the known count: ProgressDialog.ShowsPagesStatusAndTitleUntilTheStreamEnds.
    play("a count that is not larger is ignored; a larger one refreshes the line",
         {{count(10), "", 10, u""},
          {bare(PM_PAGE_BEGIN), "1/10:102", -1, u""},
          {count(10), "1/10:''", -1, u""},  // a different kind than the last update
          {count(4), "", -1, u""},
          {count(20), "1/20:''", 20, u""},
          {count(20), "", -1, u""}});
    play("the title is set once; a second name changes nothing visible",
         {{bare(PM_PAGE_BEGIN), "1/1:102", 1, u""},
          {text(PM_DOC_NAME, u"first"), "1/1:''", -1, u"first"},
          {text(PM_DOC_NAME, u"second"), "", -1, u""},
          {bare(PM_PAGE_BEGIN), "2/2:102", 2, u""}});
    play("unknown kinds and short page counts refresh without a status",
         {{bare(PM_PAGE_BEGIN), "1/1:102", 1, u""},
          {bare('Z'), "1/1:''", -1, u""},
          {record(PM_PAGE_COUNT, encodePipeMessage(PM_PAGE_COUNT, "\0\0\0\0\x09", 5)), "1/1:''", -1, u""},
          {bare(PM_GET_WINDOW), "1/1:''", -1, u""}});
    play("converter texts are shown in the order sent, on one line, without controls",
         {{bare(PM_PAGE_BEGIN), "1/1:102", 1, u""},
          {text(PM_DOC_NAME, u"evil\u202Eexe.txt"), "1/1:''", -1, u"evilexe.txt"},
          {text(PM_STATUS_TEXT, u"a\tb\r\nc\x07\u2067d\u2069"), "1/1:'a b cd'", -1, u""}});
}

TEST(DisplayText, OverridesAndControlsGoLineBreaksAsTheTextAsks)
{
    struct Row {
        std::u16string in, oneLine, manyLines;
    } const rows[] = {
        {u"\u202Ax\u202By\u202Cz\u202D\u202E\u2066\u2067\u2068\u2069\u206A\u206F", u"xyz", u"xyz"},
        // Marks move no letter and stay; so do joiners and other letters.
        {u"\u05D0\u200F.\u200E\u061C\u200D\u00FC\u65E5", u"\u05D0\u200F.\u200E\u061C\u200D\u00FC\u65E5",
         u"\u05D0\u200F.\u200E\u061C\u200D\u00FC\u65E5"},
        {u"a\r\nb\nc\rd\te\u2028f\u2029g", u"a b c d e f g", u"a\r\nb\nc\rd\te\nf\ng"},
        {std::u16string(u"\0\x01\x1B[0m\x7F\x85\x9Fok", 11), u"[0mok", u"[0mok"},
        {u"", u"", u""},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(displayText(r.in, TextLines::One), r.oneLine);
        EXPECT_EQ(displayText(r.in, TextLines::Many), r.manyLines);
    }
}

// What the controls show after a series of updates.
struct Screen {
    std::string line;
    long range = -1;
    std::u16string title;
    void show(const ProgressUpdate& u)
    {
        range = u.setRange ? long(u.range) : range;
        line = u.display ? lineOf(u) : line;
        title = u.setTitle ? u.docName : title;
    }
};

TEST(ProgressState, ABurstShownOnceLooksLikeEachRecordShownInTurn)
{
    const std::vector<PipeMessage> job = {
        count(3), text(PM_DOC_NAME, u"doc"), bare(PM_PAGE_BEGIN), text(PM_STATUS_TEXT, u"a"),
        text(PM_STATUS_TEXT, u"b"), bare(PM_TEXT), count(2), bare(PM_PAGE_BEGIN), bare(PM_PAGE_BEGIN),
        bare(PM_PAGE_BEGIN), text(PM_DOC_NAME, u"late"), count(9), bare(PM_FINALIZE)};
    // Every way of cutting the job into bursts of up to four records.
    for (size_t burst = 1; burst <= 4; ++burst) {
        for (size_t offset = 0; offset < burst; ++offset) {
            ProgressState one, many;
            Screen each, folded;
            ProgressUpdate pending;
            for (size_t i = 0; i < job.size(); ++i) {
                each.show(one.apply(job[i]));
                mergeUpdate(pending, many.apply(job[i]));
                if ((i + offset) % burst == burst - 1 || i + 1 == job.size()) {
                    folded.show(pending);
                    pending = ProgressUpdate();
                    SCOPED_TRACE("burst " + std::to_string(burst) + ", record " + std::to_string(i));
                    EXPECT_EQ(std::make_tuple(each.line, each.range, each.title),
                              std::make_tuple(folded.line, folded.range, folded.title));
                }
            }
        }
    }
}

} // namespace
