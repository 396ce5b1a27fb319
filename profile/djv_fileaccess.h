// The profile library's only contact with files: reading a whole file,
// replacing one safely, and the few questions the repository asks about
// paths. The Windows unit goes through the library's storages; the portable
// stand-in lets the native build run the same code under the sanitizers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "baselib/svr_array.h"
#include "baselib/svr_filestamp.h"
#include "baselib/svr_string.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

// Largest file the library reads in one piece (repository files are small).
const uint64_t kMaxReadSize = 0x10000000u;   // 256 MiB

bool fileExists(const String& path);
// Reads the whole file into bytes. Throws when the file cannot be opened or
// read, or is larger than maxSize (errTooLarge).
void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t maxSize = kMaxReadSize);
// Reads the whole file like readWholeFile and stamps exactly the bytes read.
// A missing file gives a stamp that does not exist (and no bytes), never a
// throw; any other failure throws.
FileStamp readStamped(const String& path, SimpleArray<char>* bytes);
// The stamp of the file as it is now (see readStamped).
FileStamp stampOf(const String& path);
// The stamp of the file just written with `content`: its size and write
// time asked of the system, its content hashed from what was written rather
// than read back. Had another writer come in between, the stamp is not that
// of their file, so the next look sees a changed file.
FileStamp stampOfWritten(const String& path, const std::string& content);

// How long a save waits for another saver of the same file to finish.
const uint32_t kSaveLockWaitMs = 5000;
// What a locked save writes, decided from the file as it is at that moment:
// its stamp and bytes (none when it does not exist). Returns false to write
// nothing; may throw to fail the save.
typedef std::function<bool(const FileStamp& now, const SimpleArray<char>& bytes, std::string* content)> SaveDecision;
// Looks at the file and replaces it (as replaceFile does) in one step that
// no other saver of the same file, in this process or another, can enter
// meanwhile: the check made by `decide` still holds when its content takes
// the file's place. The wait for another saver is bounded by
// kSaveLockWaitMs: after it the save fails with errTimeout and writes
// nothing. Returns the stamp of the file as left (the written one, or the
// one `decide` was shown when it wrote nothing).
FileStamp replaceUnderSaveLock(const String& path, const SaveDecision& decide);
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

// What replaceUnderSaveLock does once its lock is held: the look at the
// file, the decision and the replace (the stand-ins' common part).
inline FileStamp replaceDecided(const String& path, const SaveDecision& decide) {
    SimpleArray<char> bytes;
    const FileStamp now = readStamped(path, &bytes);
    std::string content;
    if (!decide(now, bytes, &content))
        return now;
    replaceFile(path, content.data(), uint32_t(content.size()));
    return stampOfWritten(path, content);
}

} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
