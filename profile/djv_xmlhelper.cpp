#include "profile/djv_xmlhelper.h"

// Both Expat builds we link (Debian's and ours for Windows) have DTD support,
// which the amplification limits below belong to.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "baselib/svr_error.h"
#include "profile/djv_fileaccess.h"

namespace Solvaris {
namespace DjVu {
namespace XmlParse {

const char* const kXmlNamespaceUri = "http://www.w3.org/XML/1998/namespace";

// ---------------------------------------------------------------------------
// XmlNamespaceManager

void XmlNamespaceManager::declare(const String& prefix, const String& uri) {
    m_uriToPrefix[uri] = prefix;
    m_prefixToUri[prefix] = uri;
}

String XmlNamespaceManager::prefixOf(const String& uri) const {
    for (const XmlNamespaceManager* m = this; m; m = m->m_parent) {
        auto it = m->m_uriToPrefix.find(uri);
        if (it != m->m_uriToPrefix.end())
            return it->second;
    }
    return String();
}

String XmlNamespaceManager::uriOf(const String& prefix) const {
    for (const XmlNamespaceManager* m = this; m; m = m->m_parent) {
        auto it = m->m_prefixToUri.find(prefix);
        if (it != m->m_prefixToUri.end())
            return it->second;
    }
    return String();
}

namespace {
AutoPtr<XmlNamespaceManager> chainedManager(XmlNamespaceManager* parent) {
    AutoPtr<XmlNamespaceManager> m(new XmlNamespaceManager(parent));
    return m;
}
} // namespace

// ---------------------------------------------------------------------------
// XmlElement

void AttributeMap::assign(const char** pairs) {
    std::free(m_block);
    m_block = nullptr;
    m_entries = nullptr;
    m_count = 0;
    size_t count = 0, text = 0;
    for (size_t i = 0; pairs && pairs[i]; i += 2) {
        ++count;
        text += std::strlen(pairs[i]) + 1 + (pairs[i + 1] ? std::strlen(pairs[i + 1]) : 0) + 1;
    }
    if (count == 0)
        return;
    m_block = std::malloc(count * sizeof(Entry) + text);
    if (!m_block)
        throw std::bad_alloc();
    m_entries = static_cast<Entry*>(m_block);
    char* out = reinterpret_cast<char*>(m_entries + count);
    for (size_t i = 0; i < count; ++i) {
        const char* name = pairs[2 * i];
        const char* value = pairs[2 * i + 1] ? pairs[2 * i + 1] : "";
        const size_t nameBytes = std::strlen(name) + 1, valueBytes = std::strlen(value);
        Entry& e = m_entries[i];
        e.name = static_cast<const char*>(std::memcpy(out, name, nameBytes));
        out += nameBytes;
        e.value = static_cast<const char*>(std::memcpy(out, value, valueBytes + 1));
        e.valueLength = uint32_t(valueBytes);
        out += valueBytes + 1;
    }
    // Insertion sort: elements have a few dozen attributes at most, and it
    // needs no memory of its own (std::stable_sort takes a buffer each
    // time). Stable: of two entries with one name, the later stays behind.
    for (size_t i = 1; i < count; ++i) {
        const Entry e = m_entries[i];
        size_t j = i;
        for (; j > 0 && std::strcmp(e.name, m_entries[j - 1].name) < 0; --j)
            m_entries[j] = m_entries[j - 1];
        m_entries[j] = e;
    }
    m_count = uint32_t(count);
}

const AttributeMap::Entry* AttributeMap::find(const char* name) const {
    // The last of the entries with this name: a repeated name's later value.
    const Entry* it = std::upper_bound(begin(), end(), name,
                                       [](const char* n, const Entry& e) { return std::strcmp(n, e.name) < 0; });
    if (it == begin() || std::strcmp((it - 1)->name, name) != 0)
        return nullptr;
    return it - 1;
}

namespace {
// ASCII letters folded, as String::compareNoCase does.
bool equalsNoCase(const char* value, uint32_t length, const char* keyword) {
    for (uint32_t i = 0; i < length; ++i, ++keyword) {
        char a = value[i], b = *keyword;
        if (a >= 'A' && a <= 'Z')
            a = char(a + ('a' - 'A'));
        if (b >= 'A' && b <= 'Z')
            b = char(b + ('a' - 'A'));
        if (a != b)
            return false;
    }
    return *keyword == '\0';
}

bool isXmlSpaceAttribute(const char* name) {
    const size_t n = std::strlen(kXmlNamespaceUri);
    return std::strncmp(name, kXmlNamespaceUri, n) == 0 && std::strcmp(name + n, ":space") == 0;
}
} // namespace

XmlElement::XmlElement(XmlElement* parent, const String& name, XmlNamespaceManager* manager,
                       const char** attributes)
    : m_parent(parent), m_name(name), m_preserveSpace(parent ? parent->m_preserveSpace : false),
      m_namespaceManager(manager) {
    m_attributes.assign(attributes);
    if (const AttributeMap::Entry* space = m_attributes.begin()) {
        for (; space != m_attributes.end(); ++space) {
            if (isXmlSpaceAttribute(space->name) && std::strcmp(space->value, "preserve") == 0)
                m_preserveSpace = true;
        }
    }
    if (parent)
        parent->m_children.append(AutoPtr<XmlElement>(this));
}

XmlElement::~XmlElement() {
    // A child whose last reference is the list's gives its own children to
    // the list before it goes, so it dies without any: the loop, not the
    // stack, carries the depth. A child held elsewhere lives on, its
    // subtree with it.
    std::vector<AutoPtr<XmlElement>> pending;
    takeChildren(pending);
    while (!pending.empty()) {
        AutoPtr<XmlElement> child = std::move(pending.back());
        pending.pop_back();
        if (child->refCount() == 1)
            child->takeChildren(pending);
    }
}

void XmlElement::takeChildren(std::vector<AutoPtr<XmlElement>>& into) {
    for (AutoPtr<XmlElement>& child : m_children) {
        child->m_parent = nullptr;
        into.push_back(std::move(child));
    }
    m_children.clear();
}

bool XmlElement::hasAttr(const char* name) const {
    return findAttr(name) != nullptr;
}

String XmlElement::getAttrString(const char* name) const {
    const AttributeMap::Entry* v = findAttr(name);
    return v ? String(v->value, int32_t(v->valueLength)) : String();
}

uint32_t XmlElement::getAttr(const char* name, KeywordList keywords, uint32_t defaultValue) const {
    const AttributeMap::Entry* v = findAttr(name);
    if (!v)
        return defaultValue;
    for (uint32_t i = 0; keywords[i][0] != '\0'; ++i) {
        if (equalsNoCase(v->value, v->valueLength, keywords[i]))
            return i;
    }
    throw Exception(errDataBroken, String::format("Unknown value '%s' on %s!", v->value, name), __FILE__, __LINE__,
                    SVR_FUNCSIG);
}

uint32_t XmlElement::getAttr(const char* name, uint32_t defaultValue, uint32_t maximum, uint32_t minimum) const {
    const AttributeMap::Entry* v = findAttr(name);
    if (!v)
        return defaultValue;
    // The leading decimal digits, wrapping modulo 2^32 (String::toUInt).
    uint32_t value = 0;
    for (const char* p = v->value; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + uint32_t(*p - '0');
    if (value < minimum || value > maximum)
        throw Exception(errDataBroken,
                        String::format("%s should be in [%u %u] range! (value=%u)", name, minimum, maximum, value),
                        __FILE__, __LINE__, SVR_FUNCSIG);
    return value;
}

bool XmlElement::getAttrBool(const char* name) const {
    const AttributeMap::Entry* v = findAttr(name);
    if (!v)
        return false;
    return equalsNoCase(v->value, v->valueLength, "yes") || equalsNoCase(v->value, v->valueLength, "true") ||
           equalsNoCase(v->value, v->valueLength, "on");
}

uint32_t XmlElement::getAttrColor(const char* name, uint32_t defaultValue) const {
    const AttributeMap::Entry* v = findAttr(name);
    if (!v || v->value[0] != '#')
        return defaultValue;
    if (v->valueLength - 1 > 8)
        return defaultValue;
    return uint32_t(Hex::fromStrToInt(v->value + 1, v->valueLength - 1));
}

// ---------------------------------------------------------------------------
// DjVuXmlParser

namespace {
// Exceptions must not cross Expat's C frames: a handler that fails stops the
// parser and leaves its exception here for parse() to rethrow.
struct HandlerGuard {
    XML_Parser parser;
    std::exception_ptr* slot;
    template <class F>
    void run(F&& f) {
        if (*slot)
            return;
        try {
            f();
        } catch (...) {
            *slot = std::current_exception();
            XML_StopParser(parser, XML_FALSE);
        }
    }
};
} // namespace

DjVuXmlParser::DjVuXmlParser() : m_parser(nullptr), m_stack(16) {
    XML_Parser p = XML_ParserCreateNS("utf-8", ':');
    if (!p)
        SVR_THROW(errCannotCreate, "Cannot initialize expat parser!");
    m_parser = p;
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &DjVuXmlParser::onStart, &DjVuXmlParser::onEnd);
    XML_SetCharacterDataHandler(p, &DjVuXmlParser::onText);
    XML_SetNamespaceDeclHandler(p, &DjVuXmlParser::onNamespaceStart, &DjVuXmlParser::onNamespaceEnd);
    // Parameter entities and the external subset are never read; with no
    // external entity handler nothing outside the document is fetched.
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    // Expat's protection against entity amplification stays on; profile
    // files use no entities of their own, so it may start early.
    XML_SetBillionLaughsAttackProtectionActivationThreshold(p, 1024 * 1024);
    reset();
}

DjVuXmlParser::~DjVuXmlParser() {
    // The document's elements may outlive the parser: the top-level ones
    // lose their synthetic parent.
    if (!m_stack.isEmpty()) {
        for (uint32_t i = 0; i < m_stack[0]->getChildCount(); ++i)
            m_stack[0]->getChild(i)->m_parent = nullptr;
    }
    m_stack.clear();
    if (m_parser)
        XML_ParserFree(static_cast<XML_Parser>(m_parser));
}

void DjVuXmlParser::reset() {
    m_namespaceManager = nullptr;
    m_text.clear();
    m_stack.clear();
    m_stack.append(AutoPtr<XmlElement>(new XmlElement(nullptr, String("root"), nullptr, nullptr)));
}

AutoPtr<XmlElement> DjVuXmlParser::getRoot() const {
    if (m_stack.isEmpty() || m_stack[0]->getChildCount() == 0)
        SVR_THROW(errNoContent, "No XML root element!");
    return AutoPtr<XmlElement>(m_stack[0]->getChild(0));
}

void DjVuXmlParser::parse(const char* bytes, uint32_t length, const char* sourceName, bool isFinal) {
    XML_Parser p = static_cast<XML_Parser>(m_parser);
    m_failure = nullptr;
    m_sourceName = sourceName;
    // An empty document is not a syntax error here: it simply has no root,
    // which getRoot reports.
    m_bytesSeen += length;
    if (isFinal && m_bytesSeen == 0)
        return;
    XML_Status status = XML_STATUS_OK;
    // Expat takes an int length: hand over very long inputs in pieces.
    const uint32_t kPiece = 0x40000000u;
    do {
        uint32_t n = length > kPiece ? kPiece : length;
        bool last = n == length;
        status = XML_Parse(p, bytes, int(n), (last && isFinal) ? XML_TRUE : XML_FALSE);
        bytes += n;
        length -= n;
    } while (status == XML_STATUS_OK && length > 0);
    m_sourceName = nullptr;
    if (m_failure) {
        std::exception_ptr failure = m_failure;
        m_failure = nullptr;
        std::rethrow_exception(failure);
    }
    if (status != XML_STATUS_ERROR)
        return;
    const XML_LChar* text = XML_ErrorString(XML_GetErrorCode(p));
    if (!text || !*text)
        return;
    failAtLine(sourceName, text);
}

void DjVuXmlParser::failAtLine(const char* sourceName, const char* reason) const {
    String message = String::format("%s(%u) : XML error: %s\n", sourceName ? sourceName : "XML code",
                                    unsigned(XML_GetCurrentLineNumber(static_cast<XML_Parser>(m_parser))), reason);
    throw Exception(errDataBroken, message, __FILE__, __LINE__, SVR_FUNCSIG);
}

void DjVuXmlParser::checkComplete(const char* sourceName) const {
    if (!hasRoot())
        SVR_THROW(errNoContent, "No XML root element!");
    if (m_stack.count() > 1)
        failAtLine(sourceName, "the document ends inside an element");
}

const String& DjVuXmlParser::elementName(const char* name) {
    auto it = m_names.find(name);
    if (it == m_names.end())
        it = m_names.emplace(name, String(name)).first;
    return it->second;
}

void DjVuXmlParser::onStart(void* userData, const char* name, const char** attributes) {
    DjVuXmlParser* self = static_cast<DjVuXmlParser*>(userData);
    HandlerGuard{static_cast<XML_Parser>(self->m_parser), &self->m_failure}.run([&] {
        self->m_text.clear();
        // Refused before anything is made for the element: parsing stops,
        // and the tree keeps what came before.
        if (self->m_stack.count() > kMaxDepth)
            self->failAtLine(self->m_sourceName, "elements nested too deep");
        if (self->m_elements >= kMaxElements)
            self->failAtLine(self->m_sourceName, "too many elements");
        ++self->m_elements;
        XmlElement* top = self->m_stack[self->m_stack.count() - 1].get();
        AutoPtr<XmlElement> element(
            new XmlElement(top, self->elementName(name), self->m_namespaceManager.get(), attributes));
        self->m_stack.append(element);
        if (self->m_namespaceManager) {
            AutoPtr<XmlNamespaceManager> next = chainedManager(self->m_namespaceManager.get());
            next->m_keepParent = self->m_namespaceManager;
            self->m_namespaceManager = next;
        }
    });
}

void DjVuXmlParser::onEnd(void* userData, const char*) {
    DjVuXmlParser* self = static_cast<DjVuXmlParser*>(userData);
    HandlerGuard{static_cast<XML_Parser>(self->m_parser), &self->m_failure}.run([&] {
        if (self->m_stack.count() <= 1)
            return;   // Expat pairs every end with a start; the synthetic root never ends
        AutoPtr<XmlElement> element = self->m_stack[self->m_stack.count() - 1];
        self->m_stack.remove(self->m_stack.count() - 1);
        element->setText(String(self->m_text.data(), int32_t(self->m_text.size())));
        element->m_complete = true;
        XmlElement* enclosing = self->m_stack[self->m_stack.count() - 1].get();
        if (XmlNamespaceManager* m = enclosing->getNamespaceManager()) {
            AutoPtr<XmlNamespaceManager> next = chainedManager(m);
            next->m_keepParent = m;
            self->m_namespaceManager = next;
        }
    });
}

void DjVuXmlParser::onText(void* userData, const char* bytes, int length) {
    DjVuXmlParser* self = static_cast<DjVuXmlParser*>(userData);
    HandlerGuard{static_cast<XML_Parser>(self->m_parser), &self->m_failure}.run([&] {
        if (length <= 0)
            return;
        XmlElement* top = self->m_stack[self->m_stack.count() - 1].get();
        if (!top->preservesSpace()) {
            // Line breaks and indentation between elements: nothing is left
            // after trimming, so no String is made for them.
            bool blank = true;
            for (int i = 0; i < length && blank; ++i)
                blank = bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r');
            if (blank)
                return;
        }
        if (top->preservesSpace()) {
            self->m_text.append(bytes, size_t(length));
            return;
        }
        String piece = String(bytes, length).trim();
        self->m_text.append(piece.c_str(), piece.length());
    });
}

void DjVuXmlParser::onNamespaceStart(void* userData, const char* prefix, const char* uri) {
    DjVuXmlParser* self = static_cast<DjVuXmlParser*>(userData);
    HandlerGuard{static_cast<XML_Parser>(self->m_parser), &self->m_failure}.run([&] {
        if (self->m_namespaceManager)
            self->m_namespaceManager->declare(String(prefix ? prefix : ""), String(uri ? uri : ""));
    });
}

void DjVuXmlParser::onNamespaceEnd(void*, const char*) {}

// ---------------------------------------------------------------------------

PartialDocument parseXmlPartly(const char* text, uint32_t length, const char* sourceName) {
    PartialDocument doc;
    AutoPtr<DjVuXmlParser> parser(new DjVuXmlParser());
    try {
        parser->parse(text, length, sourceName);
        parser->checkComplete(sourceName);
    } catch (...) {
        doc.failure = std::current_exception();
    }
    if (parser->hasRoot())
        doc.root = parser->getRoot();
    return doc;
}

AutoPtr<XmlElement> parseXmlString(const char* text, uint32_t length, const char* sourceName) {
    PartialDocument doc = parseXmlPartly(text, length, sourceName);
    if (doc.failure)
        std::rethrow_exception(doc.failure);
    return doc.root;
}

AutoPtr<XmlElement> parseXmlString(const String& text, const char* sourceName) {
    return parseXmlString(text.c_str(), text.length(), sourceName);
}

AutoPtr<XmlElement> readXmlFile(const String& path) {
    SimpleArray<char> bytes;
    FileAccess::readWholeFile(path, &bytes, kMaxDocumentSize);
    return parseXmlString(bytes.data(), bytes.count(), path.c_str());
}

} // namespace XmlParse
} // namespace DjVu
} // namespace Solvaris
