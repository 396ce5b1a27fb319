// The -pipe mode of the real program: fed by the converter stand-in, which
// checks the window-query replies and reports how the program ended, and on
// a pipe this test serves, reading the reader thread's trace lines on the
// program's standard output. What the window shows is read in the progress
// window's own tests (Cancel while the converter holds the pipe too), and in
// every language at every resolution in DpiLayout.
#include "app/core/pipe_protocol.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/test_kit.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace uitest;

namespace {

const DWORD kWait = 15000;

// Runs "converter pipe STEPS" and gives its report (UTF-8).
std::string runConverter(const std::vector<std::wstring>& steps, DWORD& exitCode)
{
    testkit::ScratchFolder scratch("pipe-report");
    const std::wstring report = scratch.wide(L"report.txt");
    std::vector<std::wstring> args = {L"pipe", L"--report", report};
    args.insert(args.end(), steps.begin(), steps.end());
    auto run = runProgram(commandLine(programPath(L"converter.exe"), args), 60000);
    EXPECT_TRUE(run.started && run.ended);
    exitCode = run.exitCode;
    return testkit::readFile(report);
}

} // namespace

// Several queries, a query with a payload, a zero-length record, a text
// without terminating zero, then a record cut short by the converter
// closing its end.
TEST(PipeMode, QueriesOddRecordsAndARecordCutByTheConverter)
{
    DWORD code = 1;
    const std::string text = runConverter({L"window", L"query", L"query", L"query", L"count:2", L"page",
                                           L"raw:W:4:01020304", L"query", L"raw:F:0", L"raw:m:6:610062006300",
                                           L"status:done", L"raw:m:40:41004200", L"close"},
                                          code);
    EXPECT_EQ(0u, code) << text;
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(4u, count(": match"));
    EXPECT_EQ(0u, count("MISMATCH"));
    EXPECT_EQ(1u, count("program ended with exit code 0 (0x00000000)"));
    EXPECT_EQ(1u, count("after the pipe was closed"));
}

// The program on a pipe this test serves, its standard output in a file:
// one round of "Waiting..." and the wait's result per record read; window
// queries are answered inside a round; the converter closing its end gives
// the closing line.
TEST(PipeTrace, ClosedByTheConverter)
{
    testkit::ScratchFolder scratch("pipetrace");
    const std::wstring out = scratch.wide(L"stdout.txt");
    PipeServer pipe;
    Process program;
    ASSERT_TRUE(pipe.valid());
    ASSERT_TRUE(program.startWithOutput(commandLine(programPath(L"PrintvaneUI.exe"), {L"-pipe", pipe.name()}), out));
    // The program opens the pipe at start; until then the server end only listens.
    ASSERT_TRUE(waitUntil([&] { return pipe.connected() || !program.running(); }, kWait) && pipe.connected());
    auto window = [&] {   // asks for the window and reads the 4-byte answer
        uint32_t value = 0;
        return pipe.send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)) && pipe.reply(value, kWait) && value;
    };
    ASSERT_TRUE(window());
    ASSERT_TRUE(pipe.send(encodePageCount(2)));
    ASSERT_TRUE(pipe.send(encodePipeText(PM_DOC_NAME, u"report")));
    ASSERT_TRUE(pipe.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0)));
    ASSERT_TRUE(window());
    pipe.close();
    ASSERT_TRUE(program.wait(kWait)) << "the window must close when the converter closes the pipe";
    EXPECT_EQ(0u, program.exitCode());
    std::string trace = testkit::readFile(out), rounds;
    trace.erase(std::remove(trace.begin(), trace.end(), '\r'), trace.end());
    for (int i = 0; i < 4; ++i)
        rounds += "PipeThread: Waiting...\nPipeThread: 1\n";
    EXPECT_EQ(rounds + "PipeThread: pipe closed by the peer; exit anyway.\n", trace);
}
