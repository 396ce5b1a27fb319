// What a file is at one moment, to see whether it changed between a read
// and a later replace. Size and last write time alone do not tell: file
// systems stamp the time in ticks of some milliseconds (FAT: two seconds),
// so a writer that rewrites a file within one tick, keeping its size, leaves
// both as they were. The stamp therefore also carries a hash of the bytes.
// Used by every saver of a shared file (the settings, the profile
// repository, the profile editor): two stamps differ, the file changed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Solvaris {

struct FileStamp {
    bool exists = false;
    uint64_t size = 0;
    uint64_t written = 0;  // last write time in the system's own units, at full resolution
    uint64_t content = 0;  // hashBytes over the whole content

    friend bool operator==(const FileStamp& a, const FileStamp& b)
    {
        return a.exists == b.exists && a.size == b.size && a.written == b.written && a.content == b.content;
    }
    friend bool operator!=(const FileStamp& a, const FileStamp& b) { return !(a == b); }
};

// FNV-1a, 64 bits: cheap, and any changed byte changes it with near
// certainty. Not a defence against someone who crafts a collision; the
// stamp only has to notice honest writers.
const uint64_t kHashStart = 14695981039346656037ull;
inline uint64_t hashBytes(const void* bytes, size_t size, uint64_t hash = kHashStart)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ p[i]) * 1099511628211ull;
    return hash;
}

// The stamp of content already read whole, with its write time.
inline FileStamp stampOfBytes(const void* bytes, size_t size, uint64_t written)
{
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = size;
    stamp.written = written;
    stamp.content = hashBytes(bytes, size);
    return stamp;
}

} // namespace Solvaris
