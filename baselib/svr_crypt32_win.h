// Crypt32, loaded when the program first needs it: choosing a client
// certificate for a TLS server, sealing or unsealing a stored credential.
// Most runs (a page dialog, a message box) need neither, and a library
// imported the usual way is loaded at every start. The functions are bound
// by name from the system folder's crypt32.dll, once per process.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <dpapi.h>

namespace Solvaris_Win32 {

// The Crypt32 functions this program calls, with the system's own types.
struct Crypt32 {
    decltype(&::CertOpenStore) openStore;
    decltype(&::CertCloseStore) closeStore;
    decltype(&::CertEnumCertificatesInStore) enumCertificates;
    decltype(&::CertDuplicateCertificateContext) duplicateCertificate;
    decltype(&::CertFreeCertificateContext) freeCertificate;
    decltype(&::CertVerifyTimeValidity) verifyTimeValidity;
    decltype(&::CertGetCertificateContextProperty) getCertificateProperty;
    decltype(&::CertGetEnhancedKeyUsage) getEnhancedKeyUsage;
    decltype(&::CertCompareCertificateName) compareCertificateName;
    decltype(&::CertGetCertificateChain) getCertificateChain;
    decltype(&::CertFreeCertificateChain) freeCertificateChain;
    decltype(&::CryptProtectData) protectData;
    decltype(&::CryptUnprotectData) unprotectData;
};

// The table, with crypt32.dll loaded from the system folder on the first
// call (by one thread; the others wait) and held until the process ends.
// Null when the library or one of its functions is missing: the caller then
// goes on as if no certificate fitted or nothing could be sealed.
const Crypt32* crypt32();

} // namespace Solvaris_Win32
