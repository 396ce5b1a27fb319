// The attribute escaping and the comment line of the profile writer on
// arbitrary bytes. Both must always give a document the XML layer reads; the
// value read back escapes to the same text again, and it is the input itself
// whenever the input was well-formed UTF-8 that escaping did not have to
// replace.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "baselib/svr_error.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

using namespace Solvaris;
using namespace Solvaris::DjVu;

namespace {

// Shortest-form UTF-8 of code points below 0x110000, no surrogates.
bool wellFormedUtf8(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n;) {
        uint8_t b = p[i];
        size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || len > n - i)
            return false;
        uint32_t cp = len == 1 ? b : b & (0x7Fu >> len);
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (p[i + k] & 0x3Fu);
        }
        static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[len] || cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    String text(reinterpret_cast<const char*>(data), int32_t(size));
    bool invalid = false;
    String escaped = ProfileXml::escapeXml(text, &invalid);
    String comment = ProfileXml::getCommentLine(text);
    std::string doc = std::string("<a v=\"") + escaped.c_str() + "\">" + comment.c_str() + "</a>";
    // A document the writer's pieces make that the reader refuses is a
    // failure: the exception leaves the fuzzer and is reported.
    AutoPtr<XmlParse::XmlElement> root = XmlParse::parseXmlString(doc.data(), uint32_t(doc.size()), "fuzz");
    String back = root->getAttrString("v");
    bool again = false;
    if (ProfileXml::escapeXml(back, &again) != escaped || again)
        std::abort();
    if (!invalid && wellFormedUtf8(data, size) && back != text)
        std::abort();
    return 0;
}
