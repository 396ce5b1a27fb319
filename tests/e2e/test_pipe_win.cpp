// The -pipe mode of the real program on a pipe this test serves, reading the
// reader thread's trace lines on the program's standard output. Odd and cut
// records: ReadPipeMessage (every read split); what the window shows: the
// progress window's own tests (Cancel while the converter holds the pipe
// too) and DpiLayout; a pipe that cannot be opened: Arguments; the converter
// stand-in on the pipe: ParamMode.DemoJobFollowsEachAnswer and the demo script
// (its window queries).
#include "app/core/pipe_protocol.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/test_kit.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace uitest;

const DWORD kWait = 15000;

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
    const HWND shown = waitForWindow(program.pid(), kWait, L"#32770", program.handle());
    auto window = [&] {   // the 4-byte answer is the progress window's handle
        uint32_t value = 0;
        return pipe.send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)) && pipe.reply(value, kWait) && shown &&
               value == uint32_t(reinterpret_cast<uintptr_t>(shown));
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
