#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "baselib/alloc_probe.h"
#include "baselib/svr_array.h"
#include "baselib/svr_string.h"
#include "support/test_kit.h"

using Solvaris::SimpleArray;
using Solvaris::String;
using testkit::failsWith;

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
    const std::string range = ": Error 7: The range to remove is out of the array!";
    const std::string big = ": Error 26: SimpleArray: The size of the memory block exceeds 2GB, we could not deal "
                            "with the request!";
    EXPECT_TRUE(failsWith([&] { a.remove(2, 2); }, 7, range)) << "past the end";
    EXPECT_TRUE(failsWith([&] { a.remove(1, 0xFFFFFFFFu); }, 7, range)) << "wrapping";
    EXPECT_TRUE(failsWith([&] { a.remove(4, 0); }, 7, range)) << "from beyond";
    EXPECT_TRUE(failsWith([&] { a.insert(4, 1u); }, 7, ": Error 7: inPos out of the array!"));
    EXPECT_TRUE(failsWith([&] { a.reserve(0x20000000u); }, 26, big)) << "2 GB";
    EXPECT_TRUE(failsWith([&] { SimpleArray<uint64_t> b; b.reserve(0xFFFFFFFFu); }, 26, big)) << "wrapping";
    EXPECT_EQ(a.count(), 3u);   // failed calls change nothing

    // The array's block is refused; the exception's own small blocks are not.
    AllocProbe probe;
    probe.failAbove = 399;
    EXPECT_TRUE(failsWith([&] { a.reserve(100); }, 1, ": Error 1: SimpleArray: Out of memory!"));
    EXPECT_EQ(a.count(), 3u);
}
