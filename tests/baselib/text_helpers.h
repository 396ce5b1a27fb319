// Small helpers for tests that compare library strings with plain bytes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "baselib/svr_error.h"
#include "baselib/svr_storage.h"

namespace text_helpers {

inline std::string str(const Solvaris::String& s) { return std::string(s.c_str(), s.length()); }

inline Solvaris::String bytes(const std::string& s)
{
    return Solvaris::String(s.data(), static_cast<int32_t>(s.size()));
}

inline bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs f on n threads released together, and waits for all of them.
template <class F>
void onThreads(int n, F f)
{
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

// The library exception f throws: its code (0: none, -1: another kind of
// exception) and message.
struct Thrown {
    int code = 0;
    std::string message;
};
template <class F>
Thrown thrown(F f)
{
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        return {e.code(), str(e.message())};
    } catch (...) {
        return {-1, ""};
    }
    return {};
}

// f throws a library exception with this code whose message line ends with
// tail and a line feed.
template <class F>
::testing::AssertionResult failsWith(F f, int code, const std::string& tail)
{
    const Thrown e = thrown(f);
    if (e.code == code && endsWith(e.message, tail + "\n"))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "code " << e.code << ": " << e.message;
}

// The code alone, found without allocating (for calls under a failing
// allocator).
template <class F>
int codeOf(F f)
{
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        return e.code();
    } catch (...) {
        return -1;
    }
    return 0;
}

// A memory storage holding bytes, positioned at the start.
inline Solvaris::AutoPtr<Solvaris::MemoryStorage> storageWith(const std::string& bytes)
{
    Solvaris::AutoPtr<Solvaris::MemoryStorage> s = Solvaris::MemoryStorage::create();
    s->writeBytes(bytes.data(), uint32_t(bytes.size()));
    s->setPos(0);
    return s;
}

// The whole content of a storage; leaves the position at the end.
inline std::string readAll(Solvaris::Storage* s)
{
    std::string out(size_t(s->getSize()), '\0');
    s->setPos(0);
    if (!out.empty())
        s->readBytes(&out[0], uint32_t(out.size()), true);
    return out;
}

// Sets _PXLL_DEBUG_FILE for this program and the processes it starts; on
// Windows an empty value removes it.
inline void setDebugFile(const char* path) {
#if defined(_WIN32)
    _wputenv_s(L"_PXLL_DEBUG_FILE", std::wstring(path, path + std::strlen(path)).c_str());
#else
    setenv("_PXLL_DEBUG_FILE", path, 1);
#endif
}
inline void clearDebugFile() {
#if defined(_WIN32)
    _wputenv_s(L"_PXLL_DEBUG_FILE", L"");
#else
    unsetenv("_PXLL_DEBUG_FILE");
#endif
}

}  // namespace text_helpers
