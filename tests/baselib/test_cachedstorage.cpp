// The cached storage and the HTTP range loader's block logic over a fake
// server held in memory: which ranges are asked for, what is cached, and how
// wrong replies fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "baselib/svr_cachedstorage.h"
#include "baselib/svr_credential.h"
#include "baselib/svr_error.h"
#include "support/test_kit.h"

using namespace Solvaris;
using testkit::codeOf;

namespace {

const uint64_t kSize = 100000;

uint8_t byteOf(uint64_t i) { return uint8_t((i * 7 + i / 251) & 0xff); }

enum Misbehaviour { replyNormal, replyStarTotal, replyStarFirstOnly, replyWrongStart, replyNoContentRange,
                    replyStatus416, replyGarbled, replyLastBeforeFirst, replyShortBody, replyEmptyBody,
                    replyPastTheRequest, replyLastAtTheTop, replyChanged, replyNoVersion };

// A server in memory: answers HEAD with headLength and each GET with the
// bytes of its Range header, spoilt as the misbehaviour says.
class FakeLoader : public HttpRangeLoader {
public:
    FakeLoader(Misbehaviour how, const char* headLength)
        : HttpRangeLoader("http://fake/file", nullptr, nullptr), m_how(how), m_headLength(headLength) {}

    std::vector<std::pair<uint64_t, uint64_t>> gets;
    std::string lastHeader;  // the extra header lines of the last GET
    int heads = 0;

    AutoPtr<StorageLoader> duplicate() override {
        FakeLoader* copy = new FakeLoader(m_how, m_headLength);
        copyStateTo(*copy);
        return AutoPtr<StorageLoader>(copy);
    }

protected:
    HttpRangeReply sendHead() override {
        ++heads;
        HttpRangeReply r;
        r.status = 200;
        r.hasContentLength = m_headLength != nullptr;
        r.contentLength = m_headLength;
        // A HEAD with a broken length also has a broken date.
        bool broken = m_headLength && std::string(m_headLength) == "-1";
        r.lastModified = broken ? "yesterday" : "Sun, 06 Nov 1994 08:49:37 GMT";
        r.etag = "\"v1\"";
        return r;
    }

    HttpRangeReply sendGet(const String& header) override {
        unsigned long long a = 0, b = 0;
        EXPECT_EQ(2, std::sscanf(header.c_str(), "Range: bytes=%llu-%llu", &a, &b)) << header.c_str();
        gets.push_back({a, b});
        lastHeader = header.c_str();
        if (b >= kSize)
            b = kSize - 1;
        HttpRangeReply r;
        r.status = m_how == replyStatus416 ? 416 : 206;
        r.hasContentRange = m_how != replyNoContentRange;
        bool star = m_how == replyStarTotal || (m_how == replyStarFirstOnly && gets.size() == 1);
        String total = star ? String("*") : String::format("%llu", (unsigned long long)kSize);
        uint64_t first = m_how == replyWrongStart ? a + 1 : a;
        r.contentRange = String::format("bytes %llu-%llu/%s", (unsigned long long)first, (unsigned long long)b,
                                        total.c_str());
        if (m_how == replyGarbled)
            r.contentRange = "bytes x";
        // A server that ignores If-Range and sends the new version.
        r.etag = m_how == replyChanged ? "\"v2\"" : "\"v1\"";
        if (m_how == replyNoVersion)
            r.etag = String();
        if (m_how == replyPastTheRequest)
            r.contentRange = String::format("bytes %llu-%llu/*", a, b + 1);
        if (m_how == replyLastAtTheTop)
            r.contentRange = String::format("bytes %llu-18446744073709551615/*", a);
        if (m_how == replyLastBeforeFirst)
            r.contentRange = String::format("bytes %llu-%llu/%llu", a + 5, a, (unsigned long long)kSize);
        uint64_t n = m_how == replyShortBody || m_how == replyNoVersion ? (b - a + 1) / 2 : m_how == replyEmptyBody ? 0 : b - a + 1;
        std::string body;
        for (uint64_t i = 0; i < n; ++i)
            body += char(byteOf(a + i));
        r.body = AutoPtr<Stream>(testkit::storageWith(body).get());
        return r;
    }

private:
    Misbehaviour m_how;
    const char* m_headLength;
};

struct Fixture {
    explicit Fixture(Misbehaviour how = replyNormal, const char* headLength = "100000")
        : loader(new FakeLoader(how, headLength)),
          storage(AdvCachedStorage::create(AutoPtr<StorageLoader>(loader), AutoPtr<Storage>(MemoryStorage::create().get()))) {}

    // Reads count bytes at offset and checks them against the resource.
    uint32_t read(uint64_t offset, uint32_t count, bool mustReadAll = false) {
        std::vector<uint8_t> buf(count);
        storage->setPos(offset);
        uint32_t n = storage->readBytes(buf.data(), count, mustReadAll);
        for (uint32_t i = 0; i < n; ++i)
            if (buf[i] != byteOf(offset + i)) {
                ADD_FAILURE() << "byte " << offset + i << " differs";
                break;
            }
        return n;
    }

    FakeLoader* loader;
    AutoPtr<AdvCachedStorage> storage;
};

} // namespace

TEST(CachedStorage, ReadsAskOnlyForTheMissingAlignedBlocks) {
    struct Read { uint64_t offset; uint32_t count; uint32_t got; };
    using Ranges = std::vector<std::pair<uint64_t, uint64_t>>;
    struct Case { const char* name; std::vector<Read> reads; Ranges gets; uint32_t rangesAfter; } cases[] = {
        {"10 bytes at 40000, then inside the same block", {{40000, 10, 10}, {50000, 100, 100}}, {{32768, 65535}}, 1},
        {"a read across two blocks loads only the missing one",
         {{40000, 10, 10}, {65500, 100, 100}}, {{32768, 65535}, {65536, 98303}}, 1},
        {"the last block ends at the size; a read past the end is cut",
         {{99500, 1000, 500}, {kSize, 10, 0}}, {{98304, 99999}}, 1},
        {"gaps between cached blocks are loaded, the blocks are not",
         {{0, 1, 1}, {70000, 1, 1}, {0, 100000, 100000}},
         {{0, 32767}, {65536, 98303}, {32768, 65535}, {98304, 99999}}, 1},
        {"blocks apart stay apart", {{0, 1, 1}, {70000, 1, 1}}, {{0, 32767}, {65536, 98303}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fx;
        for (const Read& r : c.reads)
            EXPECT_EQ(r.got, fx.read(r.offset, r.count));
        EXPECT_EQ(c.gets, fx.loader->gets);
        EXPECT_EQ(c.rangesAfter, fx.storage->getRangeCount());
        EXPECT_EQ(1, fx.loader->heads);
        EXPECT_EQ(kSize, fx.storage->getSize());
        EXPECT_EQ(784111777u, fx.storage->getLastModified());
        EXPECT_NE(std::string::npos, fx.loader->lastHeader.find("\r\nIf-Range: \"v1\"")) << fx.loader->lastHeader;
    }
}

// Short bodies are completed by further requests; wrong replies fail. A
// status other than 2xx (416 here; a missing resource's 404 takes the same
// path) and a resource that changed between two requests (a real server
// answers If-Range with the whole new version) fail alike.
TEST(CachedStorage, WrongRepliesFailWithReadFailedAndNeverHang) {
    struct Case { const char* name; Misbehaviour how; int code = errReadFailed; const char* headLength = "100000"; }
    cases[] = {
        {"short bodies", replyShortBody, 0}, {"Content-Range starting elsewhere", replyWrongStart},
        {"no Content-Range", replyNoContentRange}, {"status 416", replyStatus416},
        {"garbled Content-Range", replyGarbled}, {"last byte before the first", replyLastBeforeFirst},
        {"empty body", replyEmptyBody}, {"another version than the HEAD named", replyChanged},
        {"last byte past the request, size unknown", replyPastTheRequest, errReadFailed, nullptr},
        {"last byte 2^64 - 1 (a length that wraps to 0)", replyLastAtTheTop, errReadFailed, nullptr},
        {"short bodies naming no version: the second cannot be matched", replyNoVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fx(c.how, c.headLength);
        // A wrong reply fails even where less than all may be read.
        uint32_t got = 0;
        EXPECT_EQ(c.code, codeOf([&] { got = fx.read(30000, 40000, c.code == 0); }));
        EXPECT_EQ(c.code ? 0u : 40000u, got);
    }
}

TEST(CachedStorage, StarTotalLeavesTheSizeUnknownUntilAReplyTellsIt) {
    Fixture star(replyStarTotal, nullptr);
    EXPECT_EQ(10u, star.read(40000, 10));
    EXPECT_FALSE(star.storage->isEof());
    EXPECT_EQ(errNotFound, codeOf([&] { star.storage->getSize(); }));

    Fixture later(replyStarFirstOnly, nullptr);
    EXPECT_EQ(10u, later.read(0, 10));
    EXPECT_EQ(errNotFound, codeOf([&] { later.storage->getSize(); }));
    EXPECT_EQ(10u, later.read(99990, 10));
    EXPECT_EQ(kSize, later.storage->getSize());
}

TEST(CachedStorage, EndOfDataWritesAndDuplicates) {
    Fixture fx;
    EXPECT_EQ(errReadFailed, codeOf([&] { fx.read(kSize - 5, 10, true); }));
    EXPECT_EQ(0u, fx.read(kSize + 7, 10));
    fx.storage->setPos(kSize);
    EXPECT_TRUE(fx.storage->isEof());
    EXPECT_EQ(errNotImplemented, codeOf([&] { fx.storage->writeBytes("x", 1); }));
    EXPECT_EQ(errNotImplemented, codeOf([&] { fx.storage->setEof(); }));
    EXPECT_EQ(errInvalidParam, codeOf([&] { fx.storage->setPos(1); fx.storage->setPosRelative(-2); }));

    // A duplicate keeps the cached ranges and the position: reading there asks nothing.
    fx.read(40000, 10);
    size_t asked = fx.loader->gets.size();
    AutoPtr<Storage> copy = fx.storage->duplicate();
    EXPECT_EQ(40010u, copy->getPos());
    uint8_t b = 0;
    copy->setPos(33000);
    EXPECT_EQ(1u, copy->readBytes(&b, 1));
    EXPECT_EQ(byteOf(33000), b);
    EXPECT_EQ(asked, fx.loader->gets.size());
    EXPECT_EQ(String("http://fake/file").compare(copy->getName()), 0);
}

TEST(HttpHeaderValues, ContentLengthIsAnUnsigned64BitNumberOrNothing) {
    struct Case { const char* text; bool ok; uint64_t value; } cases[] = {
        {"100000", true, 100000}, {" 42 ", true, 42}, {"5000000000", true, 5000000000ull},
        {"18446744073709551615", true, UINT64_MAX}, {"18446744073709551616", false, 0},
        {"-5", false, 0}, {"12abc", false, 0}, {"", false, 0}, {"+7", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t v = 0;
        EXPECT_EQ(c.ok, HttpDetail::parseContentLength(c.text, v)) << c.text;
        EXPECT_EQ(c.value, v) << c.text;   // a refused text sets nothing
    }
    // A HEAD whose length is not a number leaves the size unknown; a date
    // that cannot be read leaves the time unknown; the bytes still read.
    Fixture garbage(replyNormal, "-1");
    EXPECT_EQ(errNotFound, codeOf([&] { garbage.storage->getSize(); }));
    EXPECT_EQ(0u, garbage.storage->getLastModified());
    EXPECT_EQ(10u, garbage.read(500, 10));
    Fixture big(replyNormal, "3000000000");
    EXPECT_EQ(3000000000ull, big.storage->getSize());
}

// (Ranges that end before their start or past their total: fuzz_http_range.)
TEST(HttpHeaderValues, ContentRange) {
    struct Case { const char* text; bool ok; uint64_t first = 0, last = 0; bool totalKnown = false; uint64_t total = 0; } cases[] = {
        {"bytes 32768-65535/100000", true, 32768, 65535, true, 100000}, {"bytes 0-0/*", true, 0, 0, false, 0},
        {"bytes 0-4294967299/8589934592", true, 0, 4294967299ull, true, 8589934592ull},
        {"bytes 0-9", false}, {"bytes */100", false}, {"bytes 0-99999999999999999999/*", false}, {"bytes 7", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        HttpDetail::ContentRange r;   // a refused text leaves it at zero
        EXPECT_EQ(c.ok ? 0 : errReadFailed, codeOf([&] { r = HttpDetail::parseContentRange(c.text); }));
        EXPECT_EQ(std::make_tuple(c.first, c.last, c.totalKnown, c.total),
                  std::make_tuple(r.first, r.last, r.totalKnown, r.total));
    }
}

TEST(HttpHeaderValues, AlignedRangesDoNotOverflow) {
    struct Case { uint64_t offset, count; bool known; uint64_t total; bool ok; uint64_t start, end; } cases[] = {
        {UINT64_MAX - 5, 5, false, 0, true, UINT64_MAX - 32767, UINT64_MAX},
        {UINT64_MAX - 5, 6, false, 0, false, 0, 0}, {10, 0, false, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        uint64_t s = 0, e = 0;
        EXPECT_EQ(c.ok ? 0 : errInvalidParam,
                  codeOf([&] { HttpDetail::alignRange(c.offset, c.count, 32768, c.known, c.total, s, e); }))
            << c.offset;
        EXPECT_EQ(std::make_pair(c.start, c.end), std::make_pair(s, e));   // a refused range sets nothing
    }
}

TEST(Credentials, CacheSchemesAndRealms) {
    // The cache hands out what it remembers on a first trial and asks again on a later one.
    struct Counting : CredentialProvider {
        int asked = 0;
        bool getCredential(CredentialTarget, const String&, uint32_t, bool, Credential& c) override {
            c.user = String::format("user%d", ++asked);
            return true;
        }
        uint32_t getMaxTrials() override { return 5; }
    };
    Counting* inner = new Counting;
    AutoPtr<CredentialProvider> cache = CredentialProvider::createCache(AutoPtr<CredentialProvider>(inner));
    Credential c;
    struct Step { CredentialTarget target; const char* text; bool later; const char* user; } steps[] = {
        {credentialTargetServer, "r (h:80)", false, "user1"}, {credentialTargetServer, "r (h:80)", false, "user1"},
        {credentialTargetProxy, "r (h:80)", false, "user2"},  {credentialTargetServer, "r (h:80)", true, "user3"},
        {credentialTargetServer, "r (h:80)", false, "user3"},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(cache->getCredential(s.target, s.text, authSchemeBasic, s.later, c));
        EXPECT_STREQ(s.user, c.user.c_str());
    }
    EXPECT_EQ(5u, cache->getMaxTrials());
    EXPECT_EQ(1u, CredentialProvider::createSimple("a", "b")->getMaxTrials());

    EXPECT_EQ(uint32_t(authSchemeNegotiate), chooseAuthScheme(0x1f));
    EXPECT_EQ(uint32_t(authSchemeDigest), chooseAuthScheme(authSchemeBasic | authSchemeDigest));
    EXPECT_EQ(0u, chooseAuthScheme(0x20));
    struct Realm { const char* challenge; const char* realm; } realms[] = {
        {"Basic realm=\"Printvane test\"", "Printvane test"}, {"Digest REALM=abc, nonce=1", "abc"},
        {"Basic", ""}, {"Basic realm=\"cut", "cut"},
    };
    for (const Realm& r : realms)
        EXPECT_STREQ(r.realm, realmFromChallenge(r.challenge).c_str()) << r.challenge;
}
