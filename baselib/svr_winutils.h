// The library's fixed place on Windows, the machine-wide data folder (which
// holds the profile repository), and the way folders that every user may
// write are opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "baselib/svr_string.h"
#include "baselib/svr_syncobjs.h"

struct _ACL;
struct _SECURITY_ATTRIBUTES;

namespace Solvaris_Win32 {

// baselib/svr_handle_win.h: the levels are held as owned handles.
template <typename T, typename Traits>
class Owned;
struct HandleTraits;

// A folder below a folder of the system's (the base, trusted as it is),
// opened for use. Any user may remove a folder that every user may write and
// put a link (a junction, a symbolic link) or a file in its place, so each
// level below the base is opened without following links, created first
// when it is missing (with the given security), and held open from then on,
// without sharing deletion: while the object lives no level can be removed,
// renamed or replaced, and the next level is made and checked inside the
// one that was checked. A level that is a link or no folder makes the whole
// folder unusable; nothing is created inside it.
//
// The security is given to the last level when it is created, and with
// secureEveryLevel to every level created (others get default security).
// With grantEveryone, the last level gets "Everyone: full control,
// inherited by files and subfolders" through its handle, but only when this
// object created it (a folder found in place may be anyone's: a user's own
// folder can be renamed into the place by whoever may delete it where it
// was) and only when the folder lacks that entry. The change is made on the
// folder alone; nothing below it is walked.
class SharedFolder {
public:
    enum State { usable, isLink, notFolder, failed };
    enum Options { grantEveryone = 1, secureEveryLevel = 2 };

    SharedFolder(const Solvaris::String& base, const std::vector<Solvaris::String>& levels,
                 _SECURITY_ATTRIBUTES* security, unsigned options);
    ~SharedFolder();
    SharedFolder(const SharedFolder&) = delete;
    SharedFolder& operator=(const SharedFolder&) = delete;

    State state() const { return m_state; }
    bool isUsable() const { return m_state == usable; }
    // The full path of the last level (the base when there are no levels).
    const Solvaris::String& path() const { return m_path; }
    // The system's error for the level that made the folder unusable
    // (ERROR_CANT_ACCESS_FILE for a link or a non-folder).
    uint32_t error() const { return m_error; }
    // Whether the last level was created by this object.
    bool created() const { return m_created; }
    // A line for the debug file: the level and why it cannot be used.
    Solvaris::String reason() const;

private:
    std::vector<Owned<void*, HandleTraits>> m_handles;  // the levels, outermost first
    Solvaris::String m_path;
    Solvaris::String m_failedLevel;
    State m_state = usable;
    uint32_t m_error = 0;
    bool m_created = false;
};

// Whether a reparse point in a folder that every user may write may be
// used as the entry it stands in for; one table decides for folders and
// files alike. A symbolic link is refused. A mount point is accepted only
// when its target (as the system keeps it) is a volume,
// "\??\Volume{GUID}\", and its owner is Administrators or SYSTEM:
// otherwise it is a junction, which any user may make, to anywhere. A
// cloud-file placeholder (a folder kept in step by a synchronisation
// client) is accepted. Every other kind is refused.
bool reparsePointAccepted(uint32_t tag, const Solvaris::String& target, bool ownerIsSystem);

// What a level is, judged by its attributes as read through the handle
// opened without following links and as read by name, and by
// reparsePointAccepted for the reparse point the handle shows: Windows
// shows a link (junction, symbolic link) on that handle; Wine follows the
// link even then and shows it only by name.
SharedFolder::State judgeLevel(uint32_t handleAttributes, uint32_t nameAttributes, bool reparseAccepted);

// A file in a folder that every user may write, opened for access (with
// share) once, without following links, and judged through that handle
// only: a link that reparsePointAccepted refuses, a folder, or a file with
// more than one name (a hard link makes another user's file look like
// ours) is refused. The result is the handle to read, copy and judge
// through (for an accepted cloud placeholder, the same file opened again
// through the first handle, so that its content is fetched); empty on failure, with *error the system's error, or
// ERROR_CANT_ACCESS_FILE for a refused file (the debug file then says why).
Owned<void*, HandleTraits> openSharedFile(const Solvaris::String& path, uint32_t access, uint32_t share,
                                          uint32_t* error);

// Whether an access list lets Everyone do everything, both on the folder and
// (inherited) on its files and subfolders: an allowed entry whose rights,
// generic ones mapped for files, hold full control; the two may be one
// entry or two (one applying to the folder, one only inherited).
bool grantsEveryoneFullControl(const _ACL* acl);

// Whether name is one plain folder name: not empty, no separators, no drive
// or stream colon, no characters Windows refuses in names, not "." or "..",
// no trailing dot or blank (Windows would drop them), and not a device name
// (CON, NUL, COM1...; with an extension too, as in "nul.txt").
bool isPlainFolderName(const Solvaris::String& name);

// Found and created once per process, on first use:
// - system reserved directory: %SVRDBDIR% verbatim when set, else
//   <common application data>\<%SVRDBDIR_ALTNAME% or "Marovent">, else
//   "C:\Marovent"; every user may write there (Everyone full control,
//   low-integrity processes included). %SVRDBDIR_ALTNAME% is used only when
//   it is one plain folder name (isPlainFolderName), else "Marovent". The
//   folder is opened as a SharedFolder and held for the life of the object;
//   only a folder made now is opened to everyone (a folder %SVRDBDIR% names
//   that exists already is used as it is). When it cannot be used (a link,
//   not a folder), the directory is empty and the debug file says why: the
//   profile repository then holds only its built-in profile.
// Later changes of the variables have no effect on the instance.
class SystemReservedDirectoryLocator : public Solvaris::ThreadSafeSingleton<SystemReservedDirectoryLocator> {
public:
    // Builds the folders now (tests build their own; others use instance()).
    SystemReservedDirectoryLocator();
    ~SystemReservedDirectoryLocator();

    const Solvaris::String& getSystemReservedDirectory() const { return m_systemDir; }

private:
    Solvaris::String m_systemDir;
    std::unique_ptr<SharedFolder> m_held;  // the system reserved directory, held open
};

// A copy of the process-wide system reserved directory; empty when it
// cannot be used.
Solvaris::String getSystemReservedDirectory();

// A UTF-16 text as UTF-8 and back, whole (what cannot be converted becomes
// the system's replacement character).
std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8Text);

} // namespace Solvaris_Win32
