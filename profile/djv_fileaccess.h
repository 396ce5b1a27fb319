// The profile library's only contact with files: reading a whole file,
// replacing one safely, and the few questions the repository asks about
// paths. The Windows unit goes through the library's storages; the portable
// stand-in lets the native build run the same code under the sanitizers.
#pragma once

#include <cstdint>

#include "baselib/svr_array.h"
#include "baselib/svr_string.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

// Largest file the library reads in one piece (repository files are small).
const uint64_t kMaxReadSize = 0x10000000u;   // 256 MiB

bool fileExists(const String& path);
// Reads the whole file into bytes and, when asked, its modification time in
// seconds since 1970. Throws when the file cannot be opened or read, or is
// larger than maxSize (errTooLarge; the time is stored all the same).
void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t* modifiedTime,
                   uint64_t maxSize = kMaxReadSize);
// Modification time in seconds since 1970; throws when the file cannot be opened.
uint64_t modifiedTime(const String& path);
// Replaces the file's content by the size bytes at bytes through a working
// copy that takes the file's place only when complete: a failure leaves the
// old content. The bytes are written as they are (no copy of them is made).
void replaceFile(const String& path, const char* bytes, uint32_t size);
// Copies the content of from to to unless to exists, through a working
// file that takes the name to only when complete (a process killed meanwhile
// leaves no cut file there); false on any failure.
bool copyFileIfAbsent(const String& from, const String& to);
// The machine-wide folder that holds the repository, without a final
// separator; empty when it cannot be used.
String systemReservedDirectory();
// The path with the system's separator between folder and name.
String joinPath(const String& folder, const char* name);

} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
