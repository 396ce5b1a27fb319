#include "baselib/svr_crypt32_win.h"

#include "baselib/svr_handle_win.h"

#include <type_traits>

namespace Solvaris_Win32 {

namespace {

// The library and its functions: all bound, or the table is not given out.
struct LoadedCrypt32 {
    LoadedModule module;
    Crypt32 functions = {};
    bool complete = false;

    LoadedCrypt32() : module(::LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (!module)
            return;
        bool all = true;
        auto bind = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
            all = all && slot != nullptr;
        };
        Crypt32& f = functions;
        bind(f.openStore, "CertOpenStore");
        bind(f.closeStore, "CertCloseStore");
        bind(f.enumCertificates, "CertEnumCertificatesInStore");
        bind(f.duplicateCertificate, "CertDuplicateCertificateContext");
        bind(f.freeCertificate, "CertFreeCertificateContext");
        bind(f.verifyTimeValidity, "CertVerifyTimeValidity");
        bind(f.getCertificateProperty, "CertGetCertificateContextProperty");
        bind(f.getEnhancedKeyUsage, "CertGetEnhancedKeyUsage");
        bind(f.compareCertificateName, "CertCompareCertificateName");
        bind(f.getCertificateChain, "CertGetCertificateChain");
        bind(f.freeCertificateChain, "CertFreeCertificateChain");
        bind(f.protectData, "CryptProtectData");
        bind(f.unprotectData, "CryptUnprotectData");
        complete = all;
    }
};

} // namespace

const Crypt32* crypt32() {
    // Built once, by the first caller, and kept until the process ends.
    static const LoadedCrypt32 loaded;
    return loaded.complete ? &loaded.functions : nullptr;
}

} // namespace Solvaris_Win32
