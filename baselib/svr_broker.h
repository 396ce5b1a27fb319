// Resource location: turning a resource name (a local path, a "file:" URL,
// or an http/https URL) into a readable storage.
#pragma once

#include "baselib/svr_base.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_string.h"

namespace Solvaris {

class HttpManager;

class ResourceBroker : public Referable {
public:
    ~ResourceBroker() override {}
    // Opens the resource for reading. http:// and https:// names go to the
    // broker's HTTP manager (errOperationFailed "No HTTP manager!" without
    // one); "file:" URLs and plain paths (made absolute and canonical) open
    // as disk storages, so a missing file throws the open's
    // PlatformException; any other "scheme://" throws errInvalidParam
    // "Unknown resource protocol!".
    virtual AutoPtr<Storage> locateFile(const String& name) = 0;

    // The process-wide broker, created on first use.
    static AutoPtr<ResourceBroker> instance();
    // A broker of its own, handing http and https names to httpManager
    // (which may be null).
    static AutoPtr<ResourceBroker> create(const AutoPtr<HttpManager>& httpManager);
};

// Storage of a resource name through broker (the process-wide one when
// null). With lateBinding the name is located on first use of the storage.
AutoPtr<Storage> getStorage(const String& name, bool lateBinding = false,
                            const AutoPtr<ResourceBroker>& broker = AutoPtr<ResourceBroker>());

// The local path of a "file:" URL ("file:///C:/a%20b" -> "C:\a b",
// "file://localhost/C:/x" -> "C:\x"), absolute and canonical; empty for a
// text that does not begin with "file:".
String fileUrlToPath(const String& url);

namespace BrokerDetail {
// The steps of fileUrlToPath before the path is made absolute: separators,
// the "///" or "//localhost/" prefix, and percent-decoding.
String fileUrlToRawPath(const String& url);
} // namespace BrokerDetail

namespace _Svr_Internal_NS_ {

// A storage named now and located through the broker on first use (once,
// under the storage's mutex). Read-only: writeBytes and setEof throw
// errNotImplemented.
class LateBindingStorage : public Storage {
public:
    LateBindingStorage(const String& name, const AutoPtr<ResourceBroker>& broker);

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override;
    void writeBytes(const void* buffer, uint32_t count) override;
    void flushBuffer() override;
    bool isEof() override;
    uint64_t getSize() override;
    uint64_t getPos() override;
    void reserve(uint64_t size) override;
    void setPos(uint64_t pos) override;
    void setPosRelative(int64_t offset) override;
    void setPosFromEnd(int64_t offset) override;
    void setEof() override;
    String getName() override;
    AutoPtr<Storage> duplicate() override;
    uint64_t getLastModified() override;

private:
    // The located storage; locates it first when needed.
    Storage* target();

    String m_name;
    AutoPtr<ResourceBroker> m_broker;
    AutoPtr<Storage> m_storage;
};

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
