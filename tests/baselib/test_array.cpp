#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "baselib/alloc_probe.h"
#include "baselib/svr_array.h"
#include "baselib/svr_string.h"

using Solvaris::SimpleArray;
using Solvaris::String;

namespace {

struct Failure {
    int code;
    std::string text;
};

template <class F>
Failure failureOf(F f) {
    try {
        f();
    } catch (const Solvaris::Exception& e) {
        std::string m(e.message().c_str());
        size_t at = m.find(": Error ");
        at = m.find(": ", at + 1);
        return {e.code(), m.substr(at + 2)};
    }
    return {0, ""};
}

std::vector<std::string> contents(const SimpleArray<String>& a) {
    std::vector<std::string> out;
    for (const String& s : a)
        out.push_back(s.c_str());
    return out;
}

} // namespace

TEST(SimpleArray, InsertRemoveKeepOrderAndValues) {
    SimpleArray<String> a;
    a.append(String("b"));
    a.insert(0, String("a"));
    a.insert(2, String("d"));
    a.insert(2, String("c"));
    EXPECT_EQ(contents(a), (std::vector<std::string>{"a", "b", "c", "d"}));

    // Items taken from the array itself survive its growth.
    for (int i = 0; i < 20; ++i)
        a.append(a[0]);
    a.insert(1, a.data() + 1, 3);
    EXPECT_EQ(a.count(), 27u);
    EXPECT_EQ(contents(a)[1], "b");
    EXPECT_EQ(contents(a)[3], "d");
    EXPECT_EQ(contents(a)[4], "b");

    a.remove(4, 23);
    a.remove(0);
    EXPECT_EQ(contents(a), (std::vector<std::string>{"b", "c", "d"}));

    SimpleArray<String> copy(a);
    a.clear();
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(contents(copy), (std::vector<std::string>{"b", "c", "d"}));

    SimpleArray<uint32_t> n;
    n.resize(5);
    EXPECT_EQ(n[4], 0u);
    n.resize(2);
    EXPECT_EQ(n.count(), 2u);
}

TEST(SimpleArray, FailuresCarryTheirCodesAndTexts) {
    SimpleArray<uint32_t> a;
    a.resize(3);
    const char* range = "The range to remove is out of the array!";
    const char* big = "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!";
    struct Case { const char* what; Failure got; int code; const char* text; } cases[] = {
        {"remove past end", failureOf([&] { a.remove(2, 2); }), 7, range},
        {"remove wrapping", failureOf([&] { a.remove(1, 0xFFFFFFFFu); }), 7, range},
        {"remove from beyond", failureOf([&] { a.remove(4, 0); }), 7, range},
        {"insert beyond", failureOf([&] { a.insert(4, 1u); }), 7, "inPos out of the array!"},
        {"2 GB block", failureOf([&] { a.reserve(0x20000000u); }), 26, big},
        {"wrapping block", failureOf([&] { SimpleArray<uint64_t> b; b.reserve(0xFFFFFFFFu); }), 26, big},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.code, c.code) << c.what;
        EXPECT_EQ(c.got.text, std::string(c.text) + "\n") << c.what;
    }
    EXPECT_EQ(a.count(), 3u);   // failed calls change nothing

    // The array's block is refused; the exception's own small blocks are not.
    AllocProbe probe;
    probe.failAbove = 399;
    Failure oom = failureOf([&] { a.reserve(100); });
    EXPECT_EQ(oom.code, 1);
    EXPECT_EQ(oom.text, "SimpleArray: Out of memory!\n");
    EXPECT_EQ(a.count(), 3u);
}

TEST(SimpleArray, StorageComesFromTheProcessAllocator) {
    AllocProbe probe;
    {
        SimpleArray<uint32_t> a;
        for (uint32_t i = 0; i < 1000; ++i)
            a.append(i);
        EXPECT_EQ(a[999], 999u);
        EXPECT_GE(a.capacity(), 1000u);
    }
    // Doubling from 8 items: a handful of blocks, all returned.
    EXPECT_GE(probe.allocations, 5);
    EXPECT_LE(probe.allocations, 10);
    EXPECT_EQ(probe.frees, probe.allocations);
}
