#include "app/process_identity.h"

#include "app/core/command_line.h"
#include "app/modes.h"
#include "baselib/svr_handle_win.h"

#include <optional>
#include <string>
#include <vector>

namespace {

std::optional<ProcessIdentity> g_testIdentity;

// True when the user of this process's token could be read; `localSystem`
// then says whether it is the local system account.
bool readTokenUser(bool& localSystem)
{
    Solvaris_Win32::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER))
        return false;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        return false;
    const TOKEN_USER* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    localSystem = IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
    return true;
}

// The exit code of a mode that shows nothing (the pipe is dealt with apart).
int windowlessExitCode(Mode mode)
{
    switch (mode) {
    case Mode::ErrorMessage:
    case Mode::PlainMessage:
    case Mode::Pipe:
        return 0;
    case Mode::Param:
    case Mode::Invalid:
        break;
    }
    return -1;
}

} // namespace

ProcessIdentity currentProcessIdentity()
{
    if (g_testIdentity)
        return *g_testIdentity;
    ProcessIdentity identity;
    identity.tokenRead = readTokenUser(identity.localSystem);
    identity.sessionRead = ProcessIdToSessionId(GetCurrentProcessId(), &identity.session) != FALSE;
    return identity;
}

const wchar_t* windowlessReason(const ProcessIdentity& identity)
{
    if (!identity.tokenRead)
        return L"the user of the process token could not be read";
    if (identity.localSystem)
        return L"the process runs as the local system account";
    if (identity.sessionRead && identity.session == 0)
        return L"the process runs in session 0, where no user's desktop is";
    return nullptr;
}

int runWithoutWindows(const wchar_t* reason, int argc, wchar_t** argv)
{
    OutputDebugStringW((std::wstring(L"Printvane-UI: no window is shown: ") + reason +
                        L"; the converter must start the program in the user's session with the user's token\n")
                           .c_str());
    const Mode mode = argc >= 2 && argv ? selectMode(argc, argv) : Mode::Invalid;
    if (mode == Mode::Pipe) {
        // Opened and closed again: the converter's wait for the connection ends.
        const Solvaris_Win32::UniqueHandle pipe(
            CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kPipeOpenFlags, nullptr));
    }
    return windowlessExitCode(mode);
}

void setIdentityForTests(const ProcessIdentity* identity)
{
    if (identity)
        g_testIdentity = *identity;
    else
        g_testIdentity.reset();
}
