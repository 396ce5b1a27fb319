// The client certificate a TLS server that asks for one is shown: chosen from
// a certificate store by the server's list of accepted issuers and by usage.
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
// the issuer of a certificate in its chain is one of them. An empty issuer
// list (the server named none) accepts any issuer. Empty when none fits:
// the request then goes on without a certificate, as it does when Crypt32
// cannot be loaded.
CertificateRef chooseClientCertificate(HCERTSTORE store, const std::vector<CERT_NAME_BLOB>& issuers);

} // namespace Solvaris_Win32
