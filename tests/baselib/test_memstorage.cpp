// Memory storage: reads at and past the end, read-only rules, growth,
// positions, shared and private arrays; the stream copy; the mutex.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "baselib/svr_storage.h"
#include "baselib/svr_syncobjs.h"
#include "text_helpers.h"

using namespace Solvaris;
using text_helpers::codeOf;
using text_helpers::failsWith;
using text_helpers::readAll;
using text_helpers::storageWith;
using text_helpers::str;

TEST(MemoryStorage, ReadsAtAndPastTheEnd) {
    // code: the exception expected (0: none), text: its message's end.
    struct Case { uint64_t pos; uint32_t count; bool mustReadAll; int code; const char* text; uint32_t got; } cases[] = {
        {0, 4, true, 0, "", 4},
        {0, 10, false, 0, "", 4},
        {0, 10, true, 26, "No more data!", 0},
        {4, 1, true, 26, "Current position exceeds the storage end!", 0},
        {4, 1, false, 0, "", 0},
        {1000, 1, false, 0, "", 0},   // beyond the end is allowed, reads nothing
        {3, 0, true, 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos * 100 + c.count);
        AutoPtr<MemoryStorage> s = storageWith("abcd");
        s->setPos(c.pos);
        char buf[16] = {};
        if (c.code) {
            EXPECT_TRUE(failsWith([&] { s->readBytes(buf, c.count, c.mustReadAll); }, c.code, c.text));
            EXPECT_EQ(s->getPos(), c.pos);
        } else {
            EXPECT_EQ(s->readBytes(buf, c.count, c.mustReadAll), c.got);
            EXPECT_EQ(s->getPos(), c.pos + c.got);
            EXPECT_EQ(s->isEof(), c.pos + c.got >= 4);
        }
    }
}

TEST(MemoryStorage, ReadOnlyRefusesEveryChange) {
    AutoPtr<MemoryStorage> s = storageWith("abcd");
    s->setReadOnly(true);
    EXPECT_TRUE(failsWith([&] { s->writeBytes("x", 1); }, 17, "The instance is read-only!"));
    EXPECT_EQ(codeOf([&] { s->setEof(); }), 26);
    EXPECT_EQ(codeOf([&] { s->reserve(100); }), 26);
    EXPECT_EQ(codeOf([&] { s->getArray(); }), 26);
    EXPECT_EQ(codeOf([&] { s->setAllocationUnit(64); }), 26);
    EXPECT_EQ(readAll(s.get()), "abcd");
    s->setReadOnly(false);
    s->setPos(4);
    s->writeBytes("e", 1);
    EXPECT_EQ(readAll(s.get()), "abcde");
}

TEST(MemoryStorage, GapsAreFilledWithZeros) {
    AutoPtr<MemoryStorage> s = MemoryStorage::create();
    s->setPos(6);
    s->writeBytes("xy", 2);
    EXPECT_EQ(readAll(s.get()), std::string("\0\0\0\0\0\0xy", 8));
}

TEST(MemoryStorage, SizesBeyondTwoGigabytesAreRefusedNotWrapped) {
    AutoPtr<MemoryStorage> s = storageWith("abc");
    // Positions are 32-bit: a write near 4 GiB must not wrap round to a
    // small size and copy past the block.
    s->setPos(0xfffffff0u);
    EXPECT_EQ(codeOf([&] { s->writeBytes("0123456789abcdefXYZ", 19); }), 1);
    s->setPos(0x80000000u);
    EXPECT_EQ(codeOf([&] { s->setEof(); }), 1);
    EXPECT_EQ(codeOf([&] { s->reserve(uint64_t(1) << 33); }), 1);
    EXPECT_EQ(s->getSize(), 3u);
    EXPECT_EQ(readAll(s.get()), "abc");
}

TEST(MemoryStorage, PositionArithmeticStaysIn32Bits) {
    // kind 0: setPos, 1: relative (from 2), 2: from the end (size 4); expected -1: errInvalidParam.
    struct Case { int kind; int64_t value, expected; } cases[] = {
        {0, 0xffffffffll, 0xffffffffll}, {0, 0x100000000ll, -1},
        {1, -2, 0}, {1, -3, -1}, {1, 0xfffffffdll, 0xffffffffll}, {1, 0xfffffffell, -1},
        {1, INT64_MAX, -1}, {1, INT64_MIN, -1},
        {2, 0, 4}, {2, -4, 0}, {2, -5, -1}, {2, 10, 14}, {2, INT64_MIN, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.value);
        AutoPtr<MemoryStorage> s = storageWith("abcd");
        s->setPos(2);
        auto move = [&] {
            if (c.kind == 0)
                s->setPos(uint64_t(c.value));
            else if (c.kind == 1)
                s->setPosRelative(c.value);
            else
                s->setPosFromEnd(c.value);
        };
        if (c.expected < 0) {
            EXPECT_EQ(codeOf(move), 7);
            EXPECT_EQ(s->getPos(), 2u);
        } else {
            move();
            EXPECT_EQ(s->getPos(), uint64_t(c.expected));
        }
    }
}

TEST(MemoryStorage, DuplicatesAreIndependent) {
    // A writable storage is copied at once.
    AutoPtr<MemoryStorage> w = storageWith("abcd");
    w->setPos(1);
    AutoPtr<Storage> wd = w->duplicate();
    EXPECT_EQ(wd->getPos(), 1u);
    wd->writeBytes("Z", 1);
    EXPECT_EQ(readAll(w.get()), "abcd");
    EXPECT_EQ(readAll(wd.get()), "aZcd");

    // A read-only storage is shared; the duplicate keeps it alive, is
    // writable, and copies the bytes before its first change.
    AutoPtr<MemoryStorage> r = storageWith("wxyz");
    r->setReadOnly(true);
    r->setPos(3);
    AutoPtr<MemoryStorage> rd(static_cast<MemoryStorage*>(r->duplicate().get()));
    AutoPtr<MemoryStorage> other(static_cast<MemoryStorage*>(r->duplicate().get()));
    r = nullptr;  // the duplicates keep it alive (the sanitizer build checks)
    EXPECT_FALSE(rd->ownsArray());
    EXPECT_EQ(rd->getPos(), 3u);
    EXPECT_EQ(readAll(rd.get()), "wxyz");
    rd->setPos(0);
    rd->writeBytes("W", 1);
    EXPECT_TRUE(rd->ownsArray());
    EXPECT_EQ(readAll(rd.get()), "Wxyz");
    EXPECT_EQ(readAll(other.get()), "wxyz");
}

TEST(MemoryStorage, BorrowedArraysAreWrittenInPlaceUntilMadePrivate) {
    SimpleArray<uint8_t> bytes;
    bytes.append(reinterpret_cast<const uint8_t*>("hello"), 5);
    AutoPtr<MemoryStorage> s = MemoryStorage::create(bytes);
    EXPECT_FALSE(s->ownsArray());
    s->setPos(5);
    s->writeBytes("!", 1);
    EXPECT_EQ(bytes.count(), 6u);
    s->makeArrayPrivate();
    EXPECT_TRUE(s->ownsArray());
    s->writeBytes("?", 1);
    EXPECT_EQ(bytes.count(), 6u);
    EXPECT_EQ(readAll(s.get()), "hello!?");

    BlockReadStorage* block = dynamic_cast<BlockReadStorage*>(s.get());
    ASSERT_NE(block, nullptr);
    char two[2];
    s->setPos(1);
    EXPECT_EQ(block->readBytes(two, 5, 2, true), 2u);
    EXPECT_EQ(std::string(two, 2), "!?");
    EXPECT_EQ(s->getPos(), 1u);
    EXPECT_EQ(codeOf([&] { block->readBytes(two, 6, 2, true); }), 26);
}

TEST(MemoryStorage, NamesAreDistinct) {
    std::string name = str(MemoryStorage::create()->getName());
    EXPECT_EQ(name.find_first_not_of("0123456789ABCDEF", 14), name.size() - 1) << name;
    EXPECT_EQ(name.rfind("MemoryStorage ", 0), 0u);
    EXPECT_EQ(name.back(), 'h');
    EXPECT_NE(MemoryStorage::create()->getName(), MemoryStorage::create()->getName());
}

namespace {
struct ProgressLog {
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    static void record(void* context, uint64_t done, uint64_t total) {
        static_cast<ProgressLog*>(context)->calls.emplace_back(done, total);
    }
};
} // namespace

TEST(StreamCopy, CopiesInBlocksAndReportsProgress) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    // count 0: the whole source.
    struct Case { uint64_t count; uint32_t block; uint64_t copied; size_t calls; } cases[] = {
        {0, 300, 1000, 5},      // 0, 300, 600, 900, 1000
        {0, 10, 1000, 9},       // block raised to 128: 7 blocks of 128, 1 of 104
        {450, 300, 450, 3},     // 0, 300, 450
        {5000, 4096, 1000, 2},  // the source ends first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count * 10000 + c.block);
        AutoPtr<MemoryStorage> src = storageWith(data);
        AutoPtr<MemoryStorage> dst = MemoryStorage::create();
        ProgressLog log;
        uint64_t n = c.count ? dst->writeFrom(src.get(), c.count, c.block, &ProgressLog::record, &log)
                             : dst->writeAllFrom(src.get(), c.block, &ProgressLog::record, &log);
        EXPECT_EQ(n, c.copied);
        EXPECT_EQ(readAll(dst.get()), data.substr(0, size_t(c.copied)));
        ASSERT_EQ(log.calls.size(), c.calls);
        EXPECT_EQ(log.calls.front(), std::make_pair(uint64_t(0), c.count));
        EXPECT_EQ(log.calls.back(), std::make_pair(c.copied, c.count));
    }
}

TEST(SyncObjects, MutexIsRecursiveAndExcludesOtherThreads) {
    Mutex m;
    m.lock();
    m.lock();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        m.lock();
        entered = true;
        m.unlock();
    });
    m.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());
    m.unlock();
    other.join();
    EXPECT_TRUE(entered.load());
}
