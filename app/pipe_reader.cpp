#include "app/pipe_reader.h"

#include <cstring>

bool PipeHandleSource::read(void* buffer, uint32_t size, uint32_t& got)
{
    got = 0;
    if (m_pos == m_end) {
        if (m_pipe == nullptr || m_pipe == INVALID_HANDLE_VALUE)
            return false;
        DWORD n = 0;
        if (!ReadFile(m_pipe, m_buffer, sizeof m_buffer, &n, nullptr) || n == 0 || n > sizeof m_buffer)
            return false;
        m_pos = 0;
        m_end = n;
    }
    uint32_t take = m_end - m_pos < size ? m_end - m_pos : size;
    std::memcpy(buffer, m_buffer + m_pos, take);
    m_pos += take;
    got = take;
    return true;
}

bool PipeHandleSource::write(const void* data, uint32_t size)
{
    if (m_pipe == nullptr || m_pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(m_pipe, data, size, &written, nullptr) && written == size;
}
