// Choosing the client certificate for a TLS server's question.
#include "baselib/svr_clientcert_win.h"

#include <cstring>

namespace Solvaris_Win32 {

namespace {

// Whether the certificate may authenticate a client: its usage list (the
// extension and the store's property together) is absent or names client
// authentication.
bool allowsClientAuthentication(const Crypt32& c, PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!c.getEnhancedKeyUsage(cert, 0, nullptr, &size))
        return GetLastError() == DWORD(CRYPT_E_NOT_FOUND);
    std::vector<BYTE> buffer(size);
    PCERT_ENHKEY_USAGE usage = reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data());
    SetLastError(0);
    if (!c.getEnhancedKeyUsage(cert, 0, usage, &size))
        return false;
    // No identifiers: every usage when the list is merely absent, none when
    // the extension says so (the system tells the two apart by the error).
    if (usage->cUsageIdentifier == 0)
        return GetLastError() == DWORD(CRYPT_E_NOT_FOUND);
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::strcmp(usage->rgpszUsageIdentifier[i], szOID_PKIX_KP_CLIENT_AUTH) == 0)
            return true;
    return false;
}

bool nameInList(const Crypt32& c, PCERT_NAME_BLOB name, const std::vector<CERT_NAME_BLOB>& issuers) {
    for (const CERT_NAME_BLOB& issuer : issuers) {
        CERT_NAME_BLOB copy = issuer;
        if (c.compareCertificateName(X509_ASN_ENCODING, name, &copy))
            return true;
    }
    return false;
}

// Whether the certificate's issuer, or the issuer of any certificate of the
// chain the system builds for it, is in the list. An empty list names no
// issuer, so nothing is issued under it.
bool issuedUnder(const Crypt32& c, PCCERT_CONTEXT cert, const std::vector<CERT_NAME_BLOB>& issuers) {
    if (issuers.empty())
        return false;
    if (nameInList(c, &cert->pCertInfo->Issuer, issuers))
        return true;
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof(para);
    CertChainRef owned;
    if (!c.getCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, owned.put()))
        return false;
    const PCCERT_CHAIN_CONTEXT chain = owned.get();
    bool found = false;
    for (DWORD k = 0; k < chain->cChain && !found; ++k)
        for (DWORD e = 0; e < chain->rgpChain[k]->cElement && !found; ++e)
            found = nameInList(c, &chain->rgpChain[k]->rgpElement[e]->pCertContext->pCertInfo->Issuer, issuers);
    return found;
}

} // namespace

CertificateRef chooseClientCertificate(HCERTSTORE store, const std::vector<CERT_NAME_BLOB>& issuers) {
    const Crypt32* c = crypt32();
    if (!store || !c)
        return CertificateRef();
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = c->enumCertificates(store, cert)) != nullptr) {
        DWORD size = 0;
        if (c->verifyTimeValidity(nullptr, cert->pCertInfo) == 0 &&
            c->getCertificateProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) &&
            allowsClientAuthentication(*c, cert) && issuedUnder(*c, cert, issuers))
            return CertificateRef(cert);  // the enumeration's reference, which leaving it early hands over
    }
    return CertificateRef();
}

} // namespace Solvaris_Win32
