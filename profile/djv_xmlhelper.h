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
#include <vector>

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
    // Releases the subtree level by level, not through the destructor of
    // each child in turn: the stack holds no frame per level of the tree.
    ~XmlElement() override;

    // Null when the parent is gone (or for the top of a tree).
    XmlElement* getParent() const { return m_parent; }
    // Whether the element's end was read: an element of a document cut short
    // or stopped by an error may lack children and text.
    bool isComplete() const { return m_complete; }
    const String& getName() const { return m_name; }
    const String& getText() const { return m_text; }
    void setText(const String& text) { m_text = text; }
    bool preservesSpace() const { return m_preserveSpace; }
    uint32_t getChildCount() const { return m_children.count(); }
    XmlElement* getChild(uint32_t i) const { return m_children[i].get(); }
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
    // Moves the children to `into`; they forget this element.
    void takeChildren(std::vector<AutoPtr<XmlElement>>& into);

    XmlElement* m_parent;   // not counted: the parent holds this element
    String m_name;
    String m_text;
    AttributeMap m_attributes;
    bool m_preserveSpace;
    bool m_complete = false;
    SimpleArray<AutoPtr<XmlElement>> m_children;
    AutoPtr<XmlNamespaceManager> m_namespaceManager;
    friend class DjVuXmlParser;
};

// The most elements open at once (the profile format nests four deep) and
// the most elements in one document (a repository of 16 MiB holds about a
// quarter of that). A document beyond either is refused before the element
// is made: its tree could not be released or walked with a bounded stack,
// or would take memory out of all proportion to the file.
const uint32_t kMaxDepth = 16;
const uint32_t kMaxElements = 1000000;
// The largest file read as a document: a repository of 30,000 profiles is
// about 10 MB; anyone may write the shared folder, and every process that
// lists profiles would otherwise read whatever lies there.
const uint32_t kMaxDocumentSize = 16u << 20;

// Drives one Expat parser. Expat is used with its defaults for safety: no
// external entity is ever loaded (no handler is installed, parameter
// entities are not parsed) and its amplification limits stay on.
class DjVuXmlParser : public ReferableNoTS {
public:
    DjVuXmlParser();   // throws errCannotCreate "Cannot initialize expat parser!"
    ~DjVuXmlParser() override;

    // Hands bytes to Expat. Without isFinal, a document cut short is not an
    // error here: the elements begun so far stay in the tree, and
    // checkComplete tells whether the document ended. isFinal says that no
    // more bytes follow, so that Expat itself reports a cut. A syntax error
    // or a limit throws errDataBroken with the line
    // "%s(%u) : XML error: %s\n" (source name, or "XML code"; line; the
    // reason), and parsing stops there; the tree read so far stays.
    void parse(const char* bytes, uint32_t length, const char* sourceName, bool isFinal = false);
    // errNoContent "No XML root element!" when no element was begun, and
    // errDataBroken when the top-level element did not end.
    void checkComplete(const char* sourceName) const;
    bool hasRoot() const { return !m_stack.isEmpty() && m_stack[0]->getChildCount() != 0; }
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
    [[noreturn]] void failAtLine(const char* sourceName, const char* reason) const;

    void* m_parser;   // XML_Parser
    // Character data since the latest start tag, gathered in a growable
    // buffer: appending to a String would copy it for every piece.
    std::string m_text;
    SimpleArray<AutoPtr<XmlElement>> m_stack;
    AutoPtr<XmlNamespaceManager> m_namespaceManager;
    std::exception_ptr m_failure;   // a handler's exception, rethrown by parse
    uint64_t m_bytesSeen = 0;
    uint32_t m_elements = 0;
    const char* m_sourceName = nullptr;   // while parse runs
};

// A document read as far as it could be: the top-level element (null when
// none was begun) with every element read up to the point where reading
// stopped, and why it stopped (null when the document was read whole; else
// what parseXmlString would throw). Elements whose end was not read are
// not complete.
struct PartialDocument {
    AutoPtr<XmlElement> root;
    std::exception_ptr failure;
};
PartialDocument parseXmlPartly(const char* text, uint32_t length, const char* sourceName);

// Parses a whole text (a document cut short is an error) and returns its
// top-level element; the tree outlives the parser.
AutoPtr<XmlElement> parseXmlString(const char* text, uint32_t length, const char* sourceName);
AutoPtr<XmlElement> parseXmlString(const String& text, const char* sourceName);

// Reads a whole file (at most kMaxDocumentSize bytes, else errTooLarge) and
// parses it with the path as the source name.
AutoPtr<XmlElement> readXmlFile(const String& path);

} // namespace XmlParse
} // namespace DjVu
} // namespace Solvaris
