// The Windows side of the progress pipe: the pipe handle as a byte stream for
// readPipeMessage, and the 4-byte window handle sent in answer to queries.
#pragma once
#include <windows.h>

#include <memory>

#include "app/core/pipe_protocol.h"

// Reads the pipe through a small buffer: one ReadFile takes whatever the
// converter has written so far (up to the buffer), so a burst of short
// records costs one call instead of two per record. A read blocks until data
// arrives; another thread ends a blocked read with CancelSynchronousIo on the
// reading thread.
class PipeHandleSource : public PipeByteSource {
public:
    explicit PipeHandleSource(HANDLE pipe) : m_pipe(pipe) {}

    bool read(void* buffer, uint32_t size, uint32_t& got) override;
    bool write(const void* data, uint32_t size) override;
    void* handle() const override { return m_pipe; }

private:
    HANDLE m_pipe;
    uint8_t m_buffer[4096];
    uint32_t m_pos = 0;
    uint32_t m_end = 0;
};

// The window handle as the converter receives it: its low 32 bits (window
// handles are 32-bit values on every Windows, also for 64-bit peers).
inline uint32_t windowReplyValue(HWND window)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

// Reads one record from `source`, answering window queries with `window`.
inline std::unique_ptr<PipeMessage> readPipeMessage(PipeHandleSource& source, HWND window)
{
    return readPipeMessage(static_cast<PipeByteSource&>(source), windowReplyValue(window));
}
