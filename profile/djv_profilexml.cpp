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
void appendJB2(std::string& out, const JB2Params& jb2) {
    appendf(out,
            "\t\t<jb2 match-threshold=\"%u\" refine-threshold=\"%u\" center-diff-threshold=\"%u\" "
            "max-palettes=\"%u\" ",
            jb2.matchThreshold, jb2.refineThreshold, jb2.centerDiffThreshold, jb2.maxPalettes);
    if (jb2.sortShapes)
        out += "sort-shapes=\"yes\" ";
    if (jb2.noiseReduction != 0)
        appendf(out, "noise-reduction=\"%s\" ",
                keyword(JB2Params::kNoiseReductionKeywords, jb2.noiseReduction, "noise-reduction"));
    if (jb2.pageShapeThreshold != 0)
        appendf(out, "page-shape-threshold=\"%u\" ", jb2.pageShapeThreshold);
    if (jb2.flags != 0)
        appendf(out, "flags=\"%u\" ", jb2.flags);
    out += "/>\n";
}

void appendRegionRecog(std::string& out, const RegionRecogParams& rr) {
    appendf(out, "\t\t<region-recog dist-long-max=\"%u\" dist-short-max=\"%u\" noise-threshold=\"%u\" "
                          "color-threshold=\"%u\" overlap-threshold=\"%u\" />\n",
                          rr.distLongMax, rr.distShortMax, rr.noiseThreshold, rr.colorThreshold,
                          rr.overlapThreshold);
}

void appendSegmenter(std::string& out, const SegmenterParams& seg) {
    char color[16];
    if (seg.bgColorExpected < 0x1000000u)
        std::snprintf(color, sizeof color, "#%06X", unsigned(seg.bgColorExpected & 0xFFFFFFu));
    else
        std::snprintf(color, sizeof color, "none");
    appendf(out,
        "\t\t<segmenter block-size=\"%u\" max-size-of-noise-obj=\"%u\" noise-hue-threshold=\"%u\" upsample=\"%u\" "
        "blur-radius=\"%u\" detect-edge=\"%s\" thicken-shapes=\"%s\" use-fg-if-empty=\"%s\" "
        "bg-color-autodetect=\"%s\" bg-color-expected=\"%s\" bg-color-threshold=\"%u\" use-non-blurred=\"%s\" />\n",
        seg.blockSize, seg.maxSizeOfNoiseObj, seg.noiseHueThreshold, seg.upsample, seg.blurRadius,
        yesNo(seg.detectEdge), yesNo(seg.thickenShapes), yesNo(seg.useFgIfEmpty), yesNo(seg.bgColorAutodetect),
        color, seg.bgColorThreshold, yesNo(seg.useNonBlurred));
}

void appendIW44(std::string& out, const char* id, const IW44Encoder::Params& layer, uint32_t subsample,
                uint32_t enhancer) {
    if (layer.intent >= keywordCount(IW44Encoder::kIntentKeywords))
        throwInvalid("intent out of range!");
    if (layer.cbcrMode >= keywordCount(IW44Encoder::kCbcrModeKeywords))
        throwInvalid("cbcrMode out of range!");
    if (layer.sliceCallback || layer.sliceContext)
        throwInvalid("sliceCallback cannot be serialized!");
    char delay[16];
    if (layer.cbcrDelay == IW44Encoder::kCbCrDelayAuto)
        std::snprintf(delay, sizeof delay, "auto");
    else
        std::snprintf(delay, sizeof delay, "%u", layer.cbcrDelay);
    appendf(out, "\t\t<iw44 id=\"%s\" intent=\"%s\" cbcr-mode=\"%s\" cbcr-delay=\"%s\" subsample=\"%u\"", id,
            IW44Encoder::kIntentKeywords[layer.intent], IW44Encoder::kCbcrModeKeywords[layer.cbcrMode], delay,
            subsample);
    if (enhancer != 0)
        appendf(out, " enhancer=\"%u\"", enhancer);
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

template <class F>
String textOf(F append) {
    std::string out;
    append(out);
    return toString(out);
}
} // namespace

String getJB2Xml(const JB2Params& jb2) {
    return textOf([&](std::string& out) { appendJB2(out, jb2); });
}
String getRegionRecogXml(const RegionRecogParams& rr) {
    return textOf([&](std::string& out) { appendRegionRecog(out, rr); });
}
String getSegmenterXml(const SegmenterParams& seg) {
    return textOf([&](std::string& out) { appendSegmenter(out, seg); });
}
String getIW44Xml(const char* id, const IW44Encoder::Params& layer, uint32_t subsample, uint32_t enhancer) {
    return textOf([&](std::string& out) { appendIW44(out, id, layer, subsample, enhancer); });
}
String getExtraXml(const String& name, const String& value) {
    return textOf([&](std::string& out) { appendExtra(out, name, value); });
}

namespace {
void appendProfile(std::string& body, const DjVuEncoder::Params& p, const String& name, const String& description,
                   bool readOnly) {
    typedef DjVuEncoder E;
    appendAttribute(body, "\t<profile name=\"", name);
    appendf(body, "\n\t\tversion=\"%u\"", PROFILE_VERSION);
    if (!description.isEmpty())
        appendAttribute(body, "\n\t\tdescription=\"", description);
    if (p.dictMode == 1)
        appendf(body, "\n\t\tdict-freq=\"%u\"", p.dictFreq);
    if (p.encodeMode != 0)
        appendf(body, "\n\t\tencode-mode=\"%s\"", E::kEncodeModeKeywords[p.encodeMode]);
    if (p.emptyMaskProcess != 0)
        appendf(body, "\n\t\tempty-mask-process=\"%s\"",
                keyword(E::kEmptyMaskProcessKeywords, p.emptyMaskProcess, "empty-mask-process"));
    if (p.flexEncode != 0)
        appendf(body, "\n\t\tflex-encode=\"%s\"", yesNo(p.flexEncode));
    if (p.blackCompensation != 0)
        appendf(body, "\n\t\tblack-compensation=\"%s\"", yesNo(p.blackCompensation));
    if (p.upsample > 1)
        appendf(body, "\n\t\tupsample=\"%u\"", p.upsample);
    if (p.subsample > 1)
        appendf(body, "\n\t\tsubsample=\"%u\"", p.subsample);
    if (p.postSegmentSubsample > 1)
        appendf(body, "\n\t\tpost-segment-subsample=\"%u\"", p.postSegmentSubsample);
    if (!p.jpxParams.isEmpty())
        appendAttribute(body, "\n\t\tjpx-params=\"", p.jpxParams);
    if (!p.fgJpxParams.isEmpty())
        appendAttribute(body, "\n\t\tfg-jpx-params=\"", p.fgJpxParams);
    appendf(body, "\n\t\tbin-threshold=\"%u\"", p.binThreshold);
    if (p.gamma != 22)
        appendf(body, "\n\t\tgamma=\"%u.%u\"", p.gamma / 10, p.gamma % 10);
    if (p.bitonalEncoding != 0)
        appendf(body, "\n\t\tbitonal-encoding=\"%s\"",
                keyword(E::kBitonalEncodingKeywords, p.bitonalEncoding, "bitonal-encoding"));
    if (p.pictureEncoding != 0)
        appendf(body, "\n\t\tpicture-encoding=\"%s\"",
                keyword(E::kPictureEncodingKeywords, p.pictureEncoding, "picture-encoding"));
    if (p.flags != 0)
        appendf(body, "\n\t\tflags=\"%u\"", p.flags);
    if (readOnly)
        body += "\n\t\tread-only=\"yes\"";
    body += ">\n";
    if (E::usesJb2(p.encodeMode)) {
        appendJB2(body, p.jb2);
        appendRegionRecog(body, p.jb2.regionRecog);
    }
    if (E::usesForeground(p.encodeMode))
        appendIW44(body, "foreground", p.fgParams, p.fgSubsample, p.fgEnhancer);
    if (E::usesBackground(p.encodeMode))
        appendIW44(body, "background", p.bgParams, p.bgSubsample, p.bgEnhancer);
    if (E::usesSegmenter(p.encodeMode))
        appendSegmenter(body, p.segmenter);
    for (const auto& e : p.extras)
        appendExtra(body, e.first, e.second);
    body += "\t</profile>\n";
}
} // namespace

void appendXmlBody(std::string& out, const DjVuEncoder::Params& p, const String& name, const String& description,
                   bool readOnly) {
    typedef DjVuEncoder E;
    if (p.encodeMode >= keywordCount(E::kEncodeModeKeywords))
        throwInvalid("encode-mode");
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

using FieldRanges::Row;

// A number read against its field's range in the shared table.
uint32_t readField(const XmlElement& e, Row r, uint32_t defaultValue) {
    const FieldRanges::FieldRange& f = FieldRanges::row(r);
    return e.getAttr(f.attribute, defaultValue, f.maximum, f.minimum);
}

void readLayer(const XmlElement& e, IW44Encoder::Params* layer, uint32_t* subsample, uint32_t* enhancer,
               Row subsampleRow, Row enhancerRow) {
    layer->intent = IW44Encoder::ChunkIntent(e.getAttr("intent", IW44Encoder::kIntentKeywords, IW44Encoder::intentBG44));
    layer->cbcrMode = IW44Encoder::CbCrMode(e.getAttr("cbcr-mode", IW44Encoder::kCbcrModeKeywords, IW44Encoder::cbcrNormal));
    const char* delay = e.getAttrValue("cbcr-delay");
    if (!delay || !*delay || isAuto(delay))
        layer->cbcrDelay = IW44Encoder::kCbCrDelayAuto;
    else
        layer->cbcrDelay = leadingDigits<uint32_t>(delay);
    *subsample = readField(e, subsampleRow, IW44Encoder::defaultSubsample(layer->intent));
    *enhancer = readField(e, enhancerRow, 0);
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
        layer->quality = 75;
}

void readSegmenter(const XmlElement& e, SegmenterParams* s) {
    s->blockSize = readField(e, FieldRanges::blockSize, 16);
    s->maxSizeOfNoiseObj = readField(e, FieldRanges::maxSizeOfNoiseObj, 4);
    s->noiseHueThreshold = readField(e, FieldRanges::noiseHueThreshold, 8);
    s->upsample = readField(e, FieldRanges::segmenterUpsample, 1);
    s->blurRadius = readField(e, FieldRanges::blurRadius, 1);
    s->detectEdge = e.getAttrBool("detect-edge");
    s->thickenShapes = e.getAttrBool("thicken-shapes");
    s->useFgIfEmpty = e.getAttrBool("use-fg-if-empty");
    s->bgColorAutodetect = e.getAttrBool("bg-color-autodetect");
    s->bgColorExpected = e.getAttrColor("bg-color-expected", 0xFFFFFFFFu);
    s->bgColorThreshold = readField(e, FieldRanges::bgColorThreshold, 17);
    s->useNonBlurred = e.getAttrBool("use-non-blurred") ? 1 : 0;
}

void readJB2(const XmlElement& e, JB2Params* j) {
    static const uint32_t numerator[] = {0, 1, 1, 1, 1};
    static const uint32_t denominator[] = {1, 5, 4, 3, 2};
    const uint32_t policy = e.getAttr("quality-policy", JB2Params::kQualityPolicyKeywords, kNoPolicy);
    // A policy triples the refine threshold, so the value stored and written
    // back can reach the table's maximum; without a policy that written value
    // must read back. With a policy the value read is a third of it at most.
    const FieldRanges::FieldRange& refine = FieldRanges::row(FieldRanges::refineThreshold);
    j->refineThreshold = e.getAttr(refine.attribute, 60, policy != kNoPolicy ? refine.maximum / 3 : refine.maximum,
                                   refine.minimum);
    // Older profiles (version below PROFILE_VERSION) without a policy keep
    // the thresholds they state, like current ones: the derivation needs a
    // policy to index.
    if (policy != kNoPolicy) {
        j->matchThreshold = numerator[policy] * j->refineThreshold / denominator[policy];
        uint32_t center = ((j->matchThreshold + 1) >> 2) + 1;
        j->centerDiffThreshold = center < 4 ? center : 4;
        j->refineThreshold *= 3;
    } else {
        j->matchThreshold = readField(e, FieldRanges::matchThreshold, 12);
        j->centerDiffThreshold = readField(e, FieldRanges::centerDiffThreshold, 1);
    }
    j->maxPalettes = readField(e, FieldRanges::maxPalettes, 256);
    j->sortShapes = e.getAttrBool("sort-shapes");
    j->noiseReduction = JB2Params::NoiseReduction(e.getAttr("noise-reduction", JB2Params::kNoiseReductionKeywords, 0));
    j->pageShapeThreshold = readField(e, FieldRanges::pageShapeThreshold, 0);
    j->flags = readField(e, FieldRanges::jb2Flags, 0);
}

void readRegionRecog(const XmlElement& e, RegionRecogParams* r) {
    r->distLongMax = readField(e, FieldRanges::distLongMax, 60);
    r->distShortMax = readField(e, FieldRanges::distShortMax, 24);
    r->noiseThreshold = readField(e, FieldRanges::noiseThreshold, 3);
    r->colorThreshold = readField(e, FieldRanges::colorThreshold, 10);
    r->overlapThreshold = readField(e, FieldRanges::overlapThreshold, 9);
}

// A number without range whose 0 (or absence) keeps the current value.
void readKeepingCurrent(const XmlElement& e, const char* name, uint32_t* field) {
    uint32_t v = leadingDigits<uint32_t>(e.getAttrValue(name));
    if (v != 0)
        *field = v;
}

void readGamma(const XmlElement& e, uint32_t* gamma) {
    if (!e.hasAttr("gamma")) {
        *gamma = 22;
        return;
    }
    double tenths = e.getAttrString("gamma").toDouble() * 10.0;
    // Compared as a double first: NaN and huge values never reach the cast.
    const FieldRanges::FieldRange& range = FieldRanges::row(FieldRanges::gamma);
    if (tenths >= double(range.minimum) && tenths < double(range.maximum) + 1.0) {
        uint32_t t = uint32_t(std::trunc(tenths));
        if (t >= range.minimum && t <= range.maximum)
            *gamma = t;
    }
}

} // namespace

void readParams(const XmlElement& e, uint32_t /*version*/, DjVuEncoder::Params* p) {
    typedef DjVuEncoder E;
    p->name = checkProfileName(e.getAttrString("name"));
    uint32_t dictFreq = readField(e, FieldRanges::dictFreq, 0);
    p->dictMode = dictFreq != 0 ? 1 : 0;
    p->dictFreq = dictFreq;
    uint32_t mode = e.getAttr("encode-mode", E::kEncodeModeReadKeywords, E::modeAuto);
    if (mode == 6)
        mode = E::mode3Layer;
    else if (mode == 7)
        mode = E::mode2Layer;
    p->encodeMode = E::EncodeMode(mode);
    p->emptyMaskProcess = E::EmptyMaskProcess(e.getAttr("empty-mask-process", E::kEmptyMaskProcessKeywords, 0));
    p->flexEncode = e.getAttrBool("flex-encode");
    p->blackCompensation = e.getAttrBool("black-compensation");
    readKeepingCurrent(e, "upsample", &p->upsample);
    readKeepingCurrent(e, "subsample", &p->subsample);
    readKeepingCurrent(e, "post-segment-subsample", &p->postSegmentSubsample);
    p->jpxParams = e.getAttrString("jpx-params");
    p->fgJpxParams = e.getAttrString("fg-jpx-params");
    p->binThreshold = readField(e, FieldRanges::binThreshold, 240);
    readGamma(e, &p->gamma);
    p->bitonalEncoding = E::BitonalEncoding(e.getAttr("bitonal-encoding", E::kBitonalEncodingKeywords, 0));
    p->pictureEncoding = E::PictureEncoding(e.getAttr("picture-encoding", E::kPictureEncodingKeywords, 0));
    p->flags = leadingDigits<uint32_t>(e.getAttrValue("flags"));

    for (uint32_t i = 0; i < e.getChildCount(); ++i) {
        const XmlElement& c = *e.getChild(i);
        if (isElement(c, "iw44")) {
            const char* id = c.getAttrValue("id");
            if (id && std::strcmp(id, "foreground") == 0)
                readLayer(c, &p->fgParams, &p->fgSubsample, &p->fgEnhancer, FieldRanges::fgSubsample,
                          FieldRanges::fgEnhancer);
            else if (id && std::strcmp(id, "background") == 0)
                readLayer(c, &p->bgParams, &p->bgSubsample, &p->bgEnhancer, FieldRanges::bgSubsample,
                          FieldRanges::bgEnhancer);
        } else if (isElement(c, "segmenter")) {
            readSegmenter(c, &p->segmenter);
        } else if (isElement(c, "jb2")) {
            readJB2(c, &p->jb2);
        } else if (isElement(c, "region-recog")) {
            readRegionRecog(c, &p->jb2.regionRecog);
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
