// Calls run on a worker thread for what a dialog needs at initialisation:
// they run beside the caller, hand over what they wrote and what they threw,
// and are waited for before what they use goes away.
#include "app/background_call.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

TEST(BackgroundCall, RunsBesideTheCallerAndHandsOverWhatItWroteAndThrew)
{
    // The call waits for the caller to go on: it must run on its own thread
    // (made in the caller's, it would wait the full five seconds).
    const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    DWORD callThread = 0, waited = WAIT_TIMEOUT;
    std::string result;
    {
        BackgroundCall call([&] {
            callThread = GetCurrentThreadId();
            waited = WaitForSingleObject(go, 5000);
            result = "written by the call";
        });
        SetEvent(go);
        call.wait();
        EXPECT_EQ(result, "written by the call");
        EXPECT_EQ(waited, WAIT_OBJECT_0);
        EXPECT_NE(callThread, GetCurrentThreadId());
        call.wait();   // a second wait returns at once
    }
    CloseHandle(go);

    BackgroundCall failing([] { throw std::runtime_error("the settings could not be read"); });
    try {
        failing.wait();
        ADD_FAILURE() << "what the call threw was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the settings could not be read");
    }
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
