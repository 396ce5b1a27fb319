// Credentials for HTTP authentication: the provider interface the HTTP
// client asks, the provider made from a URL's user name and password, and a
// cache per target and scheme in front of another provider. The Windows
// provider (prompts and the credential store) is in svr_credential_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// A password: its own copy of the bytes (UTF-8), shared with nothing and
// wiped when it is replaced or released.
class Secret {
public:
    Secret() = default;
    Secret(const char* utf8);  // NOLINT: a text literal is a password too
    Secret(const char* utf8, size_t size);
    explicit Secret(const String& text);
    Secret(const Secret& other) : Secret(other.m_bytes, other.m_size) {}
    Secret(Secret&& other) noexcept : m_bytes(other.m_bytes), m_size(other.m_size) {
        other.m_bytes = nullptr;
        other.m_size = 0;
    }
    Secret& operator=(Secret other) noexcept {
        std::swap(m_bytes, other.m_bytes);
        std::swap(m_size, other.m_size);
        return *this;
    }
    ~Secret() { clear(); }

    const char* data() const { return m_bytes ? m_bytes : ""; }  // NUL-terminated
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    bool operator==(const Secret& other) const;
    bool operator!=(const Secret& other) const { return !(*this == other); }
    void clear();

private:
    char* m_bytes = nullptr;
    size_t m_size = 0;
};

#if defined(_WIN32)
// A password as UTF-16 for the platform's calls, wiped when released.
class WideSecret {
public:
    explicit WideSecret(const Secret& secret);
    WideSecret(const WideSecret&) = delete;
    WideSecret& operator=(const WideSecret&) = delete;
    ~WideSecret();
    const wchar_t* c_wstr() const { return m_units.data(); }

private:
    std::vector<wchar_t> m_units;  // sized once, never grown
};
// The password typed as UTF-16 (NUL-terminated), as a Secret.
Secret secretFromWide(const wchar_t* text);
#endif

struct Credential {
    String user;
    Secret password;
};

class CredentialProvider : public Referable {
public:
    ~CredentialProvider() override {}
    // A credential for the target (targetText names realm and host), or
    // false for none. laterTrial: the previous credential was refused; it
    // is in credential on entry then (empty when the caller has none).
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
    // The same with another dialog of CredUIPromptForCredentialsW's shape
    // (tests); the info block's owner window is the one the dialog gets.
    typedef unsigned long(__stdcall* Prompt)(void* info, const wchar_t* target, void* reserved,
                                             unsigned long error, wchar_t* user, unsigned long userMax,
                                             wchar_t* password, unsigned long passwordMax, int* save,
                                             unsigned long flags);
    static AutoPtr<CredentialProvider> createWindows(const String& title, Prompt prompt);
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
