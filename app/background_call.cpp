#include "app/background_call.h"

#include <utility>

namespace {
// After giving up, how long and how often the worker's blocked open or read
// is cancelled: a cancel that comes between two calls finds nothing to end.
constexpr DWORD kCancelGraceMs = 1000;
constexpr DWORD kCancelRepeatMs = 50;
} // namespace

BackgroundCall::BackgroundCall(std::function<void()> call) : m_job(std::make_shared<Job>())
{
    m_job->call = std::move(call);
    // The thread holds the job too: a call given up may outlive this object.
    auto* held = new std::shared_ptr<Job>(m_job);
    m_thread.reset(CreateThread(nullptr, 0, run, held, 0, nullptr));
    if (!m_thread)
        delete held;
}

BackgroundCall::~BackgroundCall()
{
    if (m_thread)
        WaitForSingleObject(m_thread.get(), INFINITE);
}

void BackgroundCall::wait() { waitFor(INFINITE); }

bool BackgroundCall::waitFor(DWORD limitMs, const std::function<void()>& onGiveUp)
{
    if (m_done)
        return true;
    m_done = true;
    if (!m_thread) {
        m_job->call();
        return true;
    }
    if (WaitForSingleObject(m_thread.get(), limitMs) != WAIT_OBJECT_0) {
        if (onGiveUp)
            onGiveUp();
        for (DWORD spent = 0; spent < kCancelGraceMs; spent += kCancelRepeatMs) {
            CancelSynchronousIo(m_thread.get());
            if (WaitForSingleObject(m_thread.get(), kCancelRepeatMs) == WAIT_OBJECT_0)
                break;
        }
        m_thread.reset();  // never waited for again
        return false;
    }
    m_thread.reset();
    takeThrown();
    return true;
}

void BackgroundCall::takeThrown()
{
    if (m_job->thrown)
        std::rethrow_exception(std::exchange(m_job->thrown, nullptr));
}

DWORD WINAPI BackgroundCall::run(void* held)
{
    const std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(held));
    try {
        (*job)->call();
    } catch (...) {
        (*job)->thrown = std::current_exception();
    }
    return 0;
}
