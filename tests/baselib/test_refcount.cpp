#include <gtest/gtest.h>

#include <stdexcept>

#include "baselib/alloc_probe.h"
#include "baselib/svr_base.h"
#include "support/test_kit.h"

using Solvaris::AutoPtr;
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
    EXPECT_EQ(head->value, 2);
    EXPECT_EQ(g_destroyed, 1);
    head = head->next;
    EXPECT_EQ(head->value, 3);
    EXPECT_EQ(head->refCount(), 1);
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
