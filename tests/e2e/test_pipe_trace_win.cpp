// The reader thread's trace lines on the program's standard output, read
// from a real -pipe run whose converter end this test holds.
#include "support/pipe_server.h"
#include "support/ui_probe.h"

#include "app/core/pipe_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace uitest;

namespace {

const DWORD kWait = 15000;

// PrintvaneUI -pipe on a pipe this test serves, its standard output in a file.
class PipeRun {
public:
    PipeRun() : out_(tempPath(uniqueName(L"pipetrace") + L".txt"))
    {
        files_.add(out_);
        started_ = pipe_.valid() &&
                   program_.startWithOutput(commandLine(programPath(L"PrintvaneUI.exe"), {L"-pipe", pipe_.name()}),
                                            out_) &&
                   // The program opens the pipe at start; until then the
                   // server end only listens.
                   uitest::waitUntil([&] { return pipe_.connected() || !program_.running(); }, kWait) &&
                   pipe_.connected();
    }
    bool started() const { return started_; }
    bool send(const std::vector<uint8_t>& bytes) { return pipe_.send(bytes); }
    // Asks for the window and reads the 4-byte answer.
    HWND window()
    {
        uint32_t value = 0;
        if (!send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)) || !pipe_.reply(value, kWait))
            return nullptr;
        return reinterpret_cast<HWND>(uintptr_t(value));
    }
    void closeServer() { pipe_.close(); }
    // Waits for the end; true with the full exit code when it came in time.
    bool ended(DWORD& code)
    {
        if (!program_.wait(kWait))
            return false;
        code = program_.exitCode();
        return true;
    }
    std::string output() const
    {
        std::string out = readFile(out_);
        out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
        return out;
    }

private:
    RemoveAtEnd files_;
    std::wstring out_;
    uitest::PipeServer pipe_;
    Process program_;
    bool started_ = false;
};

std::string rounds(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "PipeThread: Waiting...\nPipeThread: 1\n";
    return s;
}

} // namespace

// One round of "Waiting..." and the wait's result per record read; window
// queries are answered inside a round; the converter closing its end gives
// the closing line.
TEST(PipeTrace, ClosedByTheConverter)
{
    PipeRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.window());
    ASSERT_TRUE(run.send(encodePageCount(2)));
    ASSERT_TRUE(run.send(encodePipeText(PM_DOC_NAME, u"report")));
    ASSERT_TRUE(run.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0)));
    ASSERT_TRUE(run.window());
    run.closeServer();
    DWORD code = 1;
    ASSERT_TRUE(run.ended(code)) << "the window must close when the converter closes the pipe";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(rounds(4) + "PipeThread: pipe closed by the peer; exit anyway.\n", run.output());
}

// Cancel while the reader waits for a record that never comes: the reader
// shuts down and the program ends with 0 although the converter still holds
// the pipe.
TEST(PipeTrace, CancelledWhileTheConverterHoldsThePipe)
{
    PipeRun run;
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0)));
    HWND window = run.window();
    ASSERT_TRUE(window);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    DWORD code = 1;
    ASSERT_TRUE(run.ended(code)) << "Cancel must close the window";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(rounds(2) + "PipeThread: shutting down...\n", run.output());
}
