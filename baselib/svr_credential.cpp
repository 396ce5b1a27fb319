// The portable credential providers and the authentication helper texts.
#include "baselib/svr_credential.h"

#include <cstring>
#include <vector>

namespace Solvaris {

Secret::Secret(const char* utf8) : Secret(utf8, utf8 ? std::strlen(utf8) : 0) {}

Secret::Secret(const char* utf8, size_t size) {
    if (!utf8 || size == 0)
        return;
    m_bytes = new char[size + 1];
    std::memcpy(m_bytes, utf8, size);
    m_bytes[size] = 0;
    m_size = size;
}

Secret::Secret(const String& text) {
    if (!text.isEmpty())
        *this = Secret(text.c_str(), text.length());
}

bool Secret::operator==(const Secret& other) const {
    return m_size == other.m_size && std::memcmp(data(), other.data(), m_size) == 0;
}

void Secret::clear() {
    if (m_bytes) {
        memWipe(m_bytes, m_size + 1);
        delete[] m_bytes;
    }
    m_bytes = nullptr;
    m_size = 0;
}
namespace _Svr_Internal_NS_ {

class SimpleCredentialProvider : public CredentialProvider {
public:
    SimpleCredentialProvider(const String& user, const String& password) {
        m_credential.user = user;
        m_credential.password = Secret(password);
    }
    bool getCredential(CredentialTarget, const String&, uint32_t, bool, Credential& credential) override {
        credential = m_credential;
        return true;
    }
    uint32_t getMaxTrials() override { return 1; }

private:
    Credential m_credential;
};

class CredentialProviderCache : public CredentialProvider {
public:
    explicit CredentialProviderCache(const AutoPtr<CredentialProvider>& inner) : m_inner(inner) {}

    bool getCredential(CredentialTarget target, const String& targetText, uint32_t scheme, bool laterTrial,
                       Credential& credential) override {
        {
            LockGuard guard(m_mutex);
            for (size_t i = 0; i < m_entries.size(); ++i) {
                Entry& e = m_entries[i];
                if (e.target != target || e.scheme != scheme || e.text.compare(targetText) != 0)
                    continue;
                if (!laterTrial) {
                    credential = e.credential;
                    return true;
                }
                m_entries.erase(m_entries.begin() + i);
                break;
            }
        }
        // The inner provider may show a dialog: not under the lock.
        if (!m_inner || !m_inner->getCredential(target, targetText, scheme, laterTrial, credential))
            return false;
        LockGuard guard(m_mutex);
        m_entries.push_back(Entry{target, targetText, scheme, credential});
        return true;
    }

    uint32_t getMaxTrials() override { return m_inner ? m_inner->getMaxTrials() : 0; }

private:
    struct Entry {
        CredentialTarget target;
        String text;
        uint32_t scheme;
        Credential credential;
    };
    AutoPtr<CredentialProvider> m_inner;
    Mutex m_mutex;
    std::vector<Entry> m_entries;
};

} // namespace _Svr_Internal_NS_

AutoPtr<CredentialProvider> CredentialProvider::createSimple(const String& user, const String& password) {
    return AutoPtr<CredentialProvider>(new _Svr_Internal_NS_::SimpleCredentialProvider(user, password));
}

AutoPtr<CredentialProvider> CredentialProvider::createCache(const AutoPtr<CredentialProvider>& inner) {
    return AutoPtr<CredentialProvider>(new _Svr_Internal_NS_::CredentialProviderCache(inner));
}

const char* authSchemeName(uint32_t scheme) {
    switch (scheme) {
    case authSchemeBasic: return "BASIC";
    case authSchemeNtlm: return "NTLM";
    case authSchemePassport: return "PASSPORT";
    case authSchemeDigest: return "DIGEST";
    case authSchemeNegotiate: return "NEGOTIATE";
    default: return "UNKNOWN";
    }
}

const char* credentialTargetName(uint32_t target) {
    switch (target) {
    case credentialTargetServer: return "SERVER";
    case credentialTargetProxy: return "PROXY";
    default: return "UNKNOWN";
    }
}

uint32_t chooseAuthScheme(uint32_t offered) {
    static const uint32_t order[] = {authSchemeNegotiate, authSchemeNtlm, authSchemePassport, authSchemeDigest,
                                     authSchemeBasic};
    for (uint32_t s : order)
        if (offered & s)
            return s;
    return 0;
}

String realmFromChallenge(const String& challenge) {
    uint32_t n = challenge.length();
    uint32_t at = kNotFound;
    for (uint32_t i = 0; i + 6 <= n; ++i) {
        if (challenge.substring(i, 6).compareNoCase("realm=") == 0) {
            at = i + 6;
            break;
        }
    }
    if (at == kNotFound)
        return String();
    if (challenge.byteAt(at) == '"') {
        uint32_t end = at + 1;
        while (end < n && challenge.byteAt(end) != '"')
            ++end;
        return challenge.substring(at + 1, end - at - 1);
    }
    uint32_t end = at;
    while (end < n && challenge.byteAt(end) != ',' && challenge.byteAt(end) != ' ')
        ++end;
    return challenge.substring(at, end - at);
}

} // namespace Solvaris
