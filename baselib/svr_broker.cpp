// The portable part of resource location: the late-binding storage and the
// text steps of turning a "file:" URL into a path.
#include "baselib/svr_broker.h"

#include "baselib/svr_error.h"
#include "baselib/svr_urlutil.h"

namespace Solvaris {

String BrokerDetail::fileUrlToRawPath(const String& url) {
    if (!url.startsWith("file:"))
        return String();
    String rest = url.replace("\\", "/").substring(5);
    if (rest.startsWith("///"))
        rest = rest.substring(3);
    else if (rest.startsWith("//localhost/"))
        rest = rest.substring(12);
    return Url::decodeIfEncoded(rest.replace("/", "\\"));
}

namespace _Svr_Internal_NS_ {

LateBindingStorage::LateBindingStorage(const String& name, const AutoPtr<ResourceBroker>& broker)
    : m_name(name), m_broker(broker) {}

// Located once, under the storage's own (recursive) mutex, so concurrent
// first uses ask the broker once and a caller that holds the mutex may use
// the storage.
Storage* LateBindingStorage::target() {
    LockGuard guard(*this);
    if (!m_storage) {
        if (!m_broker)
            SVR_THROW_CODE(errInvalidParam);
        AutoPtr<Storage> located = m_broker->locateFile(m_name);
        if (!located)
            SVR_THROW(errNotFound, "errNotFound");
        m_storage = located;
    }
    return m_storage.get();
}

uint32_t LateBindingStorage::readBytes(void* buffer, uint32_t count, bool mustReadAll) {
    return target()->readBytes(buffer, count, mustReadAll);
}

void LateBindingStorage::writeBytes(const void*, uint32_t) {
    SVR_THROW(errNotImplemented, "writeBytes is not supported.");
}

void LateBindingStorage::flushBuffer() { target()->flushBuffer(); }
bool LateBindingStorage::isEof() { return target()->isEof(); }
uint64_t LateBindingStorage::getSize() { return target()->getSize(); }
uint64_t LateBindingStorage::getPos() { return target()->getPos(); }
void LateBindingStorage::reserve(uint64_t size) { target()->reserve(size); }
void LateBindingStorage::setPos(uint64_t pos) { target()->setPos(pos); }
void LateBindingStorage::setPosRelative(int64_t offset) { target()->setPosRelative(offset); }
void LateBindingStorage::setPosFromEnd(int64_t offset) { target()->setPosFromEnd(offset); }

void LateBindingStorage::setEof() {
    SVR_THROW(errNotImplemented, "setEof is not supported.");
}

// The name as given may carry a URL's user name and password; they are
// kept for locating the storage, never shown.
String LateBindingStorage::getName() { return Url::withoutUserInfo(m_name); }

AutoPtr<Storage> LateBindingStorage::duplicate() {
    return AutoPtr<Storage>(new LateBindingStorage(m_name, m_broker));
}

uint64_t LateBindingStorage::getLastModified() { return target()->getLastModified(); }

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
