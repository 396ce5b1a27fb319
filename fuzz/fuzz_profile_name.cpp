// The name rules on arbitrary bytes. A name the rules take is carried by the
// file byte for byte: the single-profile document and the repository
// document both read back the very same name, so two taken names can never
// become one on saving. A refused name is refused with errInvalidParam.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "baselib/svr_error.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

using namespace Solvaris;
using namespace Solvaris::DjVu;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096)
        return 0;
    const String name(reinterpret_cast<const char*>(data), int32_t(size));
    try {
        ProfileXml::checkProfileName(name);
    } catch (const Exception& e) {
        if (e.code() != errInvalidParam)
            std::abort();
        return 0;
    }
    // Taken: nothing below may throw, and the name comes back unchanged.
    AutoPtr<Profile> profile = Profile::create(name, String());
    if (Profile::importFromXml(profile->getXml())->getName() != name)
        std::abort();
    std::string doc = ProfileXml::getXmlHeader().c_str();
    doc += ProfileXml::getCommentLine(name).c_str();
    ProfileXml::appendXmlBody(doc, profile->getParams(), name, String(), false);
    doc += ProfileXml::getXmlFooter();
    AutoPtr<XmlParse::XmlElement> root = XmlParse::parseXmlString(String(doc.data(), int32_t(doc.size())), nullptr);
    ProfileXml::ProfileData read;
    ProfileXml::importXml(*root, &read);
    if (read.params.name != name)
        std::abort();
    return 0;
}
