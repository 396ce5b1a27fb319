// Counted objects, one-time initialisation and the array of the foundation
// library.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "baselib/alloc_probe.h"
#include "baselib/svr_array.h"
#include "baselib/svr_base.h"
#include "baselib/svr_string.h"
#include "support/test_kit.h"

using Solvaris::AutoPtr;
using Solvaris::SimpleArray;
using Solvaris::String;
using testkit::failsWith;
using testkit::onThreads;

namespace {

std::atomic<int> g_destroyed{0};

struct Node : Solvaris::Referable {
    explicit Node(int v) : value(v) {}
    ~Node() override { ++g_destroyed; }
    int value;
    AutoPtr<Node> next;
};

struct LocalNode : Solvaris::ReferableNoTS {
    ~LocalNode() override { ++g_destroyed; }
};

std::vector<std::string> contents(const SimpleArray<String>& a) {
    std::vector<std::string> out;
    for (const String& s : a)
        out.push_back(s.c_str());
    return out;
}
} // namespace

// Counted objects live in the process allocator and go exactly once.
TEST(AutoPtr, CountsAndDestroysOnce) {
    g_destroyed = 0;
    AllocProbe probe;
    {
        AutoPtr<Node> a(new Node(1));
        EXPECT_EQ(a->refCount(), 1);
        AutoPtr<Node> b = a;
        EXPECT_EQ(a->refCount(), 2);
        AutoPtr<Node>& same = b;
        b = same;                    // self-assignment changes nothing
        EXPECT_EQ(a->refCount(), 2);
        b = new Node(2);
        EXPECT_EQ(a->refCount(), 1);
        EXPECT_EQ(g_destroyed, 0);
        b = nullptr;
        EXPECT_EQ(g_destroyed, 1);
        EXPECT_FALSE(b);

        AutoPtr<LocalNode> local(new LocalNode());
        AutoPtr<LocalNode> other = local;
        EXPECT_EQ(local->refCount(), 2);
        local = nullptr;
        EXPECT_EQ(g_destroyed, 1);
    }
    EXPECT_EQ(g_destroyed, 3);
    EXPECT_EQ(probe.allocations, 3);
    EXPECT_EQ(probe.frees, 3);
}

TEST(AutoPtr, AssigningAnObjectOwnedByTheOldOneIsSafe) {
    g_destroyed = 0;
    AutoPtr<Node> head(new Node(1));
    head->next = new Node(2);
    head->next->next = new Node(3);
    // The old head holds the only other reference to its successor.
    head = head->next;
    EXPECT_TRUE(head->value == 2 && g_destroyed == 1);
    head = head->next;
    EXPECT_TRUE(head->value == 3 && head->refCount() == 1);
    head = nullptr;
    EXPECT_EQ(g_destroyed, 3);
}

TEST(Referable, CountingIsAtomicAcrossThreads) {
    g_destroyed = 0;
    AutoPtr<Node> shared(new Node(0));
    onThreads(4, [&] {
        for (int i = 0; i < 50000; ++i) {
            AutoPtr<Node> copy = shared;
            AutoPtr<Node> again(copy);
        }
    });
    EXPECT_EQ(shared->refCount(), 1);
    EXPECT_EQ(g_destroyed, 0);
}

TEST(CallOnce, OneInitialiserWhateverTheRaceAndRetryAfterFailure) {
    Solvaris::OnceFlag flag;
    std::atomic<int> runs{0};
    std::atomic<int> sawReady{0};
    onThreads(8, [&] {
        Solvaris::callOnce(flag, [&] {
            std::this_thread::yield();
            ++runs;
        });
        // Nobody returns before the initialiser has finished.
        if (runs == 1)
            ++sawReady;
    });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(sawReady, 8);

    // A failed initialiser is retried by the next call.
    Solvaris::OnceFlag again;
    int tries = 0;
    EXPECT_THROW(Solvaris::callOnce(again, [&] { ++tries; throw std::runtime_error("no"); }), std::runtime_error);
    Solvaris::callOnce(again, [&] { ++tries; });
    Solvaris::callOnce(again, [&] { ++tries; });
    EXPECT_EQ(tries, 2);
}

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
    ASSERT_EQ(a.count(), 27u);
    EXPECT_EQ(contents(a)[1] + contents(a)[3] + contents(a)[4], "bdb");

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
    const std::string big = "The size of the memory block exceeds 2GB, we could not deal with the request!";
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
