// The Windows credential provider: credentials kept in the platform's
// credential store (password protected by the data-protection service) and
// asked for with the platform's credential dialog.
#include <windows.h>
#include <wincred.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "baselib/svr_credential.h"

namespace Solvaris {

namespace {

// The entropy that binds stored passwords to this library (36 characters).
const char kEntropy[] = "Printvane-Quillon-credential-entropy";
static_assert(sizeof(kEntropy) - 1 == 36, "entropy text length");
// Shown in the password box in place of a stored password (14 characters):
// left as it is, the stored password is used.
const wchar_t kPlaceholder[] = L"qlnKeepStored!";
static_assert(sizeof(kPlaceholder) / sizeof(wchar_t) - 1 == 14, "placeholder length");

// The credential dialog lives in credui.dll, which is loaded from the system
// folder when a dialog is first needed: the program does not import it, so
// it is neither loaded at every start nor looked for beside the program.
typedef DWORD(WINAPI* PromptForCredentials)(PCREDUI_INFOW, PCWSTR, PCtxtHandle, DWORD, PWSTR, ULONG, PWSTR, ULONG,
                                            BOOL*, DWORD);

PromptForCredentials credentialDialog() {
    static PromptForCredentials prompt = [] {
        HMODULE credui = LoadLibraryExW(L"credui.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return credui ? reinterpret_cast<PromptForCredentials>(
                            reinterpret_cast<void*>(GetProcAddress(credui, "CredUIPromptForCredentialsW")))
                      : nullptr;
    }();
    return prompt;
}

DATA_BLOB entropyBlob() {
    DATA_BLOB b;
    b.cbData = DWORD(sizeof(kEntropy) - 1);
    b.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy));
    return b;
}

} // namespace

String CredentialStore::nameFor(CredentialTarget target, uint32_t scheme, const String& targetText) {
    return String::format("_qlncred:%s:%s:%s", credentialTargetName(target), authSchemeName(scheme),
                          targetText.c_str());
}

bool CredentialStore::write(const String& name, const Credential& credential) {
    DATA_BLOB plain;
    plain.cbData = credential.password.length();
    plain.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(credential.password.c_str()));
    DATA_BLOB entropy = entropyBlob();
    DATA_BLOB sealed = {};
    if (!CryptProtectData(&plain, L"", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return false;
    std::vector<wchar_t> target(name.c_wstr(), name.c_wstr() + name.wlength() + 1);
    std::vector<wchar_t> user(credential.user.c_wstr(), credential.user.c_wstr() + credential.user.wlength() + 1);
    CREDENTIALW c = {};
    c.Type = CRED_TYPE_GENERIC;
    c.TargetName = target.data();
    c.CredentialBlobSize = sealed.cbData;
    c.CredentialBlob = sealed.pbData;
    c.Persist = CRED_PERSIST_LOCAL_MACHINE;
    c.UserName = user.data();
    BOOL ok = CredWriteW(&c, 0);
    SecureZeroMemory(sealed.pbData, sealed.cbData);
    LocalFree(sealed.pbData);
    return ok != FALSE;
}

bool CredentialStore::read(const String& name, Credential& credential) {
    PCREDENTIALW stored = nullptr;
    if (!CredReadW(name.c_wstr(), CRED_TYPE_GENERIC, 0, &stored))
        return false;
    DATA_BLOB sealed;
    sealed.cbData = stored->CredentialBlobSize;
    sealed.pbData = stored->CredentialBlob;
    DATA_BLOB entropy = entropyBlob();
    DATA_BLOB plain = {};
    bool ok = CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain) != FALSE;
    if (ok) {
        credential.user = stored->UserName ? String(stored->UserName) : String();
        credential.password = String(reinterpret_cast<const char*>(plain.pbData), int32_t(plain.cbData));
        SecureZeroMemory(plain.pbData, plain.cbData);
        LocalFree(plain.pbData);
    }
    CredFree(stored);
    return ok;
}

bool CredentialStore::remove(const String& name) {
    return CredDeleteW(name.c_wstr(), CRED_TYPE_GENERIC, 0) != FALSE;
}

namespace _Svr_Internal_NS_ {

class CredentialProviderImpl : public CredentialProvider {
public:
    explicit CredentialProviderImpl(const String& title) : m_title(title) {}

    // A first trial takes a stored credential; otherwise the dialog asks
    // (saying that the last one was refused on a later trial), and a
    // credential the user asks to keep is stored.
    bool getCredential(CredentialTarget target, const String& targetText, uint32_t scheme, bool laterTrial,
                       Credential& credential) override {
        String name = CredentialStore::nameFor(target, scheme, targetText);
        Credential stored;
        bool haveStored = CredentialStore::read(name, stored);
        if (haveStored && !laterTrial) {
            credential = stored;
            return true;
        }
        wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
        wchar_t password[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
        if (haveStored) {
            wcsncpy(user, stored.user.c_wstr(), CREDUI_MAX_USERNAME_LENGTH);
            wcscpy(password, kPlaceholder);
        }
        CREDUI_INFOW info = {};
        info.cbSize = sizeof(info);
        info.pszMessageText = targetText.c_wstr();
        info.pszCaptionText = m_title.c_wstr();
        BOOL save = FALSE;
        DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_DO_NOT_PERSIST |
                      CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX | CREDUI_FLAGS_ALWAYS_SHOW_UI;
        if (laterTrial)
            flags |= CREDUI_FLAGS_INCORRECT_PASSWORD;
        PromptForCredentials prompt = credentialDialog();
        if (!prompt)
            return false;
        DWORD result = prompt(&info, targetText.c_wstr(), nullptr,
                                                   laterTrial ? ERROR_LOGON_FAILURE : 0, user,
                                                   CREDUI_MAX_USERNAME_LENGTH + 1, password,
                                                   CREDUI_MAX_PASSWORD_LENGTH + 1, &save, flags);
        if (result != NO_ERROR) {
            SecureZeroMemory(password, sizeof(password));
            return false;
        }
        credential.user = String(user);
        credential.password = haveStored && wcscmp(password, kPlaceholder) == 0 ? stored.password : String(password);
        SecureZeroMemory(password, sizeof(password));
        if (save)
            CredentialStore::write(name, credential);
        return true;
    }

    uint32_t getMaxTrials() override { return 5; }

private:
    String m_title;
};

} // namespace _Svr_Internal_NS_

AutoPtr<CredentialProvider> CredentialProvider::createWindows(const String& title) {
    return AutoPtr<CredentialProvider>(new _Svr_Internal_NS_::CredentialProviderImpl(title));
}

} // namespace Solvaris
