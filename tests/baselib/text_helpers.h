// Small helpers for tests that compare library strings with plain bytes.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

// Runs f, which must throw a library exception, and returns that exception.
template <class F>
Solvaris::Exception thrownBy(F f)
{
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        return e;
    }
    ADD_FAILURE() << "no exception thrown";
    return Solvaris::Exception(Solvaris::errInternalError, "none", "", 0, "");
}

// The code of the library exception f throws; 0 when it throws nothing and
// -1 when it throws anything else.
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

}  // namespace text_helpers
