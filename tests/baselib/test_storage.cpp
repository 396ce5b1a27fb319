// Storages under one table: memory, and on Windows disk and disk with
// rollback, for reads at and past the end, moves, duplicates, and random
// operations against a plain model. Then what only memory storages do:
// read-only rules, 32-bit sizes and positions, shared and borrowed arrays;
// the stream copy; the late-binding storage that locates its name once, on
// first use.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "baselib/svr_broker.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_syncobjs.h"
#include "support/test_kit.h"

using namespace Solvaris;
using testkit::codeOf;
using testkit::failsWith;
using testkit::readAll;
using testkit::storageWith;
using testkit::str;

namespace {

// A kind of storage: makes one holding `bytes`, positioned at the start.
struct Kind {
    const char* name;
    std::function<AutoPtr<Storage>(const std::string& bytes)> make;
    int readCode;    // a read that must read all but cannot
    bool eofAtEnd;   // the end shows at the end (else from a read that got nothing until a read or a move)
    int duplicateCode;   // 0: duplicates work on the same bytes (disk) or a copy (memory)
};

std::vector<Kind> kinds() {
    std::vector<Kind> all = {
        {"memory", [](const std::string& b) { return AutoPtr<Storage>(storageWith(b)); }, 26, true, 0},
    };
#if defined(_WIN32)
    static testkit::ScratchFolder dir("storages");
    static int files = 0;
    auto file = [](const std::string& b) {
        const std::string name = std::to_string(++files);
        EXPECT_TRUE(testkit::writeFile(dir / name, b));
        return dir.lib(name);
    };
    all.push_back({"disk", [=](const std::string& b) {
                       return AutoPtr<Storage>(DiskStorage::create(file(b), accessReadWrite, openExisting).get());
                   }, 16, false, 0});
    all.push_back({"rollback", [=](const std::string& b) {
                       return AutoPtr<Storage>(
                           DiskStorageWithRollback::create(file(b), accessReadWrite, openExisting).get());
                   }, 16, false, 4});
#endif
    return all;
}

} // namespace

TEST(Storage, ReadsAtAndPastTheEnd) {
    // got -1: the read fails and leaves the position.
    struct Case { uint64_t pos; uint32_t count; bool mustReadAll; int got; } cases[] = {
        {0, 4, true, 4}, {0, 10, false, 4}, {0, 10, true, -1}, {4, 1, true, -1},
        {4, 1, false, 0}, {1000, 1, false, 0}, {3, 0, true, 0},
    };
    for (const Kind& k : kinds())
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << k.name << " " << c.pos << "+" << c.count);
            AutoPtr<Storage> s = k.make("abcd");
            s->setPos(c.pos);
            char buf[16] = {};
            if (c.got < 0) {
                EXPECT_EQ(codeOf([&] { s->readBytes(buf, c.count, c.mustReadAll); }), k.readCode);
                EXPECT_EQ(s->getPos(), c.pos);
                continue;
            }
            EXPECT_EQ(s->readBytes(buf, c.count, c.mustReadAll), uint32_t(c.got));
            EXPECT_EQ(s->getPos(), c.pos + c.got);
            EXPECT_EQ(s->isEof(), k.eofAtEnd ? c.pos + c.got >= 4 : c.got == 0 && c.count > 0);
        }
}

// Moves end the end state and stay in range; duplicates keep the position.
TEST(Storage, MovesAndDuplicates) {
    const std::function<void(Storage*)> moves[] = {
        [](Storage* s) { s->setPos(0); }, [](Storage* s) { s->setPosRelative(-1); }, [](Storage* s) { s->setPosFromEnd(0); }};
    for (const Kind& k : kinds()) {
        SCOPED_TRACE(k.name);
        AutoPtr<Storage> s = k.make("abcd");
        char buf[8];
        for (const auto& move : moves) {
            s->setPos(4);
            EXPECT_EQ(s->readBytes(buf, 8), 0u);
            EXPECT_TRUE(s->isEof());
            move(s.get());
            EXPECT_EQ(s->isEof(), k.eofAtEnd && s->getPos() == 4);
        }
        s->setPos(1);
        EXPECT_EQ(codeOf([&] { s->setPosRelative(-2); }), 7);
        EXPECT_EQ(codeOf([&] { s->setPosFromEnd(-5); }), 7);
        EXPECT_EQ(s->getPos(), 1u);
        if (k.duplicateCode) {
            EXPECT_EQ(codeOf([&] { s->duplicate(); }), k.duplicateCode);
        } else {
            // A memory storage is copied at once; a disk storage's duplicate
            // writes into the same file.
            AutoPtr<Storage> d = s->duplicate();
            EXPECT_EQ(d->getPos(), 1u);
            d->writeBytes("Z", 1);
            EXPECT_EQ(s->getPos(), 1u);
            EXPECT_EQ(readAll(s.get()), k.eofAtEnd ? "abcd" : "aZcd");
            EXPECT_EQ(readAll(d.get()), "aZcd");
        }
        s->setPosFromEnd(-1);
        EXPECT_EQ(s->getPos(), 3u);
        // Disk positions go on past 4 GiB (memory ones stop there: below).
        if (!k.eofAtEnd) {
            s->setPos(uint64_t(5) << 32);
            EXPECT_EQ(s->readBytes(buf, 3), 0u);
        }
    }
}

// Random reads, writes, jumps (also past the end: gaps read as zeros), cuts
// and positioned reads, on a duplicate of a disk storage too, checked against
// a plain model: catches a file pointer that falls out of step with the
// storage's position, and a working copy that loses bytes (it is made with
// 64 KiB block reads, after a read to the end here).
TEST(Storage, MixedOperationsMatchAModel) {
    std::string model(100000, '\0');
    for (size_t i = 0; i < model.size(); ++i)
        model[i] = char('a' + i % 26);
    const std::string start = model;
    for (const Kind& k : kinds()) {
        SCOPED_TRACE(k.name);
        AutoPtr<Storage> s = k.make(start), dup;
        BlockReadStorage* block = dynamic_cast<BlockReadStorage*>(s.get());
        model = start;
        char chunk[4096];
        while (s->readBytes(chunk, sizeof chunk) != 0) {
        }
        s->setPos(0);
        uint64_t pos[2] = {0, 0};  // the model's positions of s and of dup
        unsigned seed = 7;
        auto next = [&seed](unsigned n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        for (int step = 0; step < 3000; ++step) {
            SCOPED_TRACE(step);
            if (step == 1000 && !k.eofAtEnd && !k.duplicateCode)  // a disk storage's duplicate shares the file
                dup = s->duplicate(), pos[1] = pos[0];
            bool onDup = dup && next(2);
            Storage* t = onDup ? dup.get() : s.get();
            uint64_t& p = pos[onDup ? 1 : 0];
            switch (next(5)) {
            case 0: {  // write
                std::string bytes(next(40) + 1, char('a' + step % 26));
                t->writeBytes(bytes.data(), uint32_t(bytes.size()));
                if (model.size() < p + bytes.size())
                    model.resize(size_t(p + bytes.size()), '\0');
                model.replace(size_t(p), bytes.size(), bytes);
                p += bytes.size();
                break;
            }
            case 1: {  // read
                char buf[64];
                uint32_t got = t->readBytes(buf, next(60) + 1);
                ASSERT_EQ(std::string(buf, got), p < model.size() ? model.substr(size_t(p), got) : "");
                ASSERT_EQ(got == 0, p >= model.size());
                ASSERT_EQ(t->isEof(), got == 0 || (k.eofAtEnd && p + got >= model.size()));
                p += got;
                break;
            }
            case 2:  // jump
                p = next(uint32_t(model.size()) + 20);
                t->setPos(p);
                break;
            case 3:  // positioned read
                if (block) {
                    char buf[32];
                    uint64_t at = next(uint32_t(model.size()) + 10);
                    uint32_t got = block->readBytes(buf, at, 20, false);
                    ASSERT_EQ(std::string(buf, got), at < model.size() ? model.substr(size_t(at), 20) : "");
                }
                break;
            case 4:  // cut, now and then
                if (next(8) == 0 && !onDup) {
                    t->setEof();
                    model.resize(size_t(p), '\0');
                }
                break;
            }
            ASSERT_EQ(t->getPos(), p);
            ASSERT_EQ(s->getSize(), model.size());
        }
        EXPECT_EQ(readAll(s.get()), model);
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
        EXPECT_EQ(codeOf(move), c.expected < 0 ? 7 : 0);
        EXPECT_EQ(s->getPos(), c.expected < 0 ? 2u : uint64_t(c.expected));
    }
}

// A read-only storage is shared; the duplicate keeps it alive, is writable,
// and copies the bytes before its first change.
TEST(MemoryStorage, ReadOnlyArraysAreSharedUntilChanged) {
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
    // Positioned reads that must read all: up to the end, and past it.
    BlockReadStorage& block = dynamic_cast<BlockReadStorage&>(*s);
    char two[2];
    EXPECT_EQ(block.readBytes(two, 5, 2, true), 2u);
    EXPECT_EQ(std::string(two, 2), "!?");
    EXPECT_EQ(codeOf([&] { block.readBytes(two, 6, 2, true); }), 26);
}

TEST(MemoryStorage, NamesAreDistinct) {
    EXPECT_NE(MemoryStorage::create()->getName(), MemoryStorage::create()->getName());
}

TEST(StreamCopy, CopiesInBlocksAndReportsProgress) {
    using Calls = std::vector<std::pair<uint64_t, uint64_t>>;
    auto record = [](void* calls, uint64_t done, uint64_t total) { static_cast<Calls*>(calls)->emplace_back(done, total); };
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
        Calls calls;
        uint64_t n = c.count ? dst->writeFrom(src.get(), c.count, c.block, record, &calls)
                             : dst->writeAllFrom(src.get(), c.block, record, &calls);
        EXPECT_EQ(n, c.copied);
        EXPECT_EQ(readAll(dst.get()), data.substr(0, size_t(c.copied)));
        ASSERT_EQ(calls.size(), c.calls);
        EXPECT_EQ(calls.front(), std::make_pair(uint64_t(0), c.count));
        EXPECT_EQ(calls.back(), std::make_pair(c.copied, c.count));
    }
}

namespace {

// A broker that hands out memory storages and counts how often it was asked.
class CountingBroker : public ResourceBroker {
public:
    AutoPtr<Storage> locateFile(const String& name) override {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (name == "missing")
            SVR_THROW(errNotFound, "not here");
        return AutoPtr<Storage>(testkit::storageWith(str(name)));
    }
    std::atomic<int> calls{0};
};

} // namespace

TEST(LateBindingStorage, LocatesOnceOnFirstUseAndIsReadOnly) {
    AutoPtr<CountingBroker> broker(new CountingBroker);
    AutoPtr<Storage> s(new _Svr_Internal_NS_::LateBindingStorage("payload", AutoPtr<ResourceBroker>(broker)));
    EXPECT_EQ(str(s->getName()), "payload");
    AutoPtr<Storage> dup = s->duplicate();
    EXPECT_EQ(broker->calls.load(), 0);

    std::atomic<int> sizes{0};
    testkit::onThreads(6, [&] { sizes += int(s->getSize()); });
    EXPECT_EQ(broker->calls.load(), 1);
    EXPECT_EQ(sizes.load(), 6 * 7);
    {
        // A caller that holds the storage's (recursive) mutex may use it.
        LockGuard held(*s);
        EXPECT_EQ(s->getSize(), 7u);
    }

    char buf[8] = {};
    EXPECT_EQ(s->readBytes(buf, 7, true), 7u);
    EXPECT_EQ(std::string(buf), "payload");
    EXPECT_TRUE(s->isEof());
    EXPECT_TRUE(failsWith([&] { s->writeBytes("x", 1); }, 28, "writeBytes is not supported."));
    EXPECT_TRUE(failsWith([&] { s->setEof(); }, 28, "setEof is not supported."));

    // The duplicate locates on its own.
    EXPECT_EQ(dup->getSize(), 7u);
    EXPECT_EQ(broker->calls.load(), 2);

    // A failed location is reported at use and tried again at the next.
    AutoPtr<Storage> missing(new _Svr_Internal_NS_::LateBindingStorage("missing", AutoPtr<ResourceBroker>(broker)));
    EXPECT_EQ(codeOf([&] { missing->getSize(); }), 12);
    EXPECT_EQ(codeOf([&] { missing->getSize(); }), 12);
    EXPECT_EQ(broker->calls.load(), 4);
}
