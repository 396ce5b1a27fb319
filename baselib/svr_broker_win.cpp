// The resource broker: local paths, "file:" URLs and, through the HTTP
// manager, http and https URLs opened as storages.
#include "baselib/svr_broker.h"

#include "baselib/svr_error.h"
#include "baselib/svr_fileutils.h"
#include "baselib/svr_http.h"
#include "baselib/svr_syncobjs.h"

namespace Solvaris {
namespace _Svr_Internal_NS_ {

class ResourceBrokerImpl : public ResourceBroker, public ThreadSafeSingletonReferable<ResourceBrokerImpl> {
public:
    // The process-wide broker's HTTP manager asks the user for credentials.
    // It is started by the first http or https name, not with the broker:
    // reading local files (the profile repository of a page dialog) must not
    // load the platform's HTTP service. When that service cannot start, http
    // and https names fail with "No HTTP manager!" and everything else still
    // works.
    ResourceBrokerImpl() : m_httpPending(true) {}
    explicit ResourceBrokerImpl(const AutoPtr<HttpManager>& http) : m_http(http), m_httpPending(false) {}

    AutoPtr<Storage> locateFile(const String& name) override {
        if (name.startsWith("http://") || name.startsWith("https://")) {
            AutoPtr<HttpManager> http = httpManager();
            if (!http)
                SVR_THROW(errOperationFailed, "No HTTP manager!");
            return http->createStorage(name);
        }
        if (name.startsWith("file:"))
            return open(fileUrlToPath(name));
        if (name.find("://") != kNotFound)
            SVR_THROW(errInvalidParam, "Unknown resource protocol!");
        return open(canonicalPath(name));
    }

private:
    static AutoPtr<Storage> open(const String& path) {
        return AutoPtr<Storage>(DiskStorage::create(path, accessRead, creationDefault, true));
    }

    // The manager, started on the first call (once: a failed start is not
    // tried again).
    AutoPtr<HttpManager> httpManager() {
        LockGuard hold(m_httpLock);
        if (m_httpPending) {
            m_httpPending = false;
            try {
                m_http = HttpManager::create();
            } catch (const Exception&) {
            }
        }
        return m_http;
    }

    Mutex m_httpLock;
    AutoPtr<HttpManager> m_http;
    bool m_httpPending;
};

} // namespace _Svr_Internal_NS_

AutoPtr<ResourceBroker> ResourceBroker::instance() {
    using Singleton = ThreadSafeSingletonReferable<_Svr_Internal_NS_::ResourceBrokerImpl>;
    return AutoPtr<ResourceBroker>(Singleton::instance());
}

AutoPtr<ResourceBroker> ResourceBroker::create(const AutoPtr<HttpManager>& httpManager) {
    return AutoPtr<ResourceBroker>(new _Svr_Internal_NS_::ResourceBrokerImpl(httpManager));
}

AutoPtr<Storage> getStorage(const String& name, bool lateBinding, const AutoPtr<ResourceBroker>& broker) {
    AutoPtr<ResourceBroker> use = broker ? broker : ResourceBroker::instance();
    if (!use)
        SVR_THROW(errOperationFailed, "No resource broker!");
    if (lateBinding)
        return AutoPtr<Storage>(new _Svr_Internal_NS_::LateBindingStorage(name, use));
    return use->locateFile(name);
}

String fileUrlToPath(const String& url) {
    String raw = BrokerDetail::fileUrlToRawPath(url);
    return raw.isEmpty() ? raw : _Svr_Internal_NS_::canonicalPath(raw);
}

} // namespace Solvaris
