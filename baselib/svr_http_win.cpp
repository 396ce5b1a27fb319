// The HTTP client on WinHTTP (synchronous): the manager with its session and
// per-URL proxy decisions, connections, requests with the credential rounds,
// responses, and the range loader of the cached HTTP storage.
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
#define SECURITY_WIN32
#include <sspi.h>
#include <schannel.h>

#include <map>
#include <string>
#include <vector>

#include "baselib/svr_cachedstorage.h"
#include "baselib/svr_clientcert_win.h"
#include "baselib/svr_error.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_http.h"
#include "baselib/svr_syncobjs.h"
#include "baselib/svr_urlutil.h"
#include "baselib/svr_version.h"
#include "baselib/svr_winerror.h"

namespace Solvaris {
namespace _Svr_Internal_NS_ {

namespace {

// A WinHTTP session, connection or request.
using WinHttpHandle = Solvaris_Win32::Owned<HINTERNET, Solvaris_Win32::NullOrReleased<HINTERNET, WinHttpCloseHandle>>;

// Limits a session to the TLS versions setSecureProtocols chooses.
void limitSecureProtocols(HINTERNET session) {
    Solvaris_Win32::setSecureProtocols([session](DWORD protocols) {
        return WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)) != FALSE;
    });
}
// Resend requests and certificate questions one request answers before it
// gives up (credential rounds are bounded by the provider's trials).
const int kMaxExtraRounds = 8;

// Throws the PlatformException of a failed WinHTTP call: the error's
// description, a blank and what.
[[noreturn]] void throwWinHttp(DWORD error, const String& what, const char* file, int line, const char* function) {
    throw PlatformException(errorFromWin32(error), error, describeWin32Error(error) + String(" ") + what, file,
                            line, function);
}
#define THROW_WINHTTP(error, what) throwWinHttp((error), (what), __FILE__, __LINE__, SVR_FUNCSIG)

// ---------------------------------------------------------------------------
// Status notifications, one line each in the debug file.

// The class names the trace lines carry.
constexpr char kConnectionClass[] = "HttpConnectionImpl";
constexpr char kRequestClass[] = "HttpRequestStreamImpl";

const char* statusName(DWORD status) {
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_RESOLVING_NAME: return "RESOLVING_NAME";
    case WINHTTP_CALLBACK_STATUS_NAME_RESOLVED: return "NAME_RESOLVED";
    case WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER: return "CONNECTING_TO_SERVER";
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER: return "CONNECTED_TO_SERVER";
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST: return "SENDING_REQUEST";
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT: return "REQUEST_SENT";
    case WINHTTP_CALLBACK_STATUS_RECEIVING_RESPONSE: return "RECEIVING_RESPONSE";
    case WINHTTP_CALLBACK_STATUS_RESPONSE_RECEIVED: return "RESPONSE_RECEIVED";
    case WINHTTP_CALLBACK_STATUS_CLOSING_CONNECTION: return "CLOSING_CONNECTION";
    case WINHTTP_CALLBACK_STATUS_CONNECTION_CLOSED: return "CONNECTION_CLOSED";
    case WINHTTP_CALLBACK_STATUS_HANDLE_CREATED: return "HANDLE_CREATED";
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: return "HANDLE_CLOSING";
    case WINHTTP_CALLBACK_STATUS_DETECTING_PROXY: return "DETECTING_PROXY";
    case WINHTTP_CALLBACK_STATUS_REDIRECT: return "REDIRECT";
    case WINHTTP_CALLBACK_STATUS_INTERMEDIATE_RESPONSE: return "INTERMEDIATE_RESPONSE";
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: return "SECURE_FAILURE";
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: return "HEADERS_AVAILABLE";
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: return "DATA_AVAILABLE";
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: return "READ_COMPLETE";
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE: return "WRITE_COMPLETE";
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: return "REQUEST_ERROR";
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE: return "SENDREQUEST_COMPLETE";
    default: return "UNKNOWN_STATUS";
    }
}

// The context value is the owning object's address, only ever printed: a
// notification that arrives while or after the handle closes (HANDLE_CLOSING
// may come after WinHttpCloseHandle returns) reads nothing of the object.
template <const char* ClassName>
void CALLBACK traceStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    debugFilePrintf("%s(%p) : %s\n", ClassName, reinterpret_cast<const void*>(context), statusName(status));
}

// Registers the trace for every notification of handle, as lines of
// ClassName(object), or callback, which traces as well. A platform that
// refuses is not traced.
template <const char* ClassName>
void traceHandle(HINTERNET handle, const void* object,
                 WINHTTP_STATUS_CALLBACK callback = traceStatus<ClassName>) {
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(object);
    WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context));
    WinHttpSetStatusCallback(handle, callback, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
}

// Where a request stands: scheme, host and port.
struct Origin {
    bool secure = false;
    String host;
    uint16_t port = 0;

    bool same(const Origin& o) const {
        return secure == o.secure && port == o.port && host.compareNoCase(o.host) == 0;
    }
    // The origin of an absolute URL; false for anything else (a path alone
    // leaves the origin as it was).
    bool takeUrl(const String& url) {
        if (url.substring(0, 7).compareNoCase("http://") != 0 && url.substring(0, 8).compareNoCase("https://") != 0)
            return false;
        Url::UrlComponents parts;
        try {
            Url::separateUrl(parts, url);
        } catch (const Exception&) {
            return false;
        }
        secure = parts.scheme.compareNoCase("https") == 0;
        host = parts.hostname;
        port = parts.port ? parts.port : uint16_t(secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        return true;
    }
};

std::wstring wideOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

// The proxy a request uses: none (direct) or a named one.
struct ProxyDecision {
    DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::wstring proxy;
    std::wstring bypass;
};

} // namespace

class HttpConnectionImpl;
class HttpRequestStreamImpl;

// ---------------------------------------------------------------------------
// HttpManagerImpl

class HttpManagerImpl : public HttpManager {
public:
    HttpManagerImpl(const String& userAgent, const AutoPtr<CredentialProvider>& provider)
        : m_userAgent(userAgent.isEmpty() ? getUserAgentString() : userAgent), m_provider(provider) {
        m_session.reset(WinHttpOpen(m_userAgent.c_wstr(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
        if (!m_session)
            THROW_WINHTTP(GetLastError(), String::format("HttpManagerImpl(%s)", m_userAgent.c_str()));
        limitSecureProtocols(m_session.get());
    }

    AutoPtr<HttpConnection> createConnection(const String& host, uint16_t port) override;
    AutoPtr<HttpConnection> createSecureConnection(const String& host, uint16_t port,
                                                   bool ignoreCertificateErrors) override;
    AutoPtr<Storage> createStorage(const String& url, StreamProgressCallback progress, void* context) override;

    void setProxy(const String&) override { SVR_THROW_CODE(errNotImplemented); }
    AutoPtr<CredentialProvider> getCredentialProvider() override { return m_provider; }

    // The session for connections to host:port: the manager's own, or one
    // opened for the named proxy that the user's settings choose for that
    // server (kept for the manager's life). Some WinHTTP implementations
    // ignore a proxy set on a single request, so the connection starts on a
    // session that already uses it. proxyName receives the proxy's name.
    HINTERNET sessionFor(bool secure, const String& host, uint16_t port, String& proxyName) {
        ProxyDecision decision;
        String url = String::format("%s://%s:%u/", secure ? "https" : "http", host.c_str(), unsigned(port));
        if (!decideProxy(url, decision) || decision.accessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY)
            return m_session.get();
        proxyName = String(decision.proxy.c_str());
        std::wstring key = decision.proxy + L"|" + decision.bypass;
        LockGuard guard(m_proxyMutex);
        auto it = m_proxySessions.find(key);
        if (it != m_proxySessions.end())
            return it->second.get();
        WinHttpHandle named(WinHttpOpen(m_userAgent.c_wstr(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, decision.proxy.c_str(),
                                        decision.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : decision.bypass.c_str(), 0));
        if (!named)
            return m_session.get();  // the proxy cannot be used: as if none were set
        limitSecureProtocols(named.get());
        return (m_proxySessions[key] = std::move(named)).get();
    }

    // Chooses the proxy for url from the user's settings and sets it on the
    // request; returns the proxy's name (empty for a direct connection).
    String applyProxy(HINTERNET request, const String& url) {
        ProxyDecision decision;
        if (!decideProxy(url, decision))
            return String();
        WINHTTP_PROXY_INFO info = {};
        info.dwAccessType = decision.accessType;
        info.lpszProxy = decision.proxy.empty() ? nullptr : &decision.proxy[0];
        info.lpszProxyBypass = decision.bypass.empty() ? nullptr : &decision.bypass[0];
        // A proxy that cannot be set leaves the session's default in place.
        WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
        return decision.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? String(decision.proxy.c_str()) : String();
    }

private:
    // False when the user's settings cannot be read (the proxy is left alone).
    bool decideProxy(const String& url, ProxyDecision& decision) {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
        if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
            return false;
        const Solvaris_Win32::GlobalPtr<wchar_t> owned[] = {Solvaris_Win32::GlobalPtr<wchar_t>(config.lpszAutoConfigUrl),
                                                            Solvaris_Win32::GlobalPtr<wchar_t>(config.lpszProxy),
                                                            Solvaris_Win32::GlobalPtr<wchar_t>(config.lpszProxyBypass)};
        std::wstring script = wideOrEmpty(config.lpszAutoConfigUrl);
        bool autoDetect = config.fAutoDetect != FALSE;
        if (!autoDetect && script.empty()) {
            if (config.lpszProxy && *config.lpszProxy) {
                decision.accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
                decision.proxy = config.lpszProxy;
                decision.bypass = wideOrEmpty(config.lpszProxyBypass);
            }
        } else {
            decision = automaticProxy(url, script);
        }
        return true;
    }

    // Automatic detection or the configuration script, asked once per URL;
    // a failure is remembered as a direct connection.
    // The script when the settings name one, else automatic detection.
    ProxyDecision automaticProxy(const String& url, const std::wstring& script) {
        std::string key = url.c_str();
        {
            LockGuard guard(m_proxyMutex);
            auto it = m_proxyCache.find(key);
            if (it != m_proxyCache.end())
                return it->second;
        }
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.fAutoLogonIfChallenged = TRUE;
        if (!script.empty()) {
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = script.c_str();
        } else {
            options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        ProxyDecision decision;
        WINHTTP_PROXY_INFO info = {};
        String encoded = Url::encodeUrlPath(url);
        if (WinHttpGetProxyForUrl(m_session.get(), encoded.c_wstr(), &options, &info)) {
            const Solvaris_Win32::GlobalPtr<wchar_t> proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
            decision.accessType = info.dwAccessType;
            decision.proxy = wideOrEmpty(proxy.get());
            decision.bypass = wideOrEmpty(bypass.get());
        }
        LockGuard guard(m_proxyMutex);
        m_proxyCache[key] = decision;
        return decision;
    }

    String m_userAgent;
    WinHttpHandle m_session;
    AutoPtr<CredentialProvider> m_provider;
    Mutex m_proxyMutex;
    std::map<std::string, ProxyDecision> m_proxyCache;
    // Closed before the manager's own session.
    std::map<std::wstring, WinHttpHandle> m_proxySessions;
};

// ---------------------------------------------------------------------------
// HttpConnectionImpl

class HttpConnectionImpl : public HttpConnection {
public:
    HttpConnectionImpl(HttpManagerImpl* manager, const String& host, uint16_t port, bool secure, bool ignoreCert)
        : m_manager(manager), m_host(host), m_port(port), m_secure(secure), m_ignoreCert(ignoreCert) {
        HINTERNET session = manager->sessionFor(secure, host, port, m_proxyName);
        m_connect.reset(WinHttpConnect(session, host.c_wstr(), port, 0));
        if (!m_connect)
            THROW_WINHTTP(GetLastError(),
                          String::format(secure ? "HttpManagerImpl::createSecureConnection(%s:%u)"
                                                : "HttpManagerImpl::createConnection(%s:%u)",
                                         host.c_str(), unsigned(port)));
        traceHandle<kConnectionClass>(m_connect.get(), this);
    }

    AutoPtr<HttpRequestStream> createRequestStream(const String& method, const String& path, bool pathIsEncoded,
                                                   const AutoPtr<CredentialProvider>& provider) override;
    String getHost() override { return m_host; }
    uint16_t getPort() override { return m_port; }
    bool isSecure() override { return m_secure; }

    HINTERNET handle() const { return m_connect.get(); }
    HttpManagerImpl* manager() const { return m_manager.get(); }
    bool ignoresCertificateErrors() const { return m_ignoreCert; }
    String proxyName() const { return m_proxyName; }

private:
    AutoPtr<HttpManagerImpl> m_manager;
    String m_host;
    uint16_t m_port;
    bool m_secure;
    bool m_ignoreCert;
    WinHttpHandle m_connect;
    String m_proxyName;
};

AutoPtr<HttpConnection> HttpManagerImpl::createConnection(const String& host, uint16_t port) {
    return AutoPtr<HttpConnection>(new HttpConnectionImpl(this, host, port, false, false));
}

AutoPtr<HttpConnection> HttpManagerImpl::createSecureConnection(const String& host, uint16_t port,
                                                                bool ignoreCertificateErrors) {
    return AutoPtr<HttpConnection>(new HttpConnectionImpl(this, host, port, true, ignoreCertificateErrors));
}

// ---------------------------------------------------------------------------
// HttpResponseStreamImpl

class HttpResponseStreamImpl : public HttpResponseStream {
public:
    HttpResponseStreamImpl(const AutoPtr<Referable>& owner, HINTERNET request, uint32_t status)
        : m_owner(owner), m_request(request), m_status(status) {
        readHeaders();
    }

    uint32_t getStatusCode() override { return m_status; }
    uint32_t getHeaderCount() override { return uint32_t(m_headers.size()); }

    String getNthHeader(uint32_t index) override {
        if (index >= m_headers.size())
            SVR_THROW_CODE(errInvalidParam);
        return m_headers[index];
    }

    bool findHeader(const String& name, String& value) override {
        for (const String& line : m_headers) {
            uint32_t colon = line.find(":");
            if (colon == kNotFound || line.substring(0, colon).trim().compareNoCase(name) != 0)
                continue;
            value = line.substring(colon + 1).trim();
            return true;
        }
        return false;
    }

    String getHeader(const String& name) override {
        String value;
        if (!findHeader(name, value))
            SVR_THROW(errNotFound, String::format("\"%s\" not found from HTTP header.", name.c_str()));
        return value;
    }

    uint64_t getContentLength() override {
        uint64_t length = 0;
        if (!HttpDetail::parseContentLength(getHeader("Content-Length"), length))
            SVR_THROW_CODE(errDataBroken);
        return length;
    }

    uint32_t readBytes(void* buffer, uint32_t count, bool mustReadAll = false) override {
        uint8_t* out = static_cast<uint8_t*>(buffer);
        uint32_t done = 0;
        while (done < count && !m_eof) {
            DWORD got = 0;
            if (!WinHttpReadData(m_request, out + done, count - done, &got))
                THROW_WINHTTP(GetLastError(), "on WinHttpReadData");
            if (got == 0)
                m_eof = true;
            done += got;
        }
        if (done < count && mustReadAll)
            SVR_THROW_CODE(errEOF);
        return done;
    }

    void writeBytes(const void*, uint32_t) override { SVR_THROW_CODE(errNotImplemented); }
    void flushBuffer() override { SVR_THROW_CODE(errNotImplemented); }
    bool isEof() override { return m_eof; }

private:
    // The raw header block, one line each, the status line left out.
    void readHeaders() {
        DWORD size = 0;
        WinHttpQueryHeaders(m_request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                            WINHTTP_NO_HEADER_INDEX);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
            return;
        std::vector<wchar_t> raw(size / sizeof(wchar_t) + 1);
        if (!WinHttpQueryHeaders(m_request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(),
                                 &size, WINHTTP_NO_HEADER_INDEX))
            THROW_WINHTTP(GetLastError(), "on WinHttpQueryHeaders");
        String text(raw.data(), int32_t(size / sizeof(wchar_t)));
        bool first = true;
        uint32_t start = 0;
        while (start < text.length()) {
            uint32_t end = text.substring(start).find("\r\n");
            String line = end == kNotFound ? text.substring(start) : text.substring(start, end);
            start = end == kNotFound ? text.length() : start + end + 2;
            if (first) {
                first = false;
                continue;
            }
            if (!line.isEmpty())
                m_headers.push_back(line);
        }
    }

    AutoPtr<Referable> m_owner;  // the request, which owns the handle
    HINTERNET m_request;
    uint32_t m_status;
    std::vector<String> m_headers;
    bool m_eof = false;
};

// ---------------------------------------------------------------------------
// HttpRequestStreamImpl

class HttpRequestStreamImpl : public HttpRequestStream {
public:
    HttpRequestStreamImpl(HttpConnectionImpl* connection, const String& method, const String& path,
                          const AutoPtr<CredentialProvider>& provider)
        : m_connection(connection), m_method(method), m_path(path), m_provider(provider) {
        m_request.reset(WinHttpOpenRequest(connection->handle(), method.c_wstr(), path.c_wstr(), nullptr,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           connection->isSecure() ? WINHTTP_FLAG_SECURE : 0));
        if (!m_request)
            THROW_WINHTTP(GetLastError(), String::format("HttpConnectionImpl::createRequestStream(%s %s)",
                                                         method.c_str(), path.c_str()));
        m_at.secure = connection->isSecure();
        m_at.host = connection->getHost();
        m_at.port = connection->getPort();
        traceHandle<kRequestClass>(m_request.get(), this, requestStatus);
        // WinHTTP's default, said once more: a secure request never follows
        // a redirect to plain http.
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        WinHttpSetOption(m_request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
        if (connection->isSecure() && connection->ignoresCertificateErrors()) {
            DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                          SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
            WinHttpSetOption(m_request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
        }
        m_proxyName = connection->manager()->applyProxy(m_request.get(), getUrl());
        if (m_proxyName.isEmpty())
            m_proxyName = connection->proxyName();
    }

    String getUrl() override {
        String path = m_path.startsWith("/") ? m_path.substring(1) : m_path;
        return String::format("%s://%s:%u/%s", m_connection->isSecure() ? "https" : "http",
                              m_connection->getHost().c_str(), unsigned(m_connection->getPort()), path.c_str());
    }

    void addHeader(const String& header) override { m_headers += header.trim() + String("\r\n"); }

    void writeBytes(const void* buffer, uint32_t count) override {
        const uint8_t* p = static_cast<const uint8_t*>(buffer);
        m_body.insert(m_body.end(), p, p + count);
    }
    uint32_t readBytes(void*, uint32_t, bool) override { SVR_THROW_CODE(errNotImplemented); }
    bool isEof() override { SVR_THROW_CODE(errNotImplemented); }

    AutoPtr<HttpResponseStream> post() override {
        int extraRounds = 0;
        bool certificateTried = false;
        for (;;) {
            // Credentials given to the server that asked must not travel with
            // a redirect to another one: once they are set, a redirect comes
            // back to the caller as its status instead of being followed.
            if (m_server.set)
                setRedirectPolicy(WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
            setCredential(WINHTTP_AUTH_TARGET_SERVER, m_server);
            setCredential(WINHTTP_AUTH_TARGET_PROXY, m_proxy);
            DWORD bodySize = DWORD(m_body.size());
            if (!WinHttpSendRequest(m_request.get(), m_headers.isEmpty() ? WINHTTP_NO_ADDITIONAL_HEADERS : m_headers.c_wstr(),
                                    m_headers.isEmpty() ? 0 : DWORD(-1), bodySize ? m_body.data() : nullptr, bodySize,
                                    bodySize, 0)) {
                DWORD error = GetLastError();
                if (error == ERROR_WINHTTP_RESEND_REQUEST && ++extraRounds <= kMaxExtraRounds)
                    continue;
                THROW_WINHTTP(error, "on WinHttpSendRequest");
            }
            if (!WinHttpReceiveResponse(m_request.get(), nullptr)) {
                DWORD error = GetLastError();
                if (error == ERROR_WINHTTP_RESEND_REQUEST && ++extraRounds <= kMaxExtraRounds)
                    continue;
                if (error == ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED && !certificateTried) {
                    certificateTried = true;
                    chooseClientCertificate();
                    continue;
                }
                THROW_WINHTTP(error, "on WinHttpReceiveResponse");
            }
            DWORD status = 0, size = sizeof(status);
            if (!WinHttpQueryHeaders(m_request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
                THROW_WINHTTP(GetLastError(), "on WinHttpQueryHeaders");
            if (status == HTTP_STATUS_DENIED || status == HTTP_STATUS_PROXY_AUTH_REQ) {
                authenticate(status == HTTP_STATUS_PROXY_AUTH_REQ);
                continue;
            }
            return AutoPtr<HttpResponseStream>(new HttpResponseStreamImpl(AutoPtr<Referable>(this), m_request.get(), status));
        }
    }

private:
    struct Chosen {
        bool set = false;
        uint32_t scheme = 0;
        Credential credential;
        uint32_t trials = 0;
    };

    void setRedirectPolicy(DWORD policy) {
        if (!WinHttpSetOption(m_request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy)))
            THROW_WINHTTP(GetLastError(), "on WinHttpSetOption(WINHTTP_OPTION_REDIRECT_POLICY)");
    }

    // Traces, and keeps track of redirects: WinHTTP tells them while
    // WinHttpReceiveResponse runs, on the thread that called it, so the
    // request is alive then. The new URL may be absolute or a path alone.
    static void CALLBACK requestStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                       DWORD length) {
        traceStatus<kRequestClass>(handle, context, status, info, length);
        if (status == WINHTTP_CALLBACK_STATUS_REDIRECT && context && info) {
            const wchar_t* location = static_cast<const wchar_t*>(info);
            reinterpret_cast<HttpRequestStreamImpl*>(context)->m_at.takeUrl(String(location));
        }
    }

    // The server the request stands at now, which after a redirect is not
    // the connection's: WinHTTP's own answer where it gives one, else what
    // the redirect notifications said.
    Origin currentOrigin() {
        std::vector<wchar_t> text(512);
        DWORD size = DWORD(text.size() * sizeof(wchar_t));
        bool ok = WinHttpQueryOption(m_request.get(), WINHTTP_OPTION_URL, text.data(), &size) != FALSE;
        if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && size) {
            text.assign(size / sizeof(wchar_t) + 1, 0);
            ok = WinHttpQueryOption(m_request.get(), WINHTTP_OPTION_URL, text.data(), &size) != FALSE;
        }
        text.back() = 0;
        Origin at = m_at;
        if (ok)
            at.takeUrl(String(text.data()));
        return at;
    }

    void setCredential(DWORD target, const Chosen& chosen) {
        if (!chosen.set)
            return;
        WideSecret password(chosen.credential.password);
        if (!WinHttpSetCredentials(m_request.get(), target, chosen.scheme, chosen.credential.user.c_wstr(),
                                   password.c_wstr(), nullptr))
            THROW_WINHTTP(GetLastError(), "on WinHttpSetCredentials");
    }

    String queryText(DWORD query) {
        DWORD size = 0;
        WinHttpQueryHeaders(m_request.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
            return String();
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
        if (!WinHttpQueryHeaders(m_request.get(), query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return String();
        return String(text.data(), int32_t(size / sizeof(wchar_t)));
    }

    // One answer to 401 (server) or 407 (proxy): the next credential for
    // that target, or the failure that ends the request.
    //
    // The request's own provider (a URL's user name and password) answers
    // only the server the URL names; a proxy, or the server a redirect led
    // to, asks the manager's provider (its cache, then the user). The target
    // text names the server that asked, so nothing remembered for one host
    // is handed to another.
    void authenticate(bool proxy) {
        Origin asking = currentOrigin();
        Origin own;
        own.secure = m_connection->isSecure();
        own.host = m_connection->getHost();
        own.port = m_connection->getPort();
        AutoPtr<CredentialProvider> provider = m_provider && !proxy && asking.same(own)
                                                   ? m_provider
                                                   : m_connection->manager()->getCredentialProvider();
        if (!provider) {
            if (proxy)
                SVR_THROW(errAuthFailed, "No credential provider.");
            SVR_THROW(errAuthRequired, "No credential provider.");
        }
        Chosen& chosen = proxy ? m_proxy : m_server;
        if (chosen.trials >= provider->getMaxTrials())
            SVR_THROW(errAuthFailed, proxy ? "Proxy Authorization Failed (407)." : "Authorization Failed (401).");
        String realm = realmFromChallenge(
            queryText(proxy ? WINHTTP_QUERY_PROXY_AUTHENTICATE : WINHTTP_QUERY_WWW_AUTHENTICATE));
        String target = proxy ? String::format("%s (%s)", realm.c_str(), m_proxyName.c_str())
                              : String::format("%s (%s:%u)", realm.c_str(), asking.host.c_str(),
                                               unsigned(asking.port));
        DWORD supported = 0, first = 0, authTarget = 0;
        if (!WinHttpQueryAuthSchemes(m_request.get(), &supported, &first, &authTarget))
            THROW_WINHTTP(GetLastError(), "on WinHttpQueryAuthSchemes");
        uint32_t scheme = chooseAuthScheme(supported);
        if (!scheme)
            SVR_THROW(errOperationFailed, "Cannot choose from WINHTTP_AUTH_SCHEME_* !");
        // On a later trial the provider learns which credential was refused.
        Credential credential;
        if (chosen.trials > 0)
            credential = chosen.credential;
        if (!provider->getCredential(proxy ? credentialTargetProxy : credentialTargetServer, target, scheme,
                                     chosen.trials > 0, credential)) {
            if (proxy)
                SVR_THROW(errAuthFailed, "No credential provided for Proxy Authentication.");
            SVR_THROW(errAuthRequired, "No credential provided for Basic Authentication.");
        }
        ++chosen.trials;
        chosen.set = true;
        chosen.scheme = scheme;
        chosen.credential = credential;
    }

    // A certificate of the user's "MY" store that the server accepts (its
    // list of issuers) and that is meant for client authentication; without
    // one the request goes on without a certificate.
    void chooseClientCertificate() {
        // WinHTTP's list, freed with GlobalFree; none when it cannot tell,
        // and then no certificate is sent.
        Solvaris_Win32::GlobalPtr<SecPkgContext_IssuerListInfoEx> list;
        std::vector<CERT_NAME_BLOB> issuers;
        DWORD size = sizeof(SecPkgContext_IssuerListInfoEx*);
        if (WinHttpQueryOption(m_request.get(), WINHTTP_OPTION_CLIENT_CERT_ISSUER_LIST, list.put(), &size) && list)
            issuers.assign(list.get()->aIssuers, list.get()->aIssuers + list.get()->cIssuers);
        // Crypt32 is loaded here, by the first server that asks.
        const Solvaris_Win32::Crypt32* crypt = Solvaris_Win32::crypt32();
        Solvaris_Win32::CertStoreRef store(crypt ? crypt->openStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                                     CERT_SYSTEM_STORE_CURRENT_USER |
                                                                         CERT_STORE_READONLY_FLAG,
                                                                     L"MY")
                                                 : nullptr);
        Solvaris_Win32::CertificateRef chosen = Solvaris_Win32::chooseClientCertificate(store.get(), issuers);
        if (chosen)
            WinHttpSetOption(m_request.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT, const_cast<CERT_CONTEXT*>(chosen.get()),
                             sizeof(CERT_CONTEXT));
        else
            WinHttpSetOption(m_request.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT, WINHTTP_NO_CLIENT_CERT_CONTEXT, 0);
    }

    AutoPtr<HttpConnectionImpl> m_connection;
    String m_method;
    String m_path;
    AutoPtr<CredentialProvider> m_provider;
    WinHttpHandle m_request;
    String m_headers;
    std::vector<uint8_t> m_body;
    String m_proxyName;
    Chosen m_server;
    Chosen m_proxy;
    Origin m_at;  // where the last redirect led (the connection's server at first)
};

AutoPtr<HttpRequestStream> HttpConnectionImpl::createRequestStream(const String& method, const String& path,
                                                                   bool pathIsEncoded,
                                                                   const AutoPtr<CredentialProvider>& provider) {
    String object = (pathIsEncoded ? path : Url::encode(path)).trim().removeBOM();
    return AutoPtr<HttpRequestStream>(new HttpRequestStreamImpl(this, method, object, provider));
}

// ---------------------------------------------------------------------------
// The storage of an http or https URL

namespace {

} // namespace

class HttpStorageLoaderImpl : public HttpRangeLoader {
public:
    HttpStorageLoaderImpl(const String& name, const AutoPtr<HttpConnection>& connection, const String& path,
                          const AutoPtr<CredentialProvider>& provider, StreamProgressCallback progress,
                          void* context)
        : HttpRangeLoader(name, progress, context), m_connection(connection), m_path(path), m_provider(provider),
          m_progress(progress), m_context(context) {}

    AutoPtr<StorageLoader> duplicate() override {
        HttpStorageLoaderImpl* copy =
            new HttpStorageLoaderImpl(getUrl(), m_connection, m_path, m_provider, m_progress, m_context);
        AutoPtr<StorageLoader> held(copy);
        copyStateTo(*copy);
        return held;
    }

protected:
    HttpRangeReply sendHead() override { return send("HEAD", String()); }
    HttpRangeReply sendGet(const String& extraHeader) override { return send("GET", extraHeader); }

private:
    HttpRangeReply send(const char* method, const String& extraHeader) {
        AutoPtr<HttpRequestStream> request = m_connection->createRequestStream(method, m_path, true, m_provider);
        if (!extraHeader.isEmpty())
            request->addHeader(extraHeader);
        AutoPtr<HttpResponseStream> response = request->post();
        HttpRangeReply reply;
        reply.status = response->getStatusCode();
        reply.hasContentLength = response->findHeader("Content-Length", reply.contentLength);
        reply.hasContentRange = response->findHeader("Content-Range", reply.contentRange);
        response->findHeader("Last-Modified", reply.lastModified);
        response->findHeader("ETag", reply.etag);
        reply.body = AutoPtr<Stream>(response.get());
        return reply;
    }

    AutoPtr<HttpConnection> m_connection;
    String m_path;
    AutoPtr<CredentialProvider> m_provider;
    StreamProgressCallback m_progress;
    void* m_context;
};

AutoPtr<Storage> HttpManagerImpl::createStorage(const String& url, StreamProgressCallback progress, void* context) {
    Url::UrlComponents parts;
    Url::separateUrl(parts, url);
    bool secure = false;
    if (parts.scheme.compareNoCase("https") == 0)
        secure = true;
    else if (parts.scheme.compareNoCase("http") != 0)
        SVR_THROW(errInvalidParam, String::format("Invalid protocol \"%s\"\n", parts.scheme.c_str()));
    uint16_t port = parts.port ? parts.port : uint16_t(secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    AutoPtr<HttpConnection> connection = secure ? createSecureConnection(parts.hostname, port, false)
                                                : createConnection(parts.hostname, port);
    // An escaped path (or query) goes out as it is; a plain one is escaped,
    // its query kept apart so that "&" and "=" keep their meaning.
    String path = parts.path.isEmpty() ? String("/") : parts.path;
    String object = Url::isEncoded(path + parts.extra) ? path + parts.extra : Url::encode(path) + parts.extra;
    AutoPtr<CredentialProvider> provider;
    if (!parts.username.isEmpty() || !parts.password.isEmpty())
        provider = CredentialProvider::createSimple(Url::decodeIfEncoded(parts.username),
                                                    Url::decodeIfEncoded(parts.password));
    AutoPtr<StorageLoader> loader(new HttpStorageLoaderImpl(Url::withoutUserInfo(url), connection, object,
                                                            provider, progress, context));
    return AutoPtr<Storage>(AdvCachedStorage::create(loader, AutoPtr<Storage>(DiskStorage::createTemp().get())).get());
}

} // namespace _Svr_Internal_NS_

AutoPtr<HttpManager> HttpManager::create(const String& userAgent) {
    AutoPtr<CredentialProvider> provider =
        CredentialProvider::createCache(CredentialProvider::createWindows("HTTP Authentication"));
    return create(userAgent, provider);
}

AutoPtr<HttpManager> HttpManager::create(const String& userAgent, const AutoPtr<CredentialProvider>& provider) {
    return AutoPtr<HttpManager>(new _Svr_Internal_NS_::HttpManagerImpl(userAgent, provider));
}

} // namespace Solvaris
