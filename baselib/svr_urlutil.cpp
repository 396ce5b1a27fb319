#include "baselib/svr_urlutil.h"

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "baselib/svr_error.h"

namespace Solvaris {
namespace Url {

namespace {

std::string_view bytesOf(const String& s)
{
    return std::string_view(s.c_str(), static_cast<size_t>(s.length()));
}

// The largest text a string holds (its length is a signed 32-bit count).
const uint64_t kMaxTextBytes = 0x7ffffff0u;

String toString(std::string_view bytes)
{
    if (bytes.size() > kMaxTextBytes)
        SVR_THROW_CODE(errOutOfMemory);
    return String(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// Runs f and turns the standard library's out-of-memory and size failures
// into the library's errOutOfMemory, so callers see one kind of failure.
template <class F>
auto libraryFailures(F f) -> decltype(f())
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        SVR_THROW_CODE(errOutOfMemory);
    } catch (const std::length_error&) {
        SVR_THROW_CODE(errOutOfMemory);
    }
}

// Which bytes encode copies: 0x21..0x7D except the printable ones it
// escapes anyway (% ^ & ` { } | [ ] " < > \). Built once.
struct CopiedBytes {
    bool copied[256];
    CopiedBytes()
    {
        for (int c = 0; c < 256; ++c)
            copied[c] = c >= 0x21 && c <= 0x7D;
        for (const char* p = "%^&`{}|[]\"<>\\"; *p; ++p)
            copied[static_cast<unsigned char>(*p)] = false;
    }
};

// Built on first use, so that callers from other units' static
// initialisers find it ready.
const CopiedBytes& copiedBytes()
{
    static const CopiedBytes table;
    return table;
}

bool isHexDigit(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void separateUrlParts(UrlComponents& components, const String& url)
{
    // The URL may be one of the fields about to be reset: keep it alive.
    const String source(url);
    components = UrlComponents();
    std::string_view s = bytesOf(source);

    size_t schemeEnd = s.find("://");
    if (schemeEnd != std::string_view::npos) {
        components.scheme = toString(s.substr(0, schemeEnd));
        s.remove_prefix(schemeEnd + 3);
    }

    std::string_view host = s;
    std::string_view rest;
    size_t slash = s.find('/');
    if (slash != std::string_view::npos) {
        host = s.substr(0, slash);
        rest = s.substr(slash);
    }
    if (host.empty())
        SVR_THROW(errInvalidParam, "No hostname part.");

    size_t at = host.find('@');
    if (at != std::string_view::npos) {
        std::string_view user = host.substr(0, at);
        host.remove_prefix(at + 1);
        size_t colon = user.find(':');
        if (colon != std::string_view::npos) {
            components.username = toString(user.substr(0, colon));
            components.password = toString(user.substr(colon + 1));
        } else {
            components.username = toString(user);
        }
    }

    size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
        // The run-time's signed decimal reading, kept in 16 bits.
        components.port = static_cast<uint16_t>(toString(host.substr(colon + 1)).toInt());
        host = host.substr(0, colon);
    }
    components.hostname = toString(host);

    if (!rest.empty()) {
        size_t query = rest.find('?');
        if (query != std::string_view::npos) {
            components.path = toString(rest.substr(0, query));
            components.extra = toString(rest.substr(query));
        } else {
            components.path = toString(rest);
        }
    }
}

String decodeText(const String& text)
{
    std::string_view s = bytesOf(text);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out.push_back(s[i]);
            continue;
        }
        if (s.size() - i < 3)
            SVR_THROW(errDataBroken, "errDataBroken");
        int32_t value = Hex::fromStrToInt(s.data() + i + 1, 2);
        // A string ends at its first NUL byte, so an escaped NUL would cut
        // off the rest of the text unseen ("a%00.djvu" would name "a"): it
        // counts as broken data instead.
        if (value == 0)
            SVR_THROW(errDataBroken, "errDataBroken");
        out.push_back(static_cast<char>(value));
        i += 2;
    }
    return toString(out);
}

std::string encodeBytes(std::string_view s)
{
    static const char kHex[] = "0123456789abcdef";
    const CopiedBytes& kCopied = copiedBytes();
    // Counted in 64 bits: three bytes per input byte wrap a 32-bit size.
    uint64_t size = 0;
    for (char ch : s)
        size += kCopied.copied[static_cast<unsigned char>(ch)] ? 1 : 3;
    if (size > kMaxTextBytes)
        SVR_THROW_CODE(errOutOfMemory);
    std::string out(static_cast<size_t>(size), '\0');
    char* o = &out[0];
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (kCopied.copied[c]) {
            *o++ = ch;
        } else {
            *o++ = '%';
            *o++ = kHex[c >> 4];
            *o++ = kHex[c & 0x0F];
        }
    }
    return out;
}

String encodePath(const String& url)
{
    std::string_view s = bytesOf(url);
    std::string_view prefix;
    std::string_view host = s;
    std::string rest;

    size_t schemeEnd = s.find("://");
    if (schemeEnd != std::string_view::npos) {
        prefix = s.substr(0, schemeEnd + 3);
        host = s.substr(schemeEnd + 3);
    }
    std::string result(prefix);

    size_t slash = host.find('/');
    if (slash != std::string_view::npos) {
        rest = std::string(host.substr(slash));
        host = host.substr(0, slash);
    }
    size_t at = host.find('@');
    if (at != std::string_view::npos) {
        result.append(host.substr(0, at + 1));
        host.remove_prefix(at + 1);
    }
    size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
        rest.insert(0, host.substr(colon));
        host = host.substr(0, colon);
    }
    result.append(host);
    result.append(encodeBytes(rest));
    return toString(result);
}

}  // namespace

String withoutUserInfo(const String& url)
{
    return libraryFailures([&] {
        std::string_view s = bytesOf(url);
        size_t start = s.find("://");
        if (start == std::string_view::npos)
            return url;  // a path, whose "@" is its own
        start += 3;
        size_t end = s.find('/', start);
        std::string_view authority = s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        size_t at = authority.rfind('@');
        if (at == std::string_view::npos)
            return url;
        return toString(s.substr(0, start)) + toString(s.substr(start + at + 1));
    });
}

void separateUrl(UrlComponents& components, const String& url)
{
    libraryFailures([&] { separateUrlParts(components, url); });
}

String decode(const String& text)
{
    return libraryFailures([&] { return decodeText(text); });
}

bool isEncoded(const String& text)
{
    std::string_view s = bytesOf(text);
    bool sawEscape = false;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7F)
            return false;
        if (c == '%') {
            if (s.size() - i < 3 || !isHexDigit(s[i + 1]) || !isHexDigit(s[i + 2]))
                return false;
            sawEscape = true;
            i += 2;
        }
    }
    return sawEscape;
}

String decodeIfEncoded(const String& text)
{
    return isEncoded(text) ? decode(text) : text;
}

String encode(const String& text)
{
    return libraryFailures([&] { return toString(encodeBytes(bytesOf(text))); });
}

String encodeUrlPath(const String& url)
{
    return libraryFailures([&] { return encodePath(url); });
}

}  // namespace Url
}  // namespace Solvaris
