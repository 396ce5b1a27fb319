// The portable side of resource location: "file:" URLs turned into paths,
// and the late-binding storage that locates its name once, on first use.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "baselib/svr_broker.h"
#include "support/test_kit.h"

using namespace Solvaris;
using testkit::codeOf;
using testkit::failsWith;
using testkit::str;

TEST(FileUrl, RawPathOfFileUrls) {
    const struct { const char* url; const char* path; } cases[] = {
        {"file:///C:/data/a%20b.dprepo", "C:\\data\\a b.dprepo"},
        {"file://localhost/C:/x", "C:\\x"},
        {"file:C:/x/y", "C:\\x\\y"},
        {"file:///C:\\win\\style", "C:\\win\\style"},
        {"file://server/share/f", "\\\\server\\share\\f"},
        {"file:///C:/100%", "C:\\100%"},        // no well-formed escape: as it is
        {"file:///C:/a%2", "C:\\a%2"},
        {"http://host/x", ""},
        {"C:/x", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(BrokerDetail::fileUrlToRawPath(c.url)), c.path) << c.url;
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
