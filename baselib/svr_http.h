// The HTTP client: a manager with one WinHTTP session, connections to a
// host, request and response streams with the authentication rounds, and the
// read-only cached storage of an http or https URL that the resource broker
// hands out. WinHTTP runs synchronously; every failure is an Exception (a
// PlatformException for WinHTTP errors, mapped by errorFromWin32: 2000
// network, 2001 time-out, 2002 name not resolved, 2003 certificates).
#pragma once

#include <cstdint>

#include "baselib/svr_base.h"
#include "baselib/svr_credential.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_string.h"

namespace Solvaris {

class HttpResponseStream : public Stream {
public:
    virtual uint32_t getStatusCode() = 0;
    // The header lines after the status line, as "Name: value".
    virtual uint32_t getHeaderCount() = 0;
    // Throws errInvalidParam for an index out of range.
    virtual String getNthHeader(uint32_t index) = 0;
    // The value of the first header of that name (any letter case), trimmed.
    // Throws errNotFound "\"<name>\" not found from HTTP header.".
    virtual String getHeader(const String& name) = 0;
    // The same without throwing: false when there is no such header.
    virtual bool findHeader(const String& name, String& value) = 0;
    // Content-Length as an unsigned 64-bit number; throws errNotFound when
    // the header is missing and errDataBroken when it is not a number.
    virtual uint64_t getContentLength() = 0;
};

class HttpRequestStream : public Stream {
public:
    // Adds one header line ("Name: value") to the request.
    virtual void addHeader(const String& header) = 0;
    // Sends the request with what writeBytes collected as its body, answers
    // the server's and the proxy's credential questions, and returns the
    // response (any status but 401 and 407).
    virtual AutoPtr<HttpResponseStream> post() = 0;
    // "<http|https>://<host>:<port>/<path>".
    virtual String getUrl() = 0;
};

class HttpConnection : public Referable {
public:
    // path is percent-encoded unless pathIsEncoded. provider (or the
    // manager's when null) answers the credential questions.
    virtual AutoPtr<HttpRequestStream> createRequestStream(
        const String& method, const String& path, bool pathIsEncoded = false,
        const AutoPtr<CredentialProvider>& provider = AutoPtr<CredentialProvider>()) = 0;
    virtual String getHost() = 0;
    virtual uint16_t getPort() = 0;
    virtual bool isSecure() = 0;
};

class HttpManager : public Referable {
public:
    ~HttpManager() override {}
    virtual AutoPtr<HttpConnection> createConnection(const String& host, uint16_t port) = 0;
    // ignoreCertificateErrors: accept unknown authorities, wrong names and
    // expired certificates (for test servers).
    virtual AutoPtr<HttpConnection> createSecureConnection(const String& host, uint16_t port,
                                                           bool ignoreCertificateErrors = false) = 0;
    // A read-only storage on the resource at url (http or https), read in
    // aligned 32768-byte blocks and cached in a scratch file. A user name or
    // password in the URL is the only credential its requests try.
    virtual AutoPtr<Storage> createStorage(const String& url, StreamProgressCallback progress = nullptr,
                                           void* context = nullptr) = 0;
    // Not supported: the proxy comes from the user's settings. Throws
    // errNotImplemented.
    virtual void setProxy(const String& proxy) = 0;
    // Null when the manager has none.
    virtual AutoPtr<CredentialProvider> getCredentialProvider() = 0;

#if defined(_WIN32)
    // A manager whose credentials come from the platform's dialog and
    // credential store (through a cache). An empty userAgent means
    // getUserAgentString().
    static AutoPtr<HttpManager> create(const String& userAgent = String());
    // A manager with this provider (null: requests have no credentials).
    static AutoPtr<HttpManager> create(const String& userAgent, const AutoPtr<CredentialProvider>& provider);
#endif
};

} // namespace Solvaris
