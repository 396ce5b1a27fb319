// The -pipe mode of the real program on a pipe this test serves, its trace
// lines going to a standard output nobody reads. Odd and cut records:
// ReadPipeMessage (every read split); what the window shows: the progress
// window's own tests (Cancel while the converter holds the pipe too) and
// DpiLayout; a pipe that cannot be opened: Arguments; the converter stand-in
// on the pipe: ParamMode.DemoJobFollowsEachAnswer and the demo script (its
// window queries).
#include "app/core/pipe_protocol.h"
#include "app/res/resource.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/ui_probe.h"

#include <gtest/gtest.h>

#include <string>

using namespace uitest;

// The converter captures the program's standard output in a small pipe it
// never reads (the trace fills it after a few pages): the window still
// follows every page and answers the window query, closes when the pipe
// closes, and Cancel still ends the process, as does the end of the
// session (which changes nothing until it really comes).
TEST(PipeTrace, OutputNobodyReads)
{
    const DWORD kPages = 2000;
    enum End { Closed, Cancel, SignOut };
    for (End end : {Closed, Cancel, SignOut}) {
        const bool cancel = end != Closed;
        SCOPED_TRACE(end == Closed ? "closed by the converter" : end == Cancel ? "cancelled" : "the session ends");
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        Solvaris_Win32::UniqueHandle unread, output;
        ASSERT_TRUE(CreatePipe(unread.put(), output.put(), &sa, 4096));
        SetHandleInformation(unread.get(), HANDLE_FLAG_INHERIT, 0);
        PipeServer pipe;
        PROCESS_INFORMATION pi;
        ASSERT_TRUE(startProcess(commandLine(productProgram(), {L"-pipe", pipe.name()}), pi, {}, 0,
                                 nullptr, output.get()));
        const Solvaris_Win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
        output.reset();
        struct Stop {   // a program still running at the end is ended
            HANDLE process;
            ~Stop() { TerminateProcess(process, 0xDEAD); }
        } stop{process.get()};
        ASSERT_TRUE(pipe.connect(process.get(), kProgramWait));
        const HWND shown = waitForWindow(pi.dwProcessId, kProgramWait, L"#32770", process.get());
        ASSERT_TRUE(shown);
        ASSERT_TRUE(pipe.send(encodePageCount(kPages)));
        for (DWORD page = 0; page < (cancel ? 100 : kPages); ++page)
            ASSERT_TRUE(pipe.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0))) << "page " << page + 1;
        if (end == Cancel) {
            pressButton(shown, IDCANCEL);
        } else if (end == SignOut) {
            EXPECT_EQ(SendMessageW(shown, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
            SendMessageW(shown, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(shown, IDCANCEL))) << "an end that did not come changes nothing";
            PostMessageW(shown, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        } else {
            uint32_t value = 0;
            ASSERT_TRUE(pipe.send(encodePipeMessage(PM_GET_WINDOW, nullptr, 0)));
            ASSERT_TRUE(pipe.reply(value, kProgramWait)) << "the reader must still read the pipe";
            EXPECT_TRUE(waitUntil([&] { return controlText(shown, IDC_PROGRESS_TEXT).find(L"Page 2000/2000") == 0; },
                                  kProgramWait)) << narrow(controlText(shown, IDC_PROGRESS_TEXT));
            pipe.close();
        }
        DWORD code = 0xDEAD;
        EXPECT_TRUE(waitForExit(process.get(), kProgramWait, code)) << "the program must end";
        EXPECT_EQ(0u, code);
    }
}
