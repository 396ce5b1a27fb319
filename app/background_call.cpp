#include "app/background_call.h"

#include <utility>

BackgroundCall::BackgroundCall(std::function<void()> call) : m_call(std::move(call))
{
    m_thread.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
}

BackgroundCall::~BackgroundCall()
{
    if (m_thread)
        WaitForSingleObject(m_thread.get(), INFINITE);
}

void BackgroundCall::wait()
{
    if (m_done)
        return;
    m_done = true;
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.reset();
    } else {
        m_call();
    }
    if (m_thrown)
        std::rethrow_exception(std::exchange(m_thrown, nullptr));
}

DWORD WINAPI BackgroundCall::run(void* self)
{
    BackgroundCall* me = static_cast<BackgroundCall*>(self);
    try {
        me->m_call();
    } catch (...) {
        me->m_thrown = std::current_exception();
    }
    return 0;
}
