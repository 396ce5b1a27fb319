// The Windows credential provider: credentials kept in the platform's
// credential store (password protected by the data-protection service) and
// asked for with the platform's credential dialog.
#include <windows.h>
#include <wincred.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "baselib/svr_credential.h"
#include "baselib/svr_crypt32_win.h"
#include "baselib/svr_handle_win.h"

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
// CredUIPromptForCredentialsW, or null when credui.dll cannot be loaded.
CredentialProvider::Prompt credentialDialog() {
    static CredentialProvider::Prompt prompt = [] {
        HMODULE credui = LoadLibraryExW(L"credui.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return credui ? reinterpret_cast<CredentialProvider::Prompt>(
                            reinterpret_cast<void*>(GetProcAddress(credui, "CredUIPromptForCredentialsW")))
                      : nullptr;
    }();
    return prompt;
}

// The window the credential dialog belongs to, so that it opens in front of
// the program's own (modal) windows rather than behind them: the calling
// thread's active window, else the foreground window when it is ours.
HWND dialogOwner() {
    HWND active = GetActiveWindow();
    if (active)
        return active;
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground && GetWindowThreadProcessId(foreground, &process) && process == GetCurrentProcessId())
        return foreground;
    return nullptr;
}

// A fixed-size UTF-16 buffer for the dialog's password box, wiped when done.
struct PasswordBox {
    wchar_t text[CREDUI_MAX_PASSWORD_LENGTH + 1] = {};
    ~PasswordBox() { SecureZeroMemory(text, sizeof(text)); }
};

DATA_BLOB entropyBlob() {
    DATA_BLOB b;
    b.cbData = DWORD(sizeof(kEntropy) - 1);
    b.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy));
    return b;
}

} // namespace

WideSecret::WideSecret(const Secret& secret) {
    int units = secret.empty() ? 0
                               : MultiByteToWideChar(CP_UTF8, 0, secret.data(), int(secret.size()), nullptr, 0);
    m_units.assign(size_t(units > 0 ? units : 0) + 1, L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, secret.data(), int(secret.size()), m_units.data(), units);
}

WideSecret::~WideSecret() { SecureZeroMemory(m_units.data(), m_units.size() * sizeof(wchar_t)); }

Secret secretFromWide(const wchar_t* text) {
    int bytes = text && *text ? WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr) : 0;
    if (bytes <= 1)
        return Secret();
    std::vector<char> utf8(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    Secret secret(utf8.data(), size_t(bytes - 1));
    SecureZeroMemory(utf8.data(), utf8.size());
    return secret;
}

String CredentialStore::nameFor(CredentialTarget target, uint32_t scheme, const String& targetText) {
    return String::format("_qlncred:%s:%s:%s", credentialTargetName(target), authSchemeName(scheme),
                          targetText.c_str());
}

bool CredentialStore::write(const String& name, const Credential& credential) {
    DATA_BLOB plain;
    plain.cbData = DWORD(credential.password.size());
    plain.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(credential.password.data()));
    DATA_BLOB entropy = entropyBlob();
    DATA_BLOB sealed = {};
    const Solvaris_Win32::Crypt32* crypt = Solvaris_Win32::crypt32();
    if (!crypt || !crypt->protectData(&plain, L"", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return false;
    const Solvaris_Win32::LocalPtr<BYTE> sealedBytes(sealed.pbData);
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
    const Solvaris_Win32::Crypt32* crypt = Solvaris_Win32::crypt32();
    bool ok = crypt &&
              crypt->unprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &plain);
    const Solvaris_Win32::LocalPtr<BYTE> plainBytes(plain.pbData);
    if (ok) {
        credential.user = stored->UserName ? String(stored->UserName) : String();
        credential.password = Secret(reinterpret_cast<const char*>(plain.pbData), plain.cbData);
        SecureZeroMemory(plain.pbData, plain.cbData);
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
    CredentialProviderImpl(const String& title, Prompt prompt) : m_title(title), m_prompt(prompt) {}

    // A first trial takes a stored credential; otherwise the dialog asks
    // (saying that the last one was refused on a later trial), and a
    // credential the user asks to keep is stored. A stored credential the
    // server refused is removed from the store. The dialog shows a stored
    // password as a placeholder, which stands for it only under the stored
    // user name: a new name with the placeholder left asks once more, with
    // an empty password box.
    bool getCredential(CredentialTarget target, const String& targetText, uint32_t scheme, bool laterTrial,
                       Credential& credential) override {
        String name = CredentialStore::nameFor(target, scheme, targetText);
        Credential stored;
        bool haveStored = CredentialStore::read(name, stored);
        if (haveStored && !laterTrial) {
            credential = stored;
            return true;
        }
        bool storedRefused = haveStored && laterTrial && credential.user.compare(stored.user) == 0 &&
                             credential.password == stored.password;
        if (storedRefused)
            CredentialStore::remove(name);
        Prompt prompt = m_prompt ? m_prompt : credentialDialog();
        if (!prompt)
            return false;

        wchar_t user[CREDUI_MAX_USERNAME_LENGTH + 1] = {};
        PasswordBox password;
        bool placeholder = haveStored && !storedRefused;
        if (haveStored)
            wcsncpy(user, stored.user.c_wstr(), CREDUI_MAX_USERNAME_LENGTH);
        else if (!credential.user.isEmpty())
            wcsncpy(user, credential.user.c_wstr(), CREDUI_MAX_USERNAME_LENGTH);
        CREDUI_INFOW info = {};
        info.cbSize = sizeof(info);
        info.hwndParent = dialogOwner();
        info.pszMessageText = targetText.c_wstr();
        info.pszCaptionText = m_title.c_wstr();
        BOOL save = FALSE;
        DWORD flags = CREDUI_FLAGS_GENERIC_CREDENTIALS | CREDUI_FLAGS_DO_NOT_PERSIST |
                      CREDUI_FLAGS_SHOW_SAVE_CHECK_BOX | CREDUI_FLAGS_ALWAYS_SHOW_UI;
        if (laterTrial)
            flags |= CREDUI_FLAGS_INCORRECT_PASSWORD;
        for (;;) {
            if (placeholder)
                wcscpy(password.text, kPlaceholder);
            DWORD result = prompt(&info, targetText.c_wstr(), nullptr, laterTrial ? ERROR_LOGON_FAILURE : 0, user,
                                  CREDUI_MAX_USERNAME_LENGTH + 1, password.text, CREDUI_MAX_PASSWORD_LENGTH + 1,
                                  &save, flags);
            if (result != NO_ERROR)
                return false;
            if (!placeholder || wcscmp(password.text, kPlaceholder) != 0)
                break;
            if (stored.user.compare(String(user)) == 0) {
                credential.user = stored.user;
                credential.password = stored.password;
                if (save)
                    CredentialStore::write(name, credential);
                return true;
            }
            // Another name with the stored password's placeholder: that
            // password belongs to the stored name, not to this one.
            placeholder = false;
            SecureZeroMemory(password.text, sizeof(password.text));
        }
        credential.user = String(user);
        credential.password = secretFromWide(password.text);
        if (save)
            CredentialStore::write(name, credential);
        return true;
    }

    uint32_t getMaxTrials() override { return 5; }

private:
    String m_title;
    Prompt m_prompt;
};

} // namespace _Svr_Internal_NS_

AutoPtr<CredentialProvider> CredentialProvider::createWindows(const String& title) {
    return createWindows(title, nullptr);
}

AutoPtr<CredentialProvider> CredentialProvider::createWindows(const String& title, Prompt prompt) {
    return AutoPtr<CredentialProvider>(new _Svr_Internal_NS_::CredentialProviderImpl(title, prompt));
}

} // namespace Solvaris
