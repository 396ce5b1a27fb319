#include "profile/djv_profilexml.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "baselib/svr_error.h"
#include "profile/djv_fieldranges.h"

namespace Solvaris {
namespace DjVu {

const char* const PROFILE_NAMESPACE = "http://schemas.printvane.org/djvu/1.0/profile/";
const char* const kBuiltInProfileName = "sdk_default";

namespace ProfileXml {

using XmlParse::XmlElement;

namespace {

void appendUnsigned(std::string& out, unsigned v) {
    char digits[10];
    char* p = digits + sizeof digits;
    do {
        *--p = char('0' + v % 10);
        v /= 10;
    } while (v);
    out.append(p, size_t(digits + sizeof digits - p));
}

// Appends the formatted text. A repository holds tens of thousands of
// attributes, each written through here: "%s" and "%u" are expanded
// directly in one pass; a format with any other conversion is handed to
// vsnprintf whole.
void appendf(std::string& out, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const size_t start = out.size();
    const char* literal = fmt;
    for (const char* p = std::strchr(fmt, '%');; p = std::strchr(literal, '%')) {
        if (!p) {
            out.append(literal);
            va_end(args);
            return;
        }
        if (p[1] != 's' && p[1] != 'u')
            break;
        out.append(literal, size_t(p - literal));
        if (p[1] == 's') {
            const char* text = va_arg(args, const char*);
            out.append(text ? text : "(null)");
        } else {
            appendUnsigned(out, va_arg(args, unsigned));
        }
        literal = p + 2;
    }
    va_end(args);
    out.resize(start);
    va_start(args, fmt);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    if (n < 0)
        SVR_THROW(errInternalError, "format failed");
    if (size_t(n) < sizeof small) {
        out.append(small, size_t(n));
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    va_start(args, fmt);
    std::vsnprintf(&big[0], big.size(), fmt, args);
    va_end(args);
    out.append(big.data(), size_t(n));
}

String toString(const std::string& s) {
    return String(s.data(), int32_t(s.size()));
}

[[noreturn]] void throwInvalid(const char* text) {
    SVR_THROW(errInvalidParam, text);
}

const char* keyword(KeywordList list, uint32_t value, const char* what) {
    if (value >= keywordCount(list))
        throwInvalid(what);
    return list[value];
}

const char* yesNo(uint32_t flag) {
    return kBooleanKeywords[flag ? 1 : 0];
}

// Lead byte -> sequence length; 0 for a byte that starts no sequence.
uint32_t sequenceLength(uint8_t b) {
    if (b < 0x80) return 1;
    if (b < 0xC0) return 0;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    if (b < 0xF8) return 4;
    if (b < 0xFC) return 5;
    if (b < 0xFE) return 6;
    return 0;
}

// Walks UTF-8 text by lead-byte length (continuation bytes are not checked)
// and calls emit(codePoint) for every character XML can carry, bad(length)
// for everything else.
template <class Emit, class Bad>
void walkUtf8(const String& text, Emit emit, Bad bad) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.c_str());
    const uint32_t n = text.length();
    uint32_t i = 0;
    while (i < n) {
        uint32_t len = sequenceLength(p[i]);
        if (len == 0 || len > n - i) {
            bad();
            ++i;
            continue;
        }
        uint32_t cp = len == 1 ? p[i] : (p[i] & (0x7Fu >> len));
        for (uint32_t k = 1; k < len; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
        i += len;
        bool unusable = (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
                        (cp & 0xFFFEu) == 0xFFFEu || cp >= 0x110000 ||
                        // Control characters other than tab, line feed and
                        // carriage return cannot appear in XML 1.0 at all,
                        // not even as character references.
                        (cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D);
        if (unusable)
            bad();
        else
            emit(cp);
    }
}

void appendUtf8(std::string& out, uint32_t cp) {
    char buf[6];
    uint32_t n = Utf::encodeUtf8(cp, buf);
    out.append(buf, n);
}

} // namespace

namespace {
// Printable ASCII with nothing to escape: the text is its own escaped form
// (most names and parameters are).
bool needsNoEscaping(const String& text) {
    const char* p = text.c_str();
    for (uint32_t i = 0, n = text.length(); i < n; ++i) {
        const char c = p[i];
        if (c < 0x20 || c > 0x7E || c == '<' || c == '>' || c == '&' || c == '"' || c == '\'')
            return false;
    }
    return true;
}

// Appends the text with what XML cannot carry as it stands replaced by
// entities, character references or "?" (a byte that is no UTF-8, which
// sets *invalid).
void appendEscaped(std::string& out, const String& text, bool* invalid) {
    walkUtf8(
        text,
        [&](uint32_t cp) {
            switch (cp) {
            case '<': out += "&lt;"; return;
            case '>': out += "&gt;"; return;
            case '&': out += "&amp;"; return;
            case '"': out += "&quot;"; return;
            case '\'': out += "&apos;"; return;
            default: break;
            }
            if (cp < 32 || cp == 127)
                appendf(out, "&#%u;", unsigned(cp));
            else
                appendUtf8(out, cp);
        },
        [&]() {
            out += '?';
            if (invalid)
                *invalid = true;
        });
}

// Appends `before`, the text escaped, and a closing quote: an attribute
// value without a String made for it.
void appendAttribute(std::string& out, const char* before, const String& text) {
    out += before;
    if (needsNoEscaping(text))
        out.append(text.c_str(), text.length());
    else
        appendEscaped(out, text, nullptr);
    out += '"';
}
} // namespace

String escapeXml(const String& text, bool* invalid) {
    if (needsNoEscaping(text))
        return text;
    std::string out;
    out.reserve(text.length() + 16);
    appendEscaped(out, text, invalid);
    return toString(out);
}

String getXmlHeader() {
    return String::format("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<repository xmlns=\"%s\" version=\"1.0\">\n",
                          PROFILE_NAMESPACE);
}

const char* getXmlFooter() {
    return "</repository>\n";
}

String getCommentLine(const String& name) {
    std::string out;
    appendCommentLine(out, name);
    return toString(out);
}

void appendCommentLine(std::string& doc, const String& name) {
    // Printable ASCII without hyphens (the usual name) goes in as it is.
    const char* bytes = name.c_str();
    bool plain = true;
    for (uint32_t i = 0, n = name.length(); i < n && plain; ++i)
        plain = bytes[i] >= 0x20 && bytes[i] <= 0x7E && bytes[i] != '-';
    if (plain) {
        doc += "\t\n\t<!-- ";
        doc.append(bytes, name.length());
        doc += " -->\n";
        return;
    }
    std::string safe;
    walkUtf8(
        name,
        [&](uint32_t cp) {
            if (cp < 0x20 && cp != 0x09)
                safe += '?';   // keeps the comment on its line
            else
                appendUtf8(safe, cp);
        },
        [&]() { safe += '?'; });
    // A hyphen may not follow a hyphen, and the last one may not run into
    // the closing "-->": such hyphens get a blank behind them.
    std::string out;
    for (size_t i = 0; i < safe.size(); ++i) {
        out += safe[i];
        if (safe[i] == '-' && (i + 1 == safe.size() || safe[i + 1] == '-'))
            out += ' ';
    }
    doc += "\t\n\t<!-- ";
    doc += out;
    doc += " -->\n";
}

namespace {
using FieldRanges::Element;
using FieldRanges::Field;
using FieldRanges::Kind;
using FieldRanges::Layer;
using FieldRanges::Omit;

// Whether the row is carried by this element (of this layer, for "iw44").
bool carries(const Field& f, Element element, Layer layer) {
    return f.element == element && (f.layer == Layer::both || f.layer == layer);
}

bool omitted(const Field& f, const DjVuEncoder::Params& p, uint32_t v) {
    switch (f.omit) {
    case Omit::never: return false;
    case Omit::whenZero: return v == 0;
    case Omit::atMostOne: return v <= 1;
    case Omit::atDefault: return v == f.missing;
    case Omit::withoutDict: return p.dictMode != 1;
    }
    return false;
}

// Appends ` attribute="value"` with `before` in place of the blank, or
// nothing when the row leaves it out.
void appendField(std::string& out, const Field& f, const DjVuEncoder::Params& p, const void* record,
                 const char* before) {
    if (f.kind == Kind::text) {
        const String& text = f.text(const_cast<void*>(record));
        if (text.isEmpty() && f.omit == Omit::whenZero)
            return;
        out += before;
        out += f.attribute;
        appendAttribute(out, "=\"", text);
        return;
    }
    const uint32_t v = f.get(record);
    if (omitted(f, p, v))
        return;
    appendf(out, "%s%s=\"", before, f.attribute);
    switch (f.kind) {
    case Kind::keyword:
    case Kind::encodeMode: out += keyword(*f.keywords, v, f.attribute); break;
    case Kind::flag: out += yesNo(v); break;
    case Kind::tenths: appendf(out, "%u.%u", v / 10, v % 10); break;
    case Kind::color:
        if (v < 0x1000000u)
            appendf(out, "#%06X", v & 0xFFFFFFu);
        else
            out += "none";
        break;
    case Kind::cbcrDelay:
        if (v == IW44Encoder::kCbCrDelayAuto)
            out += "auto";
        else
            appendf(out, "%u", v);
        break;
    default: appendf(out, "%u", v); break;
    }
    out += '"';
}

// The attributes the table gives the element, in table order.
void appendFields(std::string& out, Element element, Layer layer, const DjVuEncoder::Params& p,
                  const IW44Encoder::Params* fields, const char* before) {
    for (uint32_t i = 0; i < FieldRanges::rowCount; ++i) {
        const Field& f = FieldRanges::table()[i];
        if (carries(f, element, layer))
            appendField(out, f, p, FieldRanges::recordIn(p, f.record, fields), before);
    }
}

void appendIW44(std::string& out, const char* id, Layer which, const DjVuEncoder::Params& p,
                const IW44Encoder::Params& layer) {
    if (layer.intent >= keywordCount(IW44Encoder::kIntentKeywords))
        throwInvalid("intent out of range!");
    if (layer.cbcrMode >= keywordCount(IW44Encoder::kCbcrModeKeywords))
        throwInvalid("cbcrMode out of range!");
    if (layer.sliceCallback || layer.sliceContext)
        throwInvalid("sliceCallback cannot be serialized!");
    appendf(out, "\t\t<iw44 id=\"%s\"", id);
    appendFields(out, Element::iw44, which, p, &layer, " ");
    if (layer.chunks.isEmpty()) {
        appendf(out, " quality=\"%u\" />\n", layer.quality);
        return;
    }
    out += ">\n";
    for (const IW44Encoder::ChunkConfig& c : layer.chunks) {
        out += "\t\t\t<chunk-config ";
        if (c.slices != 0)
            appendf(out, "slices=\"%u\" ", c.slices);
        if (c.bytes != 0)
            appendf(out, "bytes=\"%u\" ", c.bytes);
        out += "/>\n";
    }
    out += "</iw44>";
}

void appendExtra(std::string& out, const String& name, const String& value) {
    appendAttribute(out, "\t\t<extra name=\"", name);
    appendAttribute(out, " value=\"", value);
    out += " />\n";
}

void appendProfile(std::string& body, const DjVuEncoder::Params& p, const String& name, const String& description,
                   bool readOnly) {
    typedef DjVuEncoder E;
    appendAttribute(body, "\t<profile name=\"", name);
    appendf(body, "\n\t\tversion=\"%u\"", PROFILE_VERSION);
    if (!description.isEmpty())
        appendAttribute(body, "\n\t\tdescription=\"", description);
    appendFields(body, Element::profile, Layer::both, p, nullptr, "\n\t\t");
    if (readOnly)
        body += "\n\t\tread-only=\"yes\"";
    body += ">\n";
    if (E::usesJb2(p.encodeMode)) {
        body += "\t\t<jb2";
        appendFields(body, Element::jb2, Layer::both, p, nullptr, " ");
        body += " />\n\t\t<region-recog";
        appendFields(body, Element::regionRecog, Layer::both, p, nullptr, " ");
        body += " />\n";
    }
    if (E::usesForeground(p.encodeMode))
        appendIW44(body, "foreground", Layer::foreground, p, p.fgParams);
    if (E::usesBackground(p.encodeMode))
        appendIW44(body, "background", Layer::background, p, p.bgParams);
    if (E::usesSegmenter(p.encodeMode)) {
        body += "\t\t<segmenter";
        appendFields(body, Element::segmenter, Layer::both, p, nullptr, " ");
        body += " />\n";
    }
    for (const auto& e : p.extras)
        appendExtra(body, e.first, e.second);
    body += "\t</profile>\n";
}
} // namespace

void appendXmlBody(std::string& out, const DjVuEncoder::Params& p, const String& name, const String& description,
                   bool readOnly) {
    // Appended straight to out; a failure cuts out back to what it was.
    const size_t start = out.size();
    try {
        appendProfile(out, p, name, description, readOnly);
    } catch (...) {
        out.resize(start);
        throw;
    }
}

String getXmlBody(const DjVuEncoder::Params& params, const String& name, const String& description, bool readOnly) {
    std::string out;
    appendXmlBody(out, params, name, description, readOnly);
    return toString(out);
}

// ---------------------------------------------------------------------------
// Reading

String qualifiedName(const char* local) {
    return String(PROFILE_NAMESPACE) + String(":") + String(local);
}

bool isElement(const XmlElement& element, const char* local) {
    const String& name = element.getName();
    const uint32_t nsLength = uint32_t(std::strlen(PROFILE_NAMESPACE));
    const uint32_t localLength = uint32_t(std::strlen(local));
    // Compared in place: this runs for every element of every profile read.
    const char* bytes = name.c_str();
    return name.length() == nsLength + 1 + localLength && std::memcmp(bytes, PROFILE_NAMESPACE, nsLength) == 0 &&
           bytes[nsLength] == ':' && std::memcmp(bytes + nsLength + 1, local, localLength) == 0;
}

namespace {

// Whether the writer carries the name byte for byte: well-formed UTF-8
// (continuation bytes checked, shortest form, no surrogates, at most
// U+10FFFF) of characters that escapeXml writes unchanged. Anything else
// would come back as "?" or as another encoding, so two names could become
// one on saving.
bool writtenExactly(const String& name) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(name.c_str());
    const uint32_t n = name.length();
    for (uint32_t i = 0; i < n;) {
        const uint8_t b = p[i];
        uint32_t len, cp, least;
        if (b < 0x80) {
            len = 1, cp = b, least = 0;
        } else if (b >= 0xC2 && b < 0xE0) {
            len = 2, cp = b & 0x1Fu, least = 0x80;
        } else if (b >= 0xE0 && b < 0xF0) {
            len = 3, cp = b & 0x0Fu, least = 0x800;
        } else if (b >= 0xF0 && b < 0xF5) {
            len = 4, cp = b & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (len > n - i)
            return false;
        for (uint32_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0u) != 0x80u)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
        }
        i += len;
        // The same characters escapeXml replaces by "?".
        if (cp < least || cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF) ||
            (cp & 0xFFFEu) == 0xFFFEu || (cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D))
            return false;
    }
    return true;
}

// The name for a message: bytes outside printable ASCII as \xNN.
String shownName(const String& name) {
    std::string out;
    for (uint32_t i = 0; i < name.length(); ++i) {
        const uint8_t c = name.byteAt(i);
        if (c < 0x20 || c >= 0x7F)
            appendf(out, "\\x%02X", unsigned(c));
        else
            out += char(c);
    }
    return toString(out);
}

} // namespace

String checkProfileName(const String& name) {
    if (name.isEmpty())
        throw Exception(errInvalidParam, String::format("Profile name should not be empty: %s", name.c_str()),
                        __FILE__, __LINE__, SVR_FUNCSIG);
    for (uint32_t i = 0; i < name.length(); ++i) {
        uint8_t c = name.byteAt(i);
        if (c == '\\' || c == ':' || c == '/')
            throw Exception(errInvalidParam,
                            String::format("Profile name should not contain \\, :, /: %s", name.c_str()), __FILE__,
                            __LINE__, SVR_FUNCSIG);
    }
    if (!writtenExactly(name))
        throw Exception(errInvalidParam,
                        String::format("Profile name should hold only characters that XML can carry "
                                       "(no control characters, well-formed UTF-8): %s",
                                       shownName(name).c_str()),
                        __FILE__, __LINE__, SVR_FUNCSIG);
    return name;
}

namespace {

const uint32_t kNoPolicy = 0xFFFFFFFFu;

// The leading decimal digits of an attribute value, as String::toUInt and
// toUInt64 read them (none, or an absent value: 0; wrapping), read in place.
template <class T>
T leadingDigits(const char* v) {
    T n = 0;
    for (; v && *v >= '0' && *v <= '9'; ++v)
        n = T(n * 10u + T(*v - '0'));
    return n;
}

// "auto" in any ASCII letter case, as String::compareNoCase compares.
bool isAuto(const char* v) {
    const char* word = "auto";
    for (; *v && *word; ++v, ++word) {
        char c = *v >= 'A' && *v <= 'Z' ? char(*v + ('a' - 'A')) : *v;
        if (c != *word)
            return false;
    }
    return *v == '\0' && *word == '\0';
}

// A decimal number or "auto" (any letter case), for cbcr-delay.
uint32_t readDelay(const char* delay) {
    if (!delay || !*delay || isAuto(delay))
        return IW44Encoder::kCbCrDelayAuto;
    return leadingDigits<uint32_t>(delay);
}

// Tenths ("2.2" is 22) within the row's range; another value keeps the
// record's.
void readTenths(const XmlElement& e, const Field& f, void* record) {
    if (!e.hasAttr(f.attribute)) {
        f.set(record, f.missing);
        return;
    }
    double tenths = e.getAttrString(f.attribute).toDouble() * 10.0;
    // Compared as a double first: NaN and huge values never reach the cast.
    if (tenths >= double(f.minimum) && tenths < double(f.maximum) + 1.0) {
        uint32_t t = uint32_t(std::trunc(tenths));
        if (t >= f.minimum && t <= f.maximum)
            f.set(record, t);
    }
}

// The encode mode, its older names read as the modes they became.
uint32_t readEncodeMode(const XmlElement& e, const Field& f) {
    typedef DjVuEncoder E;
    const uint32_t mode = e.getAttr(f.attribute, E::kEncodeModeReadKeywords, f.missing);
    return mode == 6 ? uint32_t(E::mode3Layer) : mode == 7 ? uint32_t(E::mode2Layer) : mode;
}

// One field, read by its row; `intent`: the layer's, for a default that
// depends on it.
void readField(const XmlElement& e, const Field& f, void* record, uint32_t intent) {
    const uint32_t missing = f.missingForIntent ? f.missingForIntent(intent) : f.missing;
    switch (f.kind) {
    case Kind::number: f.set(record, e.getAttr(f.attribute, missing, f.maximum, f.minimum)); return;
    case Kind::keepNonZero:
        if (const uint32_t v = leadingDigits<uint32_t>(e.getAttrValue(f.attribute)))
            f.set(record, v);
        return;
    case Kind::keyword: f.set(record, e.getAttr(f.attribute, *f.keywords, missing)); return;
    case Kind::encodeMode: f.set(record, readEncodeMode(e, f)); return;
    case Kind::flag: f.set(record, e.getAttrBool(f.attribute) ? 1 : 0); return;
    case Kind::tenths: readTenths(e, f, record); return;
    case Kind::color: f.set(record, e.getAttrColor(f.attribute, missing)); return;
    case Kind::cbcrDelay: f.set(record, readDelay(e.getAttrValue(f.attribute))); return;
    case Kind::text: f.text(record) = e.getAttrString(f.attribute); return;
    }
}

// The element's fields in table order, but those of the rows in `taken`
// (bits by row), which the caller reads itself.
void readFields(const XmlElement& e, Element element, Layer layer, DjVuEncoder::Params& p,
                IW44Encoder::Params* fields, uint64_t taken = 0) {
    for (uint32_t i = 0; i < FieldRanges::rowCount; ++i) {
        const Field& f = FieldRanges::table()[i];
        if (carries(f, element, layer) && !(taken >> i & 1))
            readField(e, f, FieldRanges::recordIn(p, f.record, fields), fields ? uint32_t(fields->intent) : 0u);
    }
}

void readLayer(const XmlElement& e, Layer which, DjVuEncoder::Params& p, IW44Encoder::Params* layer) {
    readFields(e, Element::iw44, which, p, layer);
    layer->chunks.clear();
    if (const char* quality = e.getAttrValue("quality")) {
        layer->quality = leadingDigits<uint32_t>(quality);
        return;
    }
    for (uint32_t i = 0; i < e.getChildCount(); ++i) {
        const XmlElement& c = *e.getChild(i);
        if (!isElement(c, "chunk-config"))
            continue;
        IW44Encoder::ChunkConfig chunk;
        chunk.slices = c.getAttr("slices", 0, FieldRanges::kChunkMaximum, 0);
        chunk.bytes = c.getAttr("bytes", 0, FieldRanges::kChunkMaximum, 0);
        layer->chunks.append(chunk);
    }
    if (layer->chunks.isEmpty())
        layer->quality = FieldRanges::row(FieldRanges::quality).missing;
}

void readJB2(const XmlElement& e, DjVuEncoder::Params& p) {
    static const uint32_t numerator[] = {0, 1, 1, 1, 1};
    static const uint32_t denominator[] = {1, 5, 4, 3, 2};
    const uint32_t policy = e.getAttr("quality-policy", JB2Params::kQualityPolicyKeywords, kNoPolicy);
    // A policy triples the refine threshold, so the value stored and written
    // back can reach the table's maximum; without a policy that written value
    // must read back. With a policy the value read is a third of it at most.
    JB2Params* j = &p.jb2;
    const Field& refine = FieldRanges::row(FieldRanges::refineThreshold);
    j->refineThreshold = e.getAttr(refine.attribute, refine.missing,
                                   policy != kNoPolicy ? refine.maximum / 3 : refine.maximum, refine.minimum);
    static_assert(FieldRanges::rowCount <= 64, "one bit of `taken` per row");
    uint64_t taken = 1ull << FieldRanges::refineThreshold;
    // Older profiles (version below PROFILE_VERSION) without a policy keep
    // the thresholds they state, like current ones: the derivation needs a
    // policy to index.
    if (policy != kNoPolicy) {
        j->matchThreshold = numerator[policy] * j->refineThreshold / denominator[policy];
        uint32_t center = ((j->matchThreshold + 1) >> 2) + 1;
        j->centerDiffThreshold = center < 4 ? center : 4;
        j->refineThreshold *= 3;
        taken |= 1ull << FieldRanges::matchThreshold | 1ull << FieldRanges::centerDiffThreshold;
    }
    readFields(e, Element::jb2, Layer::both, p, nullptr, taken);
}

} // namespace

void readParams(const XmlElement& e, uint32_t /*version*/, DjVuEncoder::Params* p) {
    typedef DjVuEncoder E;
    p->name = checkProfileName(e.getAttrString("name"));
    readFields(e, Element::profile, Layer::both, *p, nullptr);
    p->dictMode = p->dictFreq != 0 ? 1 : 0;
    for (uint32_t i = 0; i < e.getChildCount(); ++i) {
        const XmlElement& c = *e.getChild(i);
        if (isElement(c, "iw44")) {
            const char* id = c.getAttrValue("id");
            if (id && std::strcmp(id, "foreground") == 0)
                readLayer(c, Layer::foreground, *p, &p->fgParams);
            else if (id && std::strcmp(id, "background") == 0)
                readLayer(c, Layer::background, *p, &p->bgParams);
        } else if (isElement(c, "segmenter")) {
            readFields(c, Element::segmenter, Layer::both, *p, nullptr);
        } else if (isElement(c, "jb2")) {
            readJB2(c, *p);
        } else if (isElement(c, "region-recog")) {
            readFields(c, Element::regionRecog, Layer::both, *p, nullptr);
        } else if (isElement(c, "extra")) {
            String name = c.getAttrString("name");
            if (!name.isEmpty())
                p->extras[name] = c.getAttrString("value");
        }
    }
    if (p->encodeMode == E::modeAuto) {
        p->encodeMode = E::mode3Layer;
        p->flexEncode = 1;
    }
}

void importXml(const XmlElement& element, ProfileData* data) {
    const XmlElement* e = &element;
    if (isElement(*e, "repository")) {
        if (e->getChildCount() == 0)
            SVR_THROW(errDataBroken, "No profiles in repository file!");
        e = e->getChild(0);
    }
    if (!isElement(*e, "profile"))
        SVR_THROW(errDataBroken, "Not a profile!");
    // Read in 64 bits so that a huge number cannot wrap below the limit.
    uint64_t version64 = leadingDigits<uint64_t>(e->getAttrValue("version"));
    uint32_t version = version64 > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(version64);
    if (version > PROFILE_VERSION)
        throw Exception(errReadOnly,
                        String::format("Profile version too new please update your software; profile_version=%u, "
                                       "supported_version=%u",
                                       version, PROFILE_VERSION),
                        __FILE__, __LINE__, SVR_FUNCSIG);
    data->version = version;
    readParams(*e, version, &data->params);
    data->readOnly = e->getAttrBool("read-only");
    data->description = e->getAttrString("description");
}

} // namespace ProfileXml
} // namespace DjVu
} // namespace Solvaris
