// Who this process runs as, judged before anything is shown. A converter
// that runs as the local system account (a service, in session 0) and starts
// the program anyway would put a window of that account on a user's desktop:
// its file dialog alone reaches a shell with the system's rights. Such a
// process shows no window in any mode and says why in a debug line.
#pragma once
#include <windows.h>

struct ProcessIdentity {
    bool tokenRead = false;     // the token's user could be read at all
    bool localSystem = false;   // ... and is the local system account
    bool sessionRead = false;   // the session could be read
    DWORD session = 0;          // ... and is this one (0: the services' session)
};

// The identity of this process: its token's user, its session. A test may
// put another in its place (setIdentityForTests).
ProcessIdentity currentProcessIdentity();

// Why no window may be shown for `identity`; null when windows may show.
// A token whose user cannot be read counts as refused; a session that cannot
// be read is judged by the token alone.
const wchar_t* windowlessReason(const ProcessIdentity& identity);

// The run of a process that shows no window: a debug line naming `reason`,
// then each mode's plain end. -param ends with -1 (nothing was asked), -pipe
// opens the converter's pipe and closes it at once (a converter waiting for
// the connection goes on) and ends with 0, -msg and -errmsg end with 0, any
// other command line with -1.
int runWithoutWindows(const wchar_t* reason, int argc, wchar_t** argv);

// For tests: the identity currentProcessIdentity() gives from now on; null
// puts the real one back.
void setIdentityForTests(const ProcessIdentity* identity);
