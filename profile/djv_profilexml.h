// The XML form of profiles: the writer, which builds the text directly from
// format pieces in a fixed order, and the reader, which fills a record from
// the element tree of djv_xmlhelper. A repository file holds any number of
// profiles; an exported profile is the same document with one profile.
#pragma once

#include <cstdint>
#include <string>

#include "baselib/svr_string.h"
#include "profile/djv_params.h"
#include "profile/djv_xmlhelper.h"

namespace Solvaris {
namespace DjVu {

// Every element of the format lies in this namespace.
extern const char* const PROFILE_NAMESPACE;
// The format version the writer writes; the reader rejects larger ones.
const uint32_t PROFILE_VERSION = 28543;
// The built-in profile's name; never written to a repository file.
extern const char* const kBuiltInProfileName;

namespace ProfileXml {

// Escapes UTF-8 text for an attribute value. Bytes that start no sequence,
// sequences cut short by the end, and code points that XML cannot carry
// become "?" and set *invalid (when given).
String escapeXml(const String& text, bool* invalid = nullptr);

// Document pieces.
String getXmlHeader();
const char* getXmlFooter();   // "</repository>\n"
// The comment line before each profile of a repository: the name as it is,
// except that what would end or break the comment is defused ("--" gets a
// blank between the hyphens; bytes XML cannot carry become "?").
String getCommentLine(const String& name);
// Same, appended to doc.
void appendCommentLine(std::string& doc, const String& name);

// One profile element. Throws errInvalidParam for an encode mode or any
// other enumeration outside its keyword list and for a layer that cannot be
// written (a slice callback set).
String getXmlBody(const DjVuEncoder::Params& params, const String& name, const String& description, bool readOnly);
// Same, appended to out (the repository writer builds large documents).
void appendXmlBody(std::string& out, const DjVuEncoder::Params& params, const String& name,
                   const String& description, bool readOnly);

// What a profile element carries besides its record.
struct ProfileData {
    DjVuEncoder::Params params;
    uint32_t version = PROFILE_VERSION;
    bool readOnly = false;
    String description;
};

// Fills data from a profile element, or from the first child of a repository
// element. Throws errDataBroken ("No profiles in repository file!", "Not a
// profile!", attribute errors), errReadOnly (27) for a version above
// PROFILE_VERSION, errInvalidParam for a bad name.
void importXml(const XmlParse::XmlElement& element, ProfileData* data);
// The record alone, given the profile's format version.
void readParams(const XmlParse::XmlElement& profile, uint32_t version, DjVuEncoder::Params* params);

// Element names as the reader sees them: the namespace, ":" and the local name.
String qualifiedName(const char* local);
bool isElement(const XmlParse::XmlElement& element, const char* local);

// The name rules: not empty, no "\", ":" or "/". Throws errInvalidParam with
// the name in the message; returns the name unchanged.
String checkProfileName(const String& name);

} // namespace ProfileXml
} // namespace DjVu
} // namespace Solvaris
