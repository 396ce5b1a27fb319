// What a TLS server is shown: the protocol versions a session accepts, and
// the client certificate a server that asks for one gets, chosen from a
// certificate store by the server's list of accepted issuers and by usage.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "baselib/svr_crypt32_win.h"
#include "baselib/svr_handle_win.h"

namespace Solvaris_Win32 {

// A context, store or chain exists only if Crypt32 was loaded to make it, so
// each is given back through the loaded library.
inline void releaseCertificate(PCCERT_CONTEXT c) { crypt32()->freeCertificate(c); }
inline void releaseCertStore(HCERTSTORE s) { crypt32()->closeStore(s, 0); }
inline void releaseCertChain(PCCERT_CHAIN_CONTEXT c) { crypt32()->freeCertificateChain(c); }

// One certificate context.
using CertificateRef = Owned<PCCERT_CONTEXT, NullOrReleased<PCCERT_CONTEXT, releaseCertificate>>;
// One open certificate store.
using CertStoreRef = Owned<HCERTSTORE, NullOrReleased<HCERTSTORE, releaseCertStore>>;
// A certificate chain the system built.
using CertChainRef = Owned<PCCERT_CHAIN_CONTEXT, NullOrReleased<PCCERT_CHAIN_CONTEXT, releaseCertChain>>;

// The first certificate of store that is valid now, has a private key, may
// be used for client authentication (a certificate that lists no usages may
// be used for any), and was issued under one of issuers: its own issuer or
// the issuer of a certificate in its chain is one of them. A server that
// names no issuer (or whose list could not be read) is shown none: the
// certificate would tell whoever asks who the user is. Empty when none
// fits: the request then goes on without a certificate, as it does when
// Crypt32 cannot be loaded.
CertificateRef chooseClientCertificate(HCERTSTORE store, const std::vector<CERT_NAME_BLOB>& issuers);

// WinHTTP's secure-protocol flags for TLS 1.2 and TLS 1.3.
const DWORD kSecureProtocolTls12 = 0x800;
const DWORD kSecureProtocolTls13 = 0x2000;

// Gives a session TLS 1.2 and 1.3 (never 1.0 or 1.1). A system that knows no
// TLS 1.3 (Windows 7 and 8.1) refuses the whole value with
// ERROR_INVALID_PARAMETER and gets TLS 1.2 alone. set(flags) sets the value
// and returns false, with the error in GetLastError, when it is refused.
// The result is the value set, 0 when none was.
template <class Set>
DWORD setSecureProtocols(Set set) {
    if (set(kSecureProtocolTls12 | kSecureProtocolTls13))
        return kSecureProtocolTls12 | kSecureProtocolTls13;
    if (GetLastError() == ERROR_INVALID_PARAMETER && set(kSecureProtocolTls12))
        return kSecureProtocolTls12;
    return 0;
}

} // namespace Solvaris_Win32
