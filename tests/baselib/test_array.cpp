#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "baselib/alloc_probe.h"
#include "baselib/svr_array.h"
#include "baselib/svr_string.h"
#include "text_helpers.h"

using Solvaris::SimpleArray;
using Solvaris::String;
using text_helpers::thrownBy;

namespace {

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
    struct Case { const char* what; Solvaris::Exception got; int code; const char* text; } cases[] = {
        {"remove past end", thrownBy([&] { a.remove(2, 2); }), 7, range},
        {"remove wrapping", thrownBy([&] { a.remove(1, 0xFFFFFFFFu); }), 7, range},
        {"remove from beyond", thrownBy([&] { a.remove(4, 0); }), 7, range},
        {"insert beyond", thrownBy([&] { a.insert(4, 1u); }), 7, "inPos out of the array!"},
        {"2 GB block", thrownBy([&] { a.reserve(0x20000000u); }), 26, big},
        {"wrapping block", thrownBy([&] { SimpleArray<uint64_t> b; b.reserve(0xFFFFFFFFu); }), 26, big},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.code(), c.code) << c.what;
        std::string tail = ": Error " + std::to_string(c.code) + ": " + c.text + "\n";
        EXPECT_TRUE(text_helpers::endsWith(text_helpers::str(c.got.message()), tail)) << c.what;
    }
    EXPECT_EQ(a.count(), 3u);   // failed calls change nothing

    // The array's block is refused; the exception's own small blocks are not.
    AllocProbe probe;
    probe.failAbove = 399;
    Solvaris::Exception oom = thrownBy([&] { a.reserve(100); });
    EXPECT_EQ(oom.code(), 1);
    EXPECT_TRUE(text_helpers::endsWith(text_helpers::str(oom.message()), ": Error 1: SimpleArray: Out of memory!\n"));
    EXPECT_EQ(a.count(), 3u);
}
