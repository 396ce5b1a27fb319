// The converter's end of a named pipe, for tests that feed the program's
// pipe reader: records go out, 4-byte window replies come back. Every wait
// is bounded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/dialog_driver.h"

namespace uitest {

class PipeServer {
public:
    PipeServer()
    {
        static LONG serial = 0;
        name_ = L"\\\\.\\pipe\\pv-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(InterlockedIncrement(&serial));
        handle_ = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536,
                                   0, nullptr);
    }
    ~PipeServer() { close(); }
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    const std::wstring& name() const { return name_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Opens the client end here (the end the program's start-up would open).
    HANDLE openClient() const
    {
        return CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    // True once a client holds the other end.
    bool connected() const { return PeekNamedPipe(handle_, nullptr, 0, nullptr, nullptr, nullptr) != FALSE; }
    bool send(const std::vector<uint8_t>& bytes) const
    {
        DWORD written = 0;
        return WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    }
    // Reads a 4-byte little-endian reply, waiting at most limitMs.
    bool reply(uint32_t& value, DWORD limitMs = 5000) const
    {
        DWORD avail = 0;
        if (!waitUntil([&] { return PeekNamedPipe(handle_, nullptr, 0, nullptr, &avail, nullptr) && avail >= 4; },
                       limitMs))
            return false;
        uint8_t b[4];
        DWORD got = 0;
        if (!ReadFile(handle_, b, 4, &got, nullptr) || got != 4)
            return false;
        value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
        return true;
    }
    void close()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    std::wstring name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace uitest
