// The XML reading layer of the profile library: a namespace-aware parser over
// Expat that builds a tree of counted elements, and the typed attribute
// readers that the profile reader uses for every attribute.
//
// Element and attribute names in a namespace arrive as "URI:local"; names in
// no namespace as the local name alone. Character data is trimmed piece by
// piece unless xml:space="preserve" is in force.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>

#include "baselib/svr_array.h"
#include "baselib/svr_base.h"
#include "baselib/svr_string.h"
#include "profile/djv_params.h"

namespace Solvaris {
namespace DjVu {
namespace XmlParse {

// The namespace name that the XML namespaces standard binds to "xml".
extern const char* const kXmlNamespaceUri;

// Namespace declarations in scope; carried through the tree when a manager is
// attached to the parser (nothing in this program attaches one).
class XmlNamespaceManager : public ReferableNoTS {
public:
    explicit XmlNamespaceManager(XmlNamespaceManager* parent = nullptr) : m_parent(parent) {}
    void declare(const String& prefix, const String& uri);
    // The prefix of a URI / the URI of a prefix, searching the enclosing
    // managers too; empty when undeclared.
    String prefixOf(const String& uri) const;
    String uriOf(const String& prefix) const;
    XmlNamespaceManager* parent() const { return m_parent; }

private:
    std::map<String, String> m_uriToPrefix;
    std::map<String, String> m_prefixToUri;
    XmlNamespaceManager* m_parent;   // not counted: kept alive by the parser's chain
    AutoPtr<XmlNamespaceManager> m_keepParent;
    friend class DjVuXmlParser;
};

// Orders attribute names byte-wise and lets them be looked up by a plain
// C text without building a String for every lookup.
// The attributes of one element, ordered by name (byte order). Names and
// values are kept as Expat gave them, all in one block per element: a
// repository of a thousand profiles holds tens of thousands of attributes,
// and a String pair for each would cost more than parsing the document.
class AttributeMap {
public:
    struct Entry {
        const char* name;    // NUL-terminated
        const char* value;   // NUL-terminated
        uint32_t valueLength;
    };
    AttributeMap() = default;
    AttributeMap(const AttributeMap&) = delete;
    AttributeMap& operator=(const AttributeMap&) = delete;
    ~AttributeMap() { std::free(m_block); }

    // Takes Expat's list: name, value, ..., closed by a null name. A name
    // given twice keeps its later value.
    void assign(const char** pairs);
    const Entry* find(const char* name) const;
    const Entry* begin() const { return m_entries; }
    const Entry* end() const { return m_entries + m_count; }
    uint32_t size() const { return m_count; }

private:
    void* m_block = nullptr;   // the entries, then the text they point into
    Entry* m_entries = nullptr;
    uint32_t m_count = 0;
};

class XmlElement : public ReferableNoTS {
public:
    // attributes: pairs name, value, closed by a null name (Expat's form).
    // The element appends itself to the parent's children.
    XmlElement(XmlElement* parent, const String& name, XmlNamespaceManager* manager, const char** attributes);

    XmlElement* getParent() const { return m_parent; }
    const String& getName() const { return m_name; }
    const String& getText() const { return m_text; }
    void setText(const String& text) { m_text = text; }
    bool preservesSpace() const { return m_preserveSpace; }
    uint32_t getChildCount() const { return m_children.count(); }
    XmlElement* getChild(uint32_t i) const { return m_children[i].get(); }
    const AttributeMap& getAttributes() const { return m_attributes; }
    XmlNamespaceManager* getNamespaceManager() const { return m_namespaceManager.get(); }

    bool hasAttr(const char* name) const;
    // The value in place (NUL-terminated, valid as long as the element), or
    // null when absent: for readers that need no String of it.
    const char* getAttrValue(const char* name) const {
        const AttributeMap::Entry* v = findAttr(name);
        return v ? v->value : nullptr;
    }
    // The value, or an empty text when absent.
    String getAttrString(const char* name) const;
    // Position of the value in the keyword list (letter case ignored); absent
    // gives the default; an unknown value throws errDataBroken
    // "Unknown value '%s' on %s!".
    uint32_t getAttr(const char* name, KeywordList keywords, uint32_t defaultValue) const;
    // Leading decimal digits of the value (none: 0; wraps modulo 2^32), which
    // must lie in [minimum, maximum] or errDataBroken
    // "%s should be in [%u %u] range! (value=%u)" is thrown; absent gives the
    // default unchecked.
    uint32_t getAttr(const char* name, uint32_t defaultValue, uint32_t maximum, uint32_t minimum) const;
    // "yes", "true" or "on" in any letter case; false otherwise and when absent.
    bool getAttrBool(const char* name) const;
    // "#" and at most 8 hexadecimal digits; anything else, and absent, gives
    // the default.
    uint32_t getAttrColor(const char* name, uint32_t defaultValue) const;

private:
    const AttributeMap::Entry* findAttr(const char* name) const { return m_attributes.find(name); }

    XmlElement* m_parent;   // not counted: the parent holds this element
    String m_name;
    String m_text;
    AttributeMap m_attributes;
    bool m_preserveSpace;
    SimpleArray<AutoPtr<XmlElement>> m_children;
    AutoPtr<XmlNamespaceManager> m_namespaceManager;
    friend class DjVuXmlParser;
};

// Drives one Expat parser. Expat is used with its defaults for safety: no
// external entity is ever loaded (no handler is installed, parameter
// entities are not parsed) and its amplification limits stay on.
class DjVuXmlParser : public ReferableNoTS {
public:
    DjVuXmlParser();   // throws errCannotCreate "Cannot initialize expat parser!"
    ~DjVuXmlParser() override;

    // Hands bytes to Expat. isFinal says that no more bytes follow, so that a
    // document cut short is reported as an error instead of being accepted
    // as far as it went. A syntax error throws errDataBroken with the line
    // "%s(%u) : XML error: %s\n" (source name, or "XML code"; line; Expat's
    // text).
    void parse(const char* bytes, uint32_t length, const char* sourceName, bool isFinal = true);
    // The document's top-level element; errNoContent "No XML root element!"
    // when there is none.
    AutoPtr<XmlElement> getRoot() const;
    // Forgets the tree and the manager; the parser itself keeps its state.
    void reset();
    // Attaches a namespace manager (none by default).
    void setNamespaceManager(XmlNamespaceManager* manager) { m_namespaceManager = manager; }

private:
    static void onStart(void* self, const char* name, const char** attributes);
    static void onEnd(void* self, const char* name);
    static void onText(void* self, const char* bytes, int length);
    static void onNamespaceStart(void* self, const char* prefix, const char* uri);
    static void onNamespaceEnd(void* self, const char* prefix);

    // The element names met so far: a document repeats a handful of names
    // (each with its namespace URI in front), so every element shares the
    // String of its name instead of making its own.
    const String& elementName(const char* name);
    std::map<std::string, String, std::less<>> m_names;

    void* m_parser;   // XML_Parser
    // Character data since the latest start tag, gathered in a growable
    // buffer: appending to a String would copy it for every piece.
    std::string m_text;
    SimpleArray<AutoPtr<XmlElement>> m_stack;
    AutoPtr<XmlNamespaceManager> m_namespaceManager;
    std::exception_ptr m_failure;
    uint64_t m_bytesSeen = 0;   // a handler's exception, rethrown by parse
};

// Parses a whole text (a document cut short is an error) and returns its
// top-level element; the tree outlives the parser.
AutoPtr<XmlElement> parseXmlString(const char* text, uint32_t length, const char* sourceName);
AutoPtr<XmlElement> parseXmlString(const String& text, const char* sourceName);

// Reads a whole file and parses it with the path as the source name; stores
// the file's modification time (seconds since 1970) when asked.
AutoPtr<XmlElement> readXmlFile(const String& path, uint64_t* modifiedTime = nullptr);

} // namespace XmlParse
} // namespace DjVu
} // namespace Solvaris
