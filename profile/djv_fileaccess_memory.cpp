// The in-memory file layer (see djv_fileaccess_memory.h). Never part of the
// program: the library's build leaves it out, the fuzz build takes it
// instead of the platform unit.
#include "profile/djv_fileaccess_memory.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "baselib/svr_error.h"
#include "profile/djv_fileaccess.h"

namespace Solvaris {
namespace DjVu {
namespace FileAccess {

namespace {

struct File {
    std::string bytes;
    uint64_t time = 0;
};

struct Store {
    std::mutex lock;
    std::map<std::string, File> files;
    uint64_t clock = 0;
};

Store& store() {
    static Store s;
    return s;
}

std::string key(const String& path) {
    return std::string(path.c_str(), path.length());
}

[[noreturn]] void notFound(const String& path) {
    throw Exception(errOpenFailed, String::format("No such file: %s", path.c_str()), __FILE__, __LINE__, SVR_FUNCSIG);
}

} // namespace

bool fileExists(const String& path) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.files.count(key(path)) != 0;
}

namespace {
// A stored file's bytes into `bytes`, at most maxSize of them; the caller
// holds the store's lock.
void copyOut(const std::string& content, SimpleArray<char>* bytes, uint64_t maxSize) {
    if (content.size() > maxSize)
        SVR_THROW(errTooLarge, "File too large to read");
    bytes->clear();
    bytes->resize(uint32_t(content.size()));
    if (!content.empty())
        std::copy(content.begin(), content.end(), bytes->data());
}
} // namespace

void readWholeFile(const String& path, SimpleArray<char>* bytes, uint64_t maxSize) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.files.find(key(path));
    if (it == s.files.end())
        notFound(path);
    copyOut(it->second.bytes, bytes, maxSize);
}

FileStamp readStamped(const String& path, SimpleArray<char>* bytes) {
    bytes->clear();
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.files.find(key(path));
    if (it == s.files.end())
        return FileStamp();
    copyOut(it->second.bytes, bytes, kMaxReadSize);
    return stampOfBytes(bytes->data(), bytes->count(), it->second.time);
}

FileStamp stampOf(const String& path) {
    SimpleArray<char> bytes;
    return readStamped(path, &bytes);
}

FileStamp stampOfWritten(const String& path, const std::string& content) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.files.find(key(path));
    if (it == s.files.end())
        return FileStamp();
    FileStamp stamp = stampOfBytes(content.data(), content.size(), it->second.time);
    stamp.size = it->second.bytes.size();
    return stamp;
}

// One process, one store: a mutex of its own keeps savers apart.
FileStamp replaceUnderSaveLock(const String& path, const SaveDecision& decide) {
    static std::recursive_mutex savers;
    std::lock_guard<std::recursive_mutex> hold(savers);
    return replaceDecided(path, decide);
}

void replaceFile(const String& path, const char* bytes, uint32_t size) {
    Memory::putFile(path, bytes, size);
}

bool copyFileIfAbsent(const String& from, const String& to) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.files.find(key(from));
    if (it == s.files.end() || s.files.count(key(to)))
        return false;
    File copy = it->second;
    copy.time = ++s.clock;
    s.files[key(to)] = copy;
    return true;
}

String systemReservedDirectory() {
    return String("/memory");
}

String joinPath(const String& folder, const char* name) {
    return folder + String("/") + String(name);
}

namespace Memory {

void putFile(const String& path, const char* bytes, size_t size) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    File& f = s.files[key(path)];
    f.bytes.assign(bytes, size);
    f.time = ++s.clock;
}

bool getFile(const String& path, std::string* bytes) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    auto it = s.files.find(key(path));
    if (it == s.files.end())
        return false;
    *bytes = it->second.bytes;
    return true;
}

void removeAll() {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    s.files.clear();
}

} // namespace Memory

} // namespace FileAccess
} // namespace DjVu
} // namespace Solvaris
