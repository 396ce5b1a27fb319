// The converter's end of a named pipe (the converter stand-in's
// winkit::ServerPipe), for tests that feed the program's pipe reader:
// records go out, 4-byte window replies come back. Every wait is bounded.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/dialog_driver.h"
#include "tools/winkit/winkit.h"

namespace uitest {

class PipeServer : public winkit::ServerPipe {
public:
    // A name no other pipe of this run has; room for a few records each way
    // before a writer waits.
    PipeServer() : winkit::ServerPipe(L"\\\\.\\pipe\\" + uniqueName(L"pipe"), 65536) {}

    // Opens the client end here (the end the program's start-up would open).
    HANDLE openClient() const
    {
        return CreateFileW(name().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    // Waits as long as a window that is slow to read may hold the writer back.
    bool send(const std::vector<uint8_t>& bytes) const { return write(bytes.data(), bytes.size(), 30000); }
    bool reply(uint32_t& value, DWORD limitMs = 5000) const { return readValue(value, limitMs); }
};

} // namespace uitest
