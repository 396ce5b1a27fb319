// Credentials for HTTP authentication: the provider interface the HTTP
// client asks, the provider made from a URL's user name and password, and a
// cache per target and scheme in front of another provider. The Windows
// provider (prompts and the credential store) is in svr_credential_win.cpp.
#pragma once

#include <cstdint>

#include "baselib/svr_base.h"
#include "baselib/svr_string.h"
#include "baselib/svr_syncobjs.h"

namespace Solvaris {

// Who asks for credentials.
enum CredentialTarget : uint32_t {
    credentialTargetServer = 0,
    credentialTargetProxy = 1,
};

// Authentication schemes, with WinHTTP's values.
enum AuthScheme : uint32_t {
    authSchemeBasic = 0x1,
    authSchemeNtlm = 0x2,
    authSchemePassport = 0x4,
    authSchemeDigest = 0x8,
    authSchemeNegotiate = 0x10,
};

struct Credential {
    String user;
    String password;
};

class CredentialProvider : public Referable {
public:
    ~CredentialProvider() override {}
    // A credential for the target (targetText names realm and host), or
    // false for none. laterTrial: the previous credential was refused.
    virtual bool getCredential(CredentialTarget target, const String& targetText, uint32_t scheme,
                               bool laterTrial, Credential& credential) = 0;
    // How many credentials one request may try.
    virtual uint32_t getMaxTrials() = 0;

    // Always hands out this pair; 1 trial.
    static AutoPtr<CredentialProvider> createSimple(const String& user, const String& password);
    // Remembers what inner hands out per target, target text and scheme: a
    // first trial takes the remembered credential, a later trial forgets it
    // and asks inner again. Shared by the requests of one HTTP manager.
    static AutoPtr<CredentialProvider> createCache(const AutoPtr<CredentialProvider>& inner);
#if defined(_WIN32)
    // The Windows provider: the stored credential first, then the platform's
    // credential dialog titled title; 5 trials. See svr_credential_win.cpp.
    static AutoPtr<CredentialProvider> createWindows(const String& title);
#endif
};

// "BASIC", "NTLM", "PASSPORT", "DIGEST", "NEGOTIATE", else "UNKNOWN".
const char* authSchemeName(uint32_t scheme);
// "SERVER", "PROXY", else "UNKNOWN".
const char* credentialTargetName(uint32_t target);
// The scheme WinHTTP should use of those offered (a bit set): Negotiate,
// else NTLM, Passport, Digest, Basic; 0 when none of them is offered.
uint32_t chooseAuthScheme(uint32_t offered);
// The realm in an authenticate header: the value after realm= (quoted or
// up to the next comma or blank); empty when there is none.
String realmFromChallenge(const String& challenge);

#if defined(_WIN32)
// The platform's credential store as the Windows provider uses it: generic
// credentials named "_qlncred:<TARGET>:<SCHEME>:<target text>" whose password
// is protected by the data-protection service (with the provider's own
// entropy) before it is stored.
namespace CredentialStore {
String nameFor(CredentialTarget target, uint32_t scheme, const String& targetText);
bool write(const String& name, const Credential& credential);
bool read(const String& name, Credential& credential);
bool remove(const String& name);
} // namespace CredentialStore
#endif

} // namespace Solvaris
