// The client certificate a TLS server that asks for one is shown: chosen from
// a certificate store by the server's list of accepted issuers and by usage.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "baselib/svr_crypt32_win.h"

#include <vector>

namespace Solvaris_Win32 {

// One certificate context, freed with the object; moves, never copies.
class CertificateRef {
public:
    CertificateRef() = default;
    explicit CertificateRef(PCCERT_CONTEXT context) : m_context(context) {}
    CertificateRef(CertificateRef&& o) noexcept : m_context(o.m_context) { o.m_context = nullptr; }
    CertificateRef& operator=(CertificateRef&& o) noexcept {
        if (this != &o) {
            reset();
            m_context = o.m_context;
            o.m_context = nullptr;
        }
        return *this;
    }
    CertificateRef(const CertificateRef&) = delete;
    CertificateRef& operator=(const CertificateRef&) = delete;
    ~CertificateRef() { reset(); }

    PCCERT_CONTEXT get() const { return m_context; }
    explicit operator bool() const { return m_context != nullptr; }

private:
    void reset() {
        // A context exists only if Crypt32 was loaded to make it.
        if (m_context)
            crypt32()->freeCertificate(m_context);
        m_context = nullptr;
    }
    PCCERT_CONTEXT m_context = nullptr;
};

// One open certificate store, closed with the object.
class CertStoreRef {
public:
    explicit CertStoreRef(HCERTSTORE store) : m_store(store) {}
    CertStoreRef(const CertStoreRef&) = delete;
    CertStoreRef& operator=(const CertStoreRef&) = delete;
    ~CertStoreRef() {
        if (m_store)
            crypt32()->closeStore(m_store, 0);
    }
    HCERTSTORE get() const { return m_store; }

private:
    HCERTSTORE m_store;
};

// The first certificate of store that is valid now, has a private key, may
// be used for client authentication (a certificate that lists no usages may
// be used for any), and was issued under one of issuers: its own issuer or
// the issuer of a certificate in its chain is one of them. An empty issuer
// list (the server named none) accepts any issuer. Empty when none fits:
// the request then goes on without a certificate, as it does when Crypt32
// cannot be loaded.
CertificateRef chooseClientCertificate(HCERTSTORE store, const std::vector<CERT_NAME_BLOB>& issuers);

} // namespace Solvaris_Win32
