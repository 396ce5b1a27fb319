// URL helpers of the foundation library: splitting a URL into its parts and
// percent-encoding and -decoding its text. All functions work on UTF-8 bytes
// and never decode a field on their own.
#pragma once

#include <cstdint>

#include "baselib/svr_string.h"

namespace Solvaris {
namespace Url {

// The parts of a URL as they appear in its text (nothing percent-decoded).
struct UrlComponents {
    String scheme;
    String username;
    String password;
    String hostname;
    uint16_t port = 0;  // 0 when the URL names no port
    String path;        // from the first "/" after the host, up to "?"
    String extra;       // from "?" on, "?" included
};

// Fills every field of components from url. Throws errInvalidParam
// "No hostname part." when nothing stands between the scheme and the first
// "/". Nothing else is checked.
void separateUrl(UrlComponents& components, const String& url);

// True when text holds at least one well-formed "%xx" escape and nothing
// that cannot stand in an encoded URL (control bytes, DEL, non-ASCII bytes,
// a "%" not followed by two hexadecimal digits).
bool isEncoded(const String& text);

// Replaces every "%xx" escape by its byte; "+" stays as it is. Throws
// errDataBroken for a "%" too close to the end, a bad hexadecimal digit, or
// "%00" (a string cannot hold a NUL byte).
String decode(const String& text);

// decode(text) when isEncoded(text), otherwise text unchanged.
String decodeIfEncoded(const String& text);

// Escapes every byte outside 0x21..0x7D and the printable bytes
// % ^ & ` { } | [ ] " < > \ as "%xx" with lower-case digits.
String encode(const String& text);

// url without its user part (user name and password up to the last "@"
// between "://" and the path), for names and messages that must not carry
// credentials. A text without "://" is returned unchanged.
String withoutUserInfo(const String& url);

// Returns url with everything after the host (and port) run through encode;
// the scheme, user part, host and port are kept as they are.
String encodeUrlPath(const String& url);

}  // namespace Url
}  // namespace Solvaris
