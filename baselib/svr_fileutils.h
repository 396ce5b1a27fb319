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

// A file of a folder that every user may write, opened for reading through
// Solvaris_Win32::openSharedFile: no link is followed, and a file with
// another name besides is refused. Throws a PlatformException with the
// system's error (ERROR_CANT_ACCESS_FILE for a refused file).
AutoPtr<DiskStorage> openSharedFileStorage(const String& path);

// Working files: a copy that is written first and takes its target's name
// only when complete. The folder it lies in may let everyone write (the
// shared data folder), so the file is created exclusively under a fresh
// random name (prefix, 16 hex digits, ".tmp"; hidden and temporary) and held
// by this process alone (no sharing at all) until it is released: nobody
// else can open, write, rename or remove it in between. Empty result and
// *error on failure.
AutoPtr<DiskStorage> createWorkingFile(const String& folder, const wchar_t* prefix, uint32_t* error);
// A fresh working-file name: prefix, 64 random bits as 16 hex digits,
// ".tmp", so that nobody can guess it in advance.
String randomFileName(const wchar_t* prefix);
// Gives the working file the name target through its own handle, replacing
// a file of that name when replace is set, and then the attributes (0: none
// besides normal). The handle stays open and now holds the target, so what
// takes the target's place is exactly what was written through it. false
// and *error on failure; the working file then keeps its name.
bool renameWorkingFile(DiskStorage* work, const String& target, uint32_t attributes, bool replace, uint32_t* error);
// Removes the working file through its handle; the name goes when the
// storage is released.
void discardWorkingFile(DiskStorage* work);

// The folder for temporary files: the user's LocalLow folder for a process
// of low integrity, the system's temporary path otherwise. Throws on
// failure.
String temporaryFolder();

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
