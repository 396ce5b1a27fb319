// Helpers that tests of every folder share, portable (no Windows calls): a
// scratch folder removed at the end, whole-file reads and writes, library
// strings as bytes, the library exception a call throws, environment
// variables for a scope, threads started together, memory storages.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_storage.h"

namespace testkit {

namespace fs = std::filesystem;

inline std::string str(const Solvaris::String& s) { return std::string(s.c_str(), s.length()); }
inline Solvaris::String S(const std::string& s) { return Solvaris::String(s.data(), int32_t(s.size())); }

inline bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a text file, without their "\r\n" or "\n".
inline std::vector<std::string> readLines(const fs::path& p) {
    std::istringstream in(readFile(p));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line); lines.push_back(line))
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

inline bool writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    return bool(out << bytes);
}

// 32-bit values in little-endian byte order, as the pipe records, page
// images and the system's settings blobs carry them.
inline std::vector<uint8_t> le32(const std::vector<uint32_t>& values) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    return bytes;
}

// A fresh folder "pvtest-<name>" below the current one (so that relative
// paths reach it), removed with its content (hidden files too).
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) : m_path(fs::current_path() / ("pvtest-" + name)) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return m_path; }
    fs::path operator/(const fs::path& name) const { return m_path / name; }
    // The path of `name` inside as a library string (UTF-8).
    Solvaris::String lib(const fs::path& name) const { return S((m_path / name).u8string()); }
    // The path of `name` inside as UTF-8 bytes, as the library names it.
    std::string u8(const fs::path& name) const { return (m_path / name).u8string(); }
    // The same as a wide string, as the Windows calls take it.
    std::wstring wide(const fs::path& name) const { return (m_path / name).wstring(); }
    // The names of the files inside (not of folders).
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& e : fs::directory_iterator(m_path))
            if (!e.is_directory())
                names.push_back(e.path().filename().u8string());
        return names;
    }

private:
    fs::path m_path;
};

// Sets an environment variable of this process, and so of the processes it
// starts (UTF-8 name and value). On Windows an empty value removes it, as
// the C run-time there holds no empty variables.
inline void setEnv(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _wputenv_s(fs::u8path(name).c_str(), fs::u8path(value).c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}
inline void unsetEnv(const std::string& name) {
#if defined(_WIN32)
    setEnv(name, "");
#else
    unsetenv(name.c_str());
#endif
}

// The variable set for the life of the object, removed at its end.
class EnvScope {
public:
    EnvScope(std::string name, const std::string& value) : m_name(std::move(name)) { setEnv(m_name, value); }
    ~EnvScope() { unsetEnv(m_name); }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    std::string m_name;
};

// The library exception f throws: its code (0: none, -1: another kind of
// exception) and message.
struct Thrown {
    int code = 0;
    std::string message;
};
template <class F>
Thrown thrown(F f) {
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        return {e.code(), str(e.message())};
    } catch (...) {
        return {-1, ""};
    }
    return {};
}

// The code alone, found without allocating (for calls under a failing
// allocator).
template <class F>
int codeOf(F f) {
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        return e.code();
    } catch (...) {
        return -1;
    }
    return 0;
}

// f throws a library exception with this code whose message line ends with
// tail and a line feed.
template <class F>
::testing::AssertionResult failsWith(F f, int code, const std::string& tail) {
    const Thrown t = thrown(f);
    if (t.code == code && endsWith(t.message, tail + "\n"))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "code " << t.code << ": " << t.message;
}

// Runs f on n threads released together, and waits for all of them.
template <class F>
void onThreads(int n, F f) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t)
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            f();
        });
    go = true;
    for (auto& t : threads)
        t.join();
}

// A memory storage holding bytes, positioned at the start.
inline Solvaris::AutoPtr<Solvaris::MemoryStorage> storageWith(const std::string& bytes) {
    Solvaris::AutoPtr<Solvaris::MemoryStorage> s = Solvaris::MemoryStorage::create();
    s->writeBytes(bytes.data(), uint32_t(bytes.size()));
    s->setPos(0);
    return s;
}

// The whole content of a storage; leaves the position at the end.
inline std::string readAll(Solvaris::Storage* s) {
    std::string out(size_t(s->getSize()), '\0');
    s->setPos(0);
    if (!out.empty())
        s->readBytes(&out[0], uint32_t(out.size()), true);
    return out;
}

} // namespace testkit
