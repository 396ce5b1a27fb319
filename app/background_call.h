// A function run on a worker thread of its own, for reads that a window
// needs at its initialisation and that must be given up when a file holds
// them too long (the settings file, the profile list: startup_reads.h).
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>

#include "baselib/svr_handle_win.h"

class BackgroundCall {
public:
    // Starts `call` on a new thread. Without a thread (out of resources) the
    // call is made by wait() instead, in the waiting thread.
    explicit BackgroundCall(std::function<void()> call);
    // Waits for a running call to end (what it uses must outlive this
    // object), unless waitFor gave it up; a call that never got a thread is
    // not made.
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // Returns once the call has ended; what it wrote may be read from then
    // on. What the call threw is thrown here, as if it had run in the
    // waiting thread. Later calls return at once.
    void wait();

    // As wait(), for at most `limitMs`. A call still running then is given
    // up: `onGiveUp` runs first (to tell the call to stop where it can), then
    // the open or read the worker is blocked in is cancelled, again and again
    // for a short while, and false comes back whether or not the worker has
    // ended. A call that may be given up must own everything it touches
    // (held by value or shared with the caller): it may outlive this object.
    bool waitFor(DWORD limitMs, const std::function<void()>& onGiveUp = {});

private:
    struct Job {
        std::function<void()> call;
        std::exception_ptr thrown;
    };
    static DWORD WINAPI run(void* job);
    void takeThrown();

    std::shared_ptr<Job> m_job;
    Solvaris_Win32::UniqueHandle m_thread;
    bool m_done = false;
};
