// URL splitting, percent-decoding and -encoding of arbitrary text. Encoding
// then decoding gives the text back; a failure is always the library's own
// exception.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "baselib/svr_error.h"
#include "baselib/svr_urlutil.h"

using namespace Solvaris;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16)
        return 0;
    String text(reinterpret_cast<const char*>(data), int32_t(size));

    Url::UrlComponents parts;
    try {
        Url::separateUrl(parts, text);
        if (parts.hostname.length() + parts.path.length() + parts.extra.length() > text.length())
            std::abort();
    } catch (const Exception& e) {
        if (e.code() != errInvalidParam)
            std::abort();
    }

    if (Url::withoutUserInfo(text).length() > text.length())
        std::abort();
    Url::isEncoded(text);
    try {
        String decoded = Url::decode(text);
        if (decoded.length() > text.length())
            std::abort();
        // A decoded text never holds a NUL, so its wide form names all of it.
        if (std::strlen(decoded.c_str()) != decoded.length())
            std::abort();
    } catch (const Exception& e) {
        if (e.code() != errDataBroken)
            std::abort();
    }
    try {
        Url::decodeIfEncoded(text);
    } catch (const Exception& e) {
        if (e.code() != errDataBroken)  // "%00" is well-formed but refused
            std::abort();
    }

    String encodedText = Url::encode(text);
    if (Url::decode(encodedText) != text)
        std::abort();
    String path = Url::encodeUrlPath(text);
    if (path.length() < text.length() && !text.isEmpty())
        std::abort();
    return 0;
}
