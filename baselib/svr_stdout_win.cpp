#include "baselib/svr_stdout_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <deque>

#include "baselib/svr_handle_win.h"

namespace Solvaris_Win32 {

namespace {

// Room for a burst of trace lines; a writer stuck on an unread pipe fills it
// once, and every line after that is dropped.
constexpr size_t kMaxQueuedLines = 256;
constexpr size_t kMaxQueuedBytes = 64 * 1024;
// What the end of the process grants the writer to empty the queue: as long
// as it keeps finishing lines (a busy machine may be slow to run it), up to
// kExitDrainMs in all; a writer that has finished no line for kExitStallMs
// is stuck on an output nobody reads and is given up.
constexpr DWORD kExitDrainMs = 5000;
constexpr DWORD kExitStallMs = 1000;
constexpr SIZE_T kWriterStack = 64 * 1024;

class OutputQueue {
public:
    explicit OutputQueue(HANDLE output) : m_output(output) {}

    // Starts the writer; false when there is no thread (nothing is queued then).
    bool start()
    {
        // The writer only copies bytes to the handle: a small stack will do.
        const UniqueHandle thread(
            CreateThread(nullptr, kWriterStack, &OutputQueue::run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        return bool(thread);
    }

    bool post(std::string line)
    {
        AcquireSRWLockExclusive(&m_lock);
        const bool room = m_lines.size() < kMaxQueuedLines && m_bytes + line.size() <= kMaxQueuedBytes;
        if (room) {
            m_bytes += line.size();
            m_lines.push_back(std::move(line));
            WakeConditionVariable(&m_queued);
        }
        ReleaseSRWLockExclusive(&m_lock);
        return room;
    }

    // Waits for the queue to be written out while the writer keeps
    // finishing lines: at most stallMs after the last line it finished (or
    // after the wait began), and limitMs in all.
    void drain(DWORD stallMs, DWORD limitMs)
    {
        AcquireSRWLockExclusive(&m_lock);
        const ULONGLONG start = GetTickCount64();
        m_progress = start;
        while (!m_lines.empty() || m_writing) {
            const ULONGLONG until = std::min(m_progress + stallMs, start + limitMs);
            const ULONGLONG now = GetTickCount64();
            if (now >= until)
                break;
            SleepConditionVariableSRW(&m_idle, &m_lock, DWORD(until - now), 0);
        }
        ReleaseSRWLockExclusive(&m_lock);
    }

private:
    static DWORD WINAPI run(void* self)
    {
        static_cast<OutputQueue*>(self)->writeLines();
        return 0;
    }

    void writeLines()
    {
        for (;;) {
            AcquireSRWLockExclusive(&m_lock);
            m_writing = false;
            m_progress = GetTickCount64();
            WakeAllConditionVariable(&m_idle);
            while (m_lines.empty())
                SleepConditionVariableSRW(&m_queued, &m_lock, INFINITE, 0);
            std::string line = std::move(m_lines.front());
            m_lines.pop_front();
            m_bytes -= line.size();
            m_writing = true;
            ReleaseSRWLockExclusive(&m_lock);
            writeAll(line);
        }
    }

    void writeAll(const std::string& line) const
    {
        size_t done = 0;
        while (done < line.size()) {
            DWORD put = 0;
            if (!WriteFile(m_output, line.data() + done, DWORD(line.size() - done), &put, nullptr) || put == 0)
                return;  // a closed or broken output: the line is lost, as any later one
            done += put;
        }
    }

    HANDLE m_output;  // the process's standard output, not owned
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_queued = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE m_idle = CONDITION_VARIABLE_INIT;
    std::deque<std::string> m_lines;
    size_t m_bytes = 0;
    bool m_writing = false;
    ULONGLONG m_progress = 0;  // when the writer last finished a line
};

// The one queue of the process, made at the first line and never destroyed:
// its writer may be blocked for good, and nothing at exit may wait for it
// beyond the short drain. Null when there is no standard output or no thread.
OutputQueue* processQueue()
{
    static OutputQueue* const queue = []() -> OutputQueue* {
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!output || output == INVALID_HANDLE_VALUE)
            return nullptr;
        OutputQueue* made = new OutputQueue(output);
        if (!made->start()) {
            delete made;
            return nullptr;
        }
        std::atexit([] { processQueue()->drain(kExitStallMs, kExitDrainMs); });
        return made;
    }();
    return queue;
}

std::string withCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 4);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

bool writeStandardOutput(const std::string& text)
{
    OutputQueue* queue = processQueue();
    return queue && queue->post(withCrLf(text));
}

} // namespace Solvaris_Win32
