// The library's fixed places on Windows: the machine-wide data folder (which
// holds the profile repository) and the per-user data folder.
#pragma once

#include "baselib/svr_string.h"
#include "baselib/svr_syncobjs.h"

namespace Solvaris_Win32 {

// Found and created once per process, on first use:
// - system reserved directory: %SVRDBDIR% verbatim when set, else
//   <common application data>\<%SVRDBDIR_ALTNAME% or "Marovent">, else
//   "C:\Marovent"; every user may write there (Everyone full control,
//   low-integrity processes included);
// - user reserved directory: <local application data>\<same name>, else
//   <system reserved directory>\.local.
// Later changes of the variables have no effect on the instance.
class SystemReservedDirectoryLocator : public Solvaris::ThreadSafeSingleton<SystemReservedDirectoryLocator> {
public:
    // Builds the folders now (tests build their own; others use instance()).
    SystemReservedDirectoryLocator();
    ~SystemReservedDirectoryLocator() {}

    const Solvaris::String& getSystemReservedDirectory() const { return m_systemDir; }
    const Solvaris::String& getUserReservedDirectory() const { return m_userDir; }

private:
    Solvaris::String m_systemDir;
    Solvaris::String m_userDir;
};

// A copy of the process-wide system reserved directory.
Solvaris::String getSystemReservedDirectory();

} // namespace Solvaris_Win32
