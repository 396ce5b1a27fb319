// What the progress window shows for sequences of records.
#include "app/core/progress_state.h"

#include "app/core/display_text.h"

#include <gtest/gtest.h>

namespace {

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
struct Step {
    PipeMessage message;
    std::string line;
    long range;        // -1: range untouched
    std::u16string title;  // empty: title untouched
};

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
        {u"evil\u202Eexe.txt", u"evilexe.txt", u"evilexe.txt"},
        {u"\u202Ax\u202By\u202Cz\u202D\u2066\u2067\u2068\u2069\u206A\u206F", u"xyz", u"xyz"},
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
        if (u.setRange)
            range = long(u.range);
        if (u.display)
            line = lineOf(u);
        if (u.setTitle)
            title = u.docName;
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
                    EXPECT_EQ(each.line, folded.line);
                    EXPECT_EQ(each.range, folded.range);
                    EXPECT_EQ(each.title, folded.title);
                }
            }
        }
    }
}

} // namespace
