// Disk storages: reads at and past the end, positioned reads, positions
// beyond the end, sharing, duplicates, byte-range locks, temporary files.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "baselib/storage_folder_win.h"
#include "baselib/svr_storage.h"
#include "text_helpers.h"

using namespace Solvaris;
using text_helpers::codeOf;
using text_helpers::str;
using text_helpers::thrownBy;

namespace {

std::string readAll(Storage* s) {
    std::string out(size_t(s->getSize()), '\0');
    s->setPos(0);
    if (!out.empty())
        s->readBytes(&out[0], uint32_t(out.size()), true);
    return out;
}

} // namespace

TEST(DiskStorage, ReadsAtAndPastTheEnd) {
    ScratchFolder dir(L"disk-read");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"four"), "abcd"));
    AutoPtr<DiskStorage> s = DiskStorage::create(dir.at(L"four"), accessRead, creationDefault);
    char buf[16] = {};
    Exception e = thrownBy([&] { s->readBytes(buf, 10, true); });
    EXPECT_EQ(e.code(), 16);
    EXPECT_TRUE(text_helpers::endsWith(str(e.message()), "Could not read the bytes specified!\n"));

    s->setPos(0);
    EXPECT_EQ(s->readBytes(buf, 10), 4u);
    EXPECT_FALSE(s->isEof());  // the end shows only after a read that got nothing
    EXPECT_EQ(s->readBytes(buf, 10), 0u);
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(s->getPos(), 4u);

    // Far beyond the end, also past 4 GiB: nothing to read, no error.
    s->setPos(uint64_t(5) << 32);
    EXPECT_EQ(s->readBytes(buf, 3), 0u);
    EXPECT_EQ(codeOf([&] { s->readBytes(buf, 3, true); }), 16);

    // Positioned reads leave the position alone.
    BlockReadStorage* block = dynamic_cast<BlockReadStorage*>(s.get());
    ASSERT_NE(block, nullptr);
    s->setPos(1);
    EXPECT_EQ(block->readBytes(buf, 2, 5, false), 2u);
    EXPECT_EQ(std::string(buf, 2), "cd");
    EXPECT_EQ(s->getPos(), 1u);
    EXPECT_EQ(codeOf([&] { s->setPosRelative(-2); }), 7);
    s->setPosFromEnd(-1);
    EXPECT_EQ(s->getPos(), 3u);
    EXPECT_EQ(codeOf([&] { s->setPosFromEnd(-5); }), 7);
}

TEST(DiskStorage, WritesExtendCutAndShareAsDeclared) {
    ScratchFolder dir(L"disk-write");
    String path = dir.at(L"w.bin");
    AutoPtr<DiskStorage> w = DiskStorage::create(path, accessReadWrite, creationDefault);
    w->setPos(3);
    w->writeBytes("xy", 2);
    EXPECT_EQ(readAll(w.get()), std::string("\0\0\0xy", 5));
    w->setPos(2);
    w->setEof();
    EXPECT_EQ(w->getSize(), 2u);
    w->setPos(6);
    w->setEof();
    EXPECT_EQ(w->getSize(), 6u);
    w->flushBuffer();
    EXPECT_EQ(str(w->getName()), str(path));
    uint64_t now = uint64_t(time(nullptr));
    EXPECT_LE(w->getLastModified(), now + 2);
    EXPECT_GE(w->getLastModified() + 60, now);

    // A writer holds the file alone; readers share it with readers.
    EXPECT_FALSE(DiskStorage::create(path, accessRead, openExisting, false));
    w = nullptr;
    AutoPtr<DiskStorage> r1 = DiskStorage::create(path, accessRead, openExisting);
    AutoPtr<DiskStorage> r2 = DiskStorage::create(path, accessRead, openExisting);
    EXPECT_EQ(codeOf([&] { DiskStorage::create(path, accessWrite, openExisting); }), 26);  // sharing violation
    r1 = r2 = nullptr;

    // creationDefault with write access starts the file afresh.
    AutoPtr<DiskStorage> again = DiskStorage::create(path, accessWrite, creationDefault);
    EXPECT_EQ(again->getSize(), 0u);
}

TEST(DiskStorage, OpenFailures) {
    ScratchFolder dir(L"disk-open");
    const struct {
        const wchar_t* name;
        AccessMode access;
        CreationMode creation;
        int code;
    } cases[] = {
        {L"missing", accessRead, creationDefault, 12},
        {L"missing", accessReadWrite, openExisting, 12},
        {L"missing", accessReadWrite, truncateExisting, 12},
        {L"no-folder\\x", accessReadWrite, createAlways, 12},
        {L"exists", accessReadWrite, createNew, 26},
    };
    ASSERT_TRUE(uitest::writeFile(dir.path(L"exists"), "e"));
    for (const auto& c : cases) {
        SCOPED_TRACE(uitest::narrow(c.name));
        EXPECT_FALSE(DiskStorage::create(dir.at(c.name), c.access, c.creation, false));
        Exception e = thrownBy([&] { DiskStorage::create(dir.at(c.name), c.access, c.creation); });
        EXPECT_EQ(e.code(), c.code);
        EXPECT_TRUE(text_helpers::endsWith(str(e.message()), " CreateFileW\n")) << str(e.message());
        try {
            DiskStorage::create(dir.at(c.name), c.access, c.creation);
        } catch (const PlatformException& p) {
            EXPECT_NE(p.platformError(), 0u);
        }
    }
    EXPECT_EQ(uitest::readFile(dir.path(L"exists")), "e");
}

TEST(DiskStorage, DuplicatesShareDataNotPosition) {
    ScratchFolder dir(L"disk-dup");
    AutoPtr<DiskStorage> s = DiskStorage::create(dir.at(L"d"), accessReadWrite, createAlways);
    s->writeBytes("hello", 5);
    AutoPtr<Storage> d = s->duplicate();
    EXPECT_EQ(d->getPos(), 5u);
    EXPECT_EQ(str(d->getName()), str(s->getName()));
    d->writeBytes("!", 1);
    s->setPos(0);
    char buf[6];
    EXPECT_EQ(s->readBytes(buf, 6, true), 6u);
    EXPECT_EQ(std::string(buf, 6), "hello!");
    EXPECT_EQ(d->getPos(), 6u);
}

TEST(DiskStorage, RangeLocksWithLengthZeroRunToTheEndOfTheRange) {
    ScratchFolder dir(L"disk-lock");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"l"), "0123456789"));
    AutoPtr<DiskStorage> a = DiskStorage::create(dir.at(L"l"), accessRead, openExisting);
    AutoPtr<DiskStorage> b = DiskStorage::create(dir.at(L"l"), accessRead, openExisting);

    a->lock(10, 0, true);  // offset 10 up to 2^64 - 1
    const struct {
        uint64_t offset, length;
        bool free;
    } probes[] = {
        {0, 10, true}, {9, 1, true}, {9, 2, false}, {1000, 1, false},
        {uint64_t(1) << 40, 5, false}, {~uint64_t(0) - 1, 1, false}, {0, 0, false},
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(testing::Message() << p.offset << "+" << p.length);
        bool got = b->tryLock(p.offset, p.length, false);
        EXPECT_EQ(got, p.free);
        if (got)
            b->unlock(p.offset, p.length);
    }
    a->unlock(10, 0);
    EXPECT_TRUE(b->tryLock(0, 0, true));
    EXPECT_FALSE(a->tryLock(5, 1, false));
    b->unlock(0, 0);
    // Unlocking a range that is not locked is an error of its own.
    Exception e = thrownBy([&] { b->unlock(0, 0); });
    EXPECT_TRUE(text_helpers::endsWith(str(e.message()), " UnlockFileEx failed!\n")) << str(e.message());
    // Shared locks coexist.
    a->lock(0, 4, false);
    EXPECT_TRUE(b->tryLock(0, 4, false));
    EXPECT_FALSE(b->tryLock(0, 4, true));
    b->unlock(0, 4);
    a->unlock(0, 4);
    EXPECT_TRUE(b->tryLock(0, 4, true));
}

TEST(DiskStorage, TemporaryFilesHaveNoNameAndVanishWithTheLastHandle) {
    wchar_t folder[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    auto vspFiles = [&] {
        int n = 0;
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((std::wstring(folder) + L"VSP*.tmp").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do
                ++n;
            while (FindNextFileW(h, &found));
            FindClose(h);
        }
        return n;
    };
    int before = vspFiles();
    AutoPtr<DiskStorage> t = DiskStorage::createTemp();
    EXPECT_TRUE(t->getName().isEmpty());
    t->writeBytes("scratch", 7);
    AutoPtr<Storage> d = t->duplicate();
    t = nullptr;
    EXPECT_EQ(readAll(d.get()), "scratch");
    d = nullptr;
    EXPECT_EQ(vspFiles(), before);
}
