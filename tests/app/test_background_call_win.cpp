// Calls run on a worker thread for what a dialog needs at initialisation:
// they run beside the caller, hand over what they wrote and what they threw,
// and are waited for before what they use goes away.
#include "app/background_call.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "baselib/svr_error.h"
#include "support/test_kit.h"

TEST(BackgroundCall, RunsBesideTheCallerAndHandsOverWhatItWroteAndThrew)
{
    // The call waits for the caller to go on: it must run on its own thread
    // (made in the caller's, it would wait the full five seconds).
    const Solvaris_Win32::UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(go);
    DWORD callThread = 0, waited = WAIT_TIMEOUT;
    std::string result;
    {
        BackgroundCall call([&] {
            callThread = GetCurrentThreadId();
            waited = WaitForSingleObject(go.get(), 5000);
            result = "written by the call";
        });
        SetEvent(go.get());
        call.wait();
        EXPECT_EQ(result, "written by the call");
        EXPECT_EQ(waited, WAIT_OBJECT_0);
        EXPECT_NE(callThread, GetCurrentThreadId());
        call.wait();   // a second wait returns at once
    }

    BackgroundCall failing([] { SVR_THROW(Solvaris::errReadFailed, "the settings could not be read"); });
    const testkit::Thrown t = testkit::thrown([&] { failing.wait(); });
    EXPECT_EQ(t.code, Solvaris::errReadFailed) << "what the call threw was lost";
    EXPECT_NE(t.message.find("the settings could not be read"), std::string::npos) << t.message;
    EXPECT_NO_THROW(failing.wait()) << "thrown once, not at every wait";

    // Never waited for: the end of the object still waits for the call.
    std::atomic<bool> ended{false};
    {
        BackgroundCall slow([&] {
            Sleep(100);
            ended = true;
        });
    }
    EXPECT_TRUE(ended);
}
