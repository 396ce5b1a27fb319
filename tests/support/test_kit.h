// Helpers that tests of every folder share, portable (no Windows calls): a
// scratch folder removed at the end, whole-file reads and writes, library
// strings as bytes, and the library exception a call throws.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "baselib/svr_error.h"

namespace testkit {

namespace fs = std::filesystem;

inline std::string str(const Solvaris::String& s) { return std::string(s.c_str(), s.length()); }
inline Solvaris::String S(const std::string& s) { return Solvaris::String(s.data(), int32_t(s.size())); }

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    return bool(out << bytes);
}

// A fresh folder "pvtest-<name>" below the current one (so that relative
// paths reach it), removed with its content.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) : path_(fs::current_path() / ("pvtest-" + name)) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // The path of `name` inside as a library string (UTF-8).
    Solvaris::String lib(const std::string& name) const { return S((path_ / name).u8string()); }

private:
    fs::path path_;
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

inline bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
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

} // namespace testkit
