// File helpers shared by the Windows storage units (not part of the public
// interface).
#pragma once

#include <cstdint>

#include "baselib/svr_storage.h"
#include "baselib/svr_string.h"

namespace Solvaris {
namespace _Svr_Internal_NS_ {

// The full path of name (no length limit); empty when the system cannot
// give one.
String absolutePath(const String& name);
// absolutePath, then its long form when the system can give one, then with
// "." and ".." parts removed.
String canonicalPath(const String& name);

// The flags and attributes openDiskStorage gives CreateFileW. A name may
// turn out to be a pipe that someone else serves: the open always says that
// the server may identify the user but not act as the user
// (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION; a plain file ignores it).
uint32_t diskStorageOpenFlags(AccessMode access);

// Opens a disk storage like DiskStorage::create without throwing for a
// failed open: on failure the result is empty and *error holds the Win32
// error.
AutoPtr<DiskStorage> openDiskStorage(const String& path, AccessMode access, CreationMode creation,
                                     uint32_t* error);

// The folder for temporary files: the user's LocalLow folder for a process
// of low integrity, the system's temporary path otherwise. Throws on
// failure.
String temporaryFolder();

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
