// The HTTP client against real servers on 127.0.0.1 (scripts/http-servers.sh,
// started by the ctest fixture "http"): nginx with ranges and Basic
// authentication, tinyproxy asking for credentials, and our own server that
// redirects and asks for credentials elsewhere. The requests each read makes
// are read back from nginx's access log. What a server in memory can show
// (wrong replies, statuses, "/*" totals, a resource that changes) is in
// tests/baselib/test_cachedstorage.cpp; here is what only real servers show.
#include <windows.h>
#include <wincred.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "baselib/svr_broker.h"
#include "baselib/svr_cachedstorage.h"
#include "baselib/svr_clientcert_win.h"
#include "baselib/svr_credential.h"
#include "baselib/svr_error.h"
#include "baselib/svr_http.h"
#include "support/ui_probe.h"
#include "support/test_kit.h"

using namespace Solvaris;

namespace {

uint8_t byteOf(uint64_t i) { return uint8_t((i * 7 + i / 251) & 0xff); }

class Http : public ::testing::Test {
protected:
    void SetUp() override {
        // name=value lines of the servers' info file.
        const char* path = std::getenv("PV_HTTP_INFO");
        for (const std::string& line : testkit::readLines(path ? path : ""))
            if (line.find('=') != std::string::npos)
                info[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        ASSERT_FALSE(info["web"].empty()) << "no HTTP servers: PV_HTTP_INFO must name the info file";
        setUserProxy("");
        newLogLines();  // what earlier tests asked for
    }
    void TearDown() override { setUserProxy(""); }

    std::string url(const char* server, const char* path, const char* user = "", const char* host = "127.0.0.1") {
        return std::string("http://") + user + host + ":" + info[server] + path;
    }
    uint16_t port(const char* server) { return uint16_t(std::stoi(info[server])); }
    // A GET of `path` on 127.0.0.1 over TLS, certificate errors ignored.
    AutoPtr<HttpRequestStream> secureGet(HttpManager* m, const char* server, const char* path) {
        return m->createSecureConnection("127.0.0.1", port(server), true)->createRequestStream("GET", path);
    }

    // The requests the web server answered since the last call. A marker
    // request closes the list, so nothing is missed that is logged late.
    std::vector<std::string> newLogLines() {
        // Unique over the servers' life: the log keeps every run's marks.
        static int marks = 0;
        std::string mark = "/mark" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++marks);
        AutoPtr<HttpManager> m = HttpManager::create("", AutoPtr<CredentialProvider>());
        m->createConnection("127.0.0.1", port("web"))->createRequestStream("GET", mark.c_str())->post();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::vector<std::string> lines = testkit::readLines("Z:" + info["accesslog"]);
            for (size_t n = logSeen; n < lines.size(); ++n)
                if (lines[n].find(" " + mark + " ") != std::string::npos) {
                    std::vector<std::string> fresh(lines.begin() + logSeen, lines.begin() + n);
                    logSeen = n + 1;
                    return fresh;
                }
            Sleep(50);
        }
        ADD_FAILURE() << "the web server did not log " << mark;
        return {};
    }

    // The current user's proxy settings as WinHTTP reads them: a named
    // proxy, or a direct connection without automatic detection when empty.
    static void setUserProxy(const std::string& proxy) {
        // Version, change counter, direct (plus named proxy), the proxy;
        // then empty bypass list and configuration script.
        std::vector<uint8_t> blob = testkit::le32({0x46, 0, proxy.empty() ? 1u : 3u, uint32_t(proxy.size())});
        blob.insert(blob.end(), proxy.begin(), proxy.end());
        const std::vector<uint8_t> tail = testkit::le32({0, 0});
        blob.insert(blob.end(), tail.begin(), tail.end());
        Solvaris_Win32::RegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CURRENT_USER,
                                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections", 0,
                                  nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
        RegSetValueExW(key.get(), L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(), DWORD(blob.size()));
    }

    // Reads count bytes at offset and checks them; returns the code thrown
    // (0 when the read worked, -1 for wrong bytes).
    static int readAt(Storage* s, uint64_t offset, uint32_t count) {
        std::vector<uint8_t> buf(count);
        uint32_t n = 0;
        const int code = testkit::codeOf([&] { s->setPos(offset), n = s->readBytes(buf.data(), count, true); });
        for (uint32_t i = 0; i < n && !code; ++i)
            if (buf[i] != byteOf(offset + i))
                return -1;
        return code;
    }
    // The same for 10 bytes of a storage the manager opens (or the code of
    // the failed open).
    static int readAt(HttpManager* manager, const std::string& u, uint64_t offset = 0) {
        int code = 0;
        const int opened = testkit::codeOf([&] { code = readAt(manager->createStorage(u.c_str()).get(), offset, 10); });
        return opened ? opened : code;
    }

    std::map<std::string, std::string> info;
    size_t logSeen = 0;
};

} // namespace

// Through the process-wide broker, which opens HTTP names. Which blocks a
// read asks for: CachedStorage.ReadsAskOnlyForTheMissingAlignedBlocks.
TEST_F(Http, BrokerOpensHttpNames) {
    AutoPtr<Storage> s = getStorage(url("web", "/data.bin").c_str());
    EXPECT_EQ(100000u, s->getSize());
    EXPECT_EQ(0, readAt(s.get(), 99990, 10));
    EXPECT_NE(0u, s->getLastModified());
}

TEST_F(Http, FailuresAndCredentialsInTheUrl) {
    AutoPtr<HttpManager> manager = HttpManager::create("", AutoPtr<CredentialProvider>());
    struct Case { std::string url; int code; } cases[] = {
        {url("web", "/auth/data.bin", "tester:wrong@"), errAuthFailed},
        {url("web", "/auth/data.bin"), errAuthRequired},
        {url("closed", "/data.bin"), errNetworkFailed},
        {"http://printvane-nowhere.invalid/data.bin", errNameNotResolved},
        {"ftp://127.0.0.1/data.bin", errInvalidParam},
        {"https://127.0.0.1:" + info["tls"] + "/data.bin", errSecureChannelFailed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, readAt(manager.get(), c.url, 40000)) << c.url;
    // Right credentials: one 401, then the answer (one trial).
    newLogLines();
    AutoPtr<Storage> s = manager->createStorage(url("web", "/auth/data.bin", "tester:secret@").c_str());
    EXPECT_EQ(0, readAt(s.get(), 0, 10));
    std::vector<std::string> expected = {"HEAD /auth/data.bin \"-\" 401", "HEAD /auth/data.bin \"-\" 200",
                                         "GET /auth/data.bin \"bytes=0-32767\" 401",
                                         "GET /auth/data.bin \"bytes=0-32767\" 206"};
    EXPECT_EQ(expected, newLogLines());
    // No credential in the storage's name, late-bound or not.
    AutoPtr<Storage> late = getStorage(url("web", "/auth/data.bin", "tester:secret@").c_str(), true);
    for (Storage* named : {s.get(), late.get()})
        EXPECT_STREQ(url("web", "/auth/data.bin").c_str(), named->getName().c_str());
}

// A redirect to another host does not take the first host's credentials
// along: the provider hears of the host that asks, a URL's pair answers only
// its own server, and credentials given to one host are not carried through
// its redirect. The odd server on 127.0.0.2 asks with the same realm as on
// 127.0.0.1 and takes the same pair; its log shows what reached it.
TEST_F(Http, CredentialsStayWithTheHostThatAsked) {
    struct FirstHostOnly : CredentialProvider {
        std::string allowed;
        std::vector<std::string> asked;
        bool getCredential(CredentialTarget, const String& text, uint32_t, bool, Credential& c) override {
            asked.push_back(text.c_str());
            if (allowed == text.c_str())
                c = Credential{"tester", "secret"};
            return allowed == text.c_str();
        }
        uint32_t getMaxTrials() override { return 5; }
    };
    std::string first = "Odd test (127.0.0.1:" + info["odd"] + ")";
    std::string second = "Odd test (127.0.0.2:" + info["odd"] + ")";
    struct Case { std::string url; bool managerProvider; int code; std::vector<std::string> asked; } cases[] = {
        {url("odd", "/auth/data.bin"), true, 0, {first, first}},
        {url("odd", "/redirect/auth/data.bin"), true, errAuthRequired, {second}},
        {url("odd", "/redirect/auth/data.bin", "tester:secret@"), false, errAuthRequired, {}},
        {url("odd", "/authredirect/auth/data.bin", "tester:secret@"), false, errReadFailed, {}},
        {url("odd", "/authredirect/auth/data.bin"), true, errReadFailed, {first, first}},
    };
    std::ifstream log("Z:" + info["oddlog"]);
    log.seekg(0, std::ios::end);
    for (const Case& c : cases) {
        FirstHostOnly* provider = new FirstHostOnly;
        provider->allowed = first;
        AutoPtr<CredentialProvider> held(provider);
        AutoPtr<HttpManager> manager =
            HttpManager::create("", c.managerProvider ? held : AutoPtr<CredentialProvider>());
        EXPECT_EQ(c.code, readAt(manager.get(), c.url)) << c.url;
        EXPECT_EQ(c.asked, provider->asked) << c.url;
    }
    log.clear();
    for (std::string line; std::getline(log, line);)
        EXPECT_FALSE(line.rfind("127.0.0.2 ", 0) == 0 && line.find(" auth") != std::string::npos) << line;

    // https never hands over to plain http.
    AutoPtr<HttpManager> manager = HttpManager::create("", AutoPtr<CredentialProvider>());
    testkit::codeOf([&] { secureGet(manager.get(), "tls", "/tohttp/data.bin")->post(); });
    EXPECT_EQ(std::vector<std::string>{"GET /tohttp/data.bin \"-\" 302"}, newLogLines());
}

TEST_F(Http, ProxyAskingForCredentials) {
    setUserProxy("127.0.0.1:" + info["proxy"]);
    // The proxy asks the manager's provider; a URL's pair is for its server.
    struct Case { AutoPtr<CredentialProvider> provider; const char* user; int code; } cases[] = {
        {AutoPtr<CredentialProvider>(), "", errAuthFailed},
        {AutoPtr<CredentialProvider>(), "proxyuser:proxypass@", errAuthFailed},
        {CredentialProvider::createSimple("proxyuser", "wrong"), "", errAuthFailed},
        {CredentialProvider::createSimple("proxyuser", "proxypass"), "tester:secret@", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.code, readAt(HttpManager::create("", c.provider).get(), url("web", "/data.bin", c.user, "127.0.0.2")))
            << c.user;
    setUserProxy("");
    EXPECT_EQ(std::vector<std::string>({"HEAD /data.bin \"-\" 200", "GET /data.bin \"bytes=0-32767\" 206"}),
              newLogLines());
}

// The streams over TLS with certificate errors ignored: a request, its
// extra header and its status notifications (one line each in the debug
// file), and a reply read in many pieces to its end.
TEST_F(Http, StreamsOverASecureConnectionThatIgnoresCertificateErrors) {
    AutoPtr<HttpManager> manager = HttpManager::create("", AutoPtr<CredentialProvider>());
    // A server asking for a client certificate, with none in the user's
    // store: the request goes on without one and the server's answer comes
    // back as a status.
    EXPECT_EQ(400u, secureGet(manager.get(), "tlscert", "/data.bin")->post()->getStatusCode());

    AutoPtr<HttpRequestStream> request = secureGet(manager.get(), "tls", "/data.bin");
    EXPECT_STREQ(("https://127.0.0.1:" + info["tls"] + "/data.bin").c_str(), request->getUrl().c_str());
    uint8_t b = 0;
    EXPECT_THROW(request->readBytes(&b, 1), Exception);
    request->addHeader("Range: bytes=100-99999");
    std::string trace = "Z:" + info["accesslog"] + ".trace";
    std::remove(trace.c_str());
    testkit::setEnv("_PXLL_DEBUG_FILE", trace.c_str());
    AutoPtr<HttpResponseStream> response = request->post();
    testkit::unsetEnv("_PXLL_DEBUG_FILE");
    EXPECT_EQ(206u, response->getStatusCode());
    EXPECT_EQ(99900u, response->getContentLength());
    EXPECT_STREQ("bytes 100-99999/100000", response->getHeader("content-range").c_str());
    std::vector<uint8_t> body(99900);
    EXPECT_EQ(99900u, response->readBytes(body.data(), 99900, true));
    EXPECT_EQ(byteOf(77777), body[77777 - 100]);
    EXPECT_EQ(errEOF, testkit::codeOf([&] { response->readBytes(&b, 1, true); }));
    EXPECT_EQ(errNotFound, testkit::codeOf([&] { response->getHeader("X-Not-There"); }));
    EXPECT_EQ(errInvalidParam, testkit::codeOf([&] { response->getNthHeader(response->getHeaderCount()); }));
    const std::vector<std::string> lines = testkit::readLines(trace);
    EXPECT_NE(lines.end(), std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("HttpRequestStreamImpl(", 0) == 0 && testkit::endsWith(line, ") : SENDING_REQUEST");
    })) << lines.size();
}

// The client certificate is chosen by the server's issuer list and by the
// client-authentication usage, from certificates signed in memory.
TEST(ClientCertificate, IssuerListAndUsageChoose) {
    HCRYPTPROV prov = 0;
    ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTKEY key = 0;
    ASSERT_TRUE(CryptGenKey(prov, AT_SIGNATURE, 1024u << 16, &key));
    Solvaris_Win32::CertStoreRef store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    std::map<std::string, std::vector<BYTE>> names;
    auto name = [&](const wchar_t* cn) -> CERT_NAME_BLOB {
        std::vector<BYTE>& n = names[Solvaris::String(cn).c_str()];
        n.resize(256);
        DWORD size = DWORD(n.size());
        CertStrToNameW(X509_ASN_ENCODING, cn, CERT_X500_NAME_STR, nullptr, n.data(), &size, nullptr);
        return CERT_NAME_BLOB{size, n.data()};
    };
    // Self-signed: each certificate is its own issuer.
    auto add = [&](const wchar_t* cn, const char* usage, bool withKey) {
        CERT_NAME_BLOB subject = name(cn);
        std::vector<BYTE> encoded(256);
        CERT_EXTENSION ext = {};
        CERT_EXTENSIONS exts = {0, &ext};
        if (usage) {
            LPSTR ids[] = {const_cast<LPSTR>(usage)};
            CERT_ENHKEY_USAGE eku = {1, ids};
            DWORD size = DWORD(encoded.size());
            CryptEncodeObject(X509_ASN_ENCODING, X509_ENHANCED_KEY_USAGE, &eku, encoded.data(), &size);
            ext = CERT_EXTENSION{const_cast<LPSTR>(szOID_ENHANCED_KEY_USAGE), FALSE, {size, encoded.data()}};
            exts.cExtension = 1;
        }
        PCCERT_CONTEXT cert = CertCreateSelfSignCertificate(prov, &subject, 0, nullptr, nullptr, nullptr, nullptr, &exts);
        ASSERT_NE(nullptr, cert);
        CRYPT_KEY_PROV_INFO info = {const_cast<wchar_t*>(L"printvane-test"), nullptr, PROV_RSA_FULL, 0, 0, nullptr,
                                    AT_SIGNATURE};
        CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, withKey ? &info : nullptr);
        CertAddCertificateContextToStore(store.get(), cert, CERT_STORE_ADD_ALWAYS, nullptr);
        CertFreeCertificateContext(cert);
    };
    add(L"CN=Server only", szOID_PKIX_KP_SERVER_AUTH, true);
    add(L"CN=No key", szOID_PKIX_KP_CLIENT_AUTH, false);
    add(L"CN=Client", szOID_PKIX_KP_CLIENT_AUTH, true);
    add(L"CN=Any usage", nullptr, true);
    struct Case { std::vector<const wchar_t*> issuers; const char* chosen; } cases[] = {
        {{L"CN=Server only", L"CN=Client"}, "Client"},
        {{L"CN=Elsewhere"}, ""},
        {{L"CN=Server only", L"CN=No key"}, ""},
        {{L"CN=Elsewhere", L"CN=Any usage"}, "Any usage"},
        {{}, ""},  // the server names no issuer
    };
    for (const Case& c : cases) {
        std::vector<CERT_NAME_BLOB> issuers;
        for (const wchar_t* cn : c.issuers)
            issuers.push_back(name(cn));
        Solvaris_Win32::CertificateRef chosen = Solvaris_Win32::chooseClientCertificate(store.get(), issuers);
        char subject[128] = "";
        if (chosen)
            CertGetNameStringA(chosen.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, sizeof(subject));
        EXPECT_STREQ(c.chosen, subject) << c.issuers.size();
    }
    CryptDestroyKey(key);
    CryptReleaseContext(prov, 0);
}

// TLS 1.2 and 1.3 where the system takes both, TLS 1.2 alone where it
// refuses the 1.3 flag as an invalid parameter; any other refusal is final.
TEST(SecureProtocols, TlsTwelveAndThirteenElseTwelveAlone) {
    const struct { DWORD refusal, set; std::vector<DWORD> tried; } cases[] = {
        {0, 0x2800, {0x2800}},
        {ERROR_INVALID_PARAMETER, 0x800, {0x2800, 0x800}},
        {ERROR_ACCESS_DENIED, 0, {0x2800}},
    };
    for (const auto& c : cases) {
        std::vector<DWORD> tried;
        const DWORD set = Solvaris_Win32::setSecureProtocols([&](DWORD protocols) {
            tried.push_back(protocols);
            SetLastError(c.refusal);
            return c.refusal == 0 || protocols == Solvaris_Win32::kSecureProtocolTls12;
        });
        EXPECT_EQ(set, c.set) << c.refusal;
        EXPECT_EQ(tried, c.tried) << c.refusal;
    }
}

namespace {

// The credential dialog as a script: each call records what the dialog was
// shown and answers with the next scripted user, password and save box.
struct ScriptedDialog {
    struct Answer { std::wstring user, password; bool save; };
    struct Shown { HWND owner; std::wstring user, password; };
    static std::vector<Answer> answers;
    static std::vector<Shown> shown;
    static unsigned long __stdcall prompt(void* info, const wchar_t*, void*, unsigned long, wchar_t* user,
                                          unsigned long userMax, wchar_t* password, unsigned long passwordMax,
                                          int* save, unsigned long) {
        shown.push_back({static_cast<CREDUI_INFOW*>(info)->hwndParent, user, password});
        if (shown.size() > answers.size())
            return ERROR_CANCELLED;
        const Answer& a = answers[shown.size() - 1];
        wcsncpy(user, a.user.c_str(), userMax);
        wcsncpy(password, a.password.c_str(), passwordMax);
        *save = a.save;
        return NO_ERROR;
    }
};
std::vector<ScriptedDialog::Answer> ScriptedDialog::answers;
std::vector<ScriptedDialog::Shown> ScriptedDialog::shown;

} // namespace

// The Windows provider's dialog: owned by the program's active window; a
// stored credential the server refused leaves the store; the stored
// password's placeholder stands for it only under the stored user name;
// Cancel gives no credential. The store itself: names, protected passwords.
TEST(CredentialDialog, OwnerRefusedStoredCredentialAndPlaceholder) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    SetActiveWindow(owner);
    const wchar_t* keep = L"qlnKeepStored!";
    String name = CredentialStore::nameFor(credentialTargetServer, authSchemeBasic, "Dialog test (h:1)");
    AutoPtr<CredentialProvider> provider = CredentialProvider::createWindows("HTTP Authentication", ScriptedDialog::prompt);
    struct Case {
        const char* name;
        Credential refused;  // empty user: a first trial
        std::vector<ScriptedDialog::Answer> answers;
        const char *user, *password;
        std::vector<std::wstring> passwordsShown;
        bool storedAfter;
    } cases[] = {
        {"the stored credential, no dialog", {}, {}, "alice", "stored-pw", {}, true},
        {"refused: removed from the store, asked without placeholder", {"alice", "stored-pw"},
         {{L"alice", L"new-pw", false}}, "alice", "new-pw", {L""}, false},
        {"another name keeping the placeholder: asked again", {"carol", "x"},
         {{L"bob", keep, false}, {L"bob", L"bob-pw", false}}, "bob", "bob-pw", {keep, L""}, true},
        {"the stored name keeping the placeholder", {"carol", "x"}, {{L"alice", keep, false}}, "alice",
         "stored-pw", {keep}, true},
        {"cancelled", {"alice", "stored-pw"}, {}, nullptr, nullptr, {L""}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(CredentialStore::write(name, Credential{"alice", "stored-pw"}));
        ScriptedDialog::answers = c.answers;
        ScriptedDialog::shown.clear();
        Credential got = c.refused;
        const bool given = provider->getCredential(credentialTargetServer, "Dialog test (h:1)", authSchemeBasic,
                                                   !c.refused.user.isEmpty(), got);
        ASSERT_EQ(c.user != nullptr, given);
        if (given) {
            EXPECT_STREQ(c.user, got.user.c_str());
            EXPECT_STREQ(c.password, got.password.data());
        }
        std::vector<std::wstring> passwords;
        for (const ScriptedDialog::Shown& s : ScriptedDialog::shown) {
            passwords.push_back(s.password);
            EXPECT_EQ(owner, s.owner);
        }
        EXPECT_EQ(c.passwordsShown, passwords);
        Credential left;
        EXPECT_EQ(c.storedAfter, CredentialStore::read(name, left));
    }
    // The store holds the protected form of a password, which reads back whole.
    EXPECT_STREQ("_qlncred:SERVER:BASIC:Dialog test (h:1)", name.c_str());
    Credential in{"tester", "s3cr\xc3\xa9t"}, out;
    ASSERT_TRUE(CredentialStore::write(name, in));
    ASSERT_TRUE(CredentialStore::read(name, out));
    EXPECT_TRUE(in.password == out.password);
    PCREDENTIALW raw = nullptr;
    ASSERT_TRUE(CredReadW(name.c_wstr(), CRED_TYPE_GENERIC, 0, &raw));
    std::string blob(reinterpret_cast<char*>(raw->CredentialBlob), raw->CredentialBlobSize);
    CredFree(raw);
    EXPECT_EQ(std::string::npos, blob.find("s3cr"));
    EXPECT_TRUE(CredentialStore::remove(name));
    DestroyWindow(owner);
}
