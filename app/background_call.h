// A function run on a worker thread of its own, for reads that a window
// needs at its initialisation and that can run while the window's controls
// are made (the settings file, the profile list).
#pragma once
#include <windows.h>

#include <exception>
#include <functional>

#include "baselib/svr_handle_win.h"

class BackgroundCall {
public:
    // Starts `call` on a new thread. Without a thread (out of resources) the
    // call is made by wait() instead, in the waiting thread.
    explicit BackgroundCall(std::function<void()> call);
    // Waits for a running call to end (what it uses must outlive this
    // object); a call that never got a thread is not made.
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // Returns once the call has ended; what it wrote may be read from then
    // on. What the call threw is thrown here, as if it had run in the
    // waiting thread. Later calls return at once.
    void wait();

private:
    static DWORD WINAPI run(void* self);
    std::function<void()> m_call;
    Solvaris_Win32::UniqueHandle m_thread;
    std::exception_ptr m_thrown;
    bool m_done = false;
};
