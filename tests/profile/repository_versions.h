// Repository files that the save torture tests and their child program
// write: version n of writer w holds the profiles "w-n-k" for k below a
// count that follows from n, each with a description whose length and bytes
// follow from n and k, so that the files grow and shrink from save to save
// and any mix of two versions, or a cut, shows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "baselib/svr_array.h"
#include "baselib/svr_error.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

namespace repository_versions {

using Solvaris::AutoPtr;
using Solvaris::String;
using namespace Solvaris::DjVu;

inline uint32_t profileCount(uint32_t n) { return 1 + (n * 7919u) % 9; }

inline std::string nameOf(uint32_t writer, uint32_t n, uint32_t k) {
    return std::to_string(writer) + "-" + std::to_string(n) + "-" + std::to_string(k);
}

inline std::string descriptionOf(uint32_t n, uint32_t k) {
    std::string text(50 + (n * 31u + k * 977u) % 3000u, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char('a' + (i * 7u + n + k) % 26u);
    return text;
}

inline String lib(const std::string& s) { return String(s.data(), int32_t(s.size())); }

// Opens the repository, replaces all its profiles by those of version n of
// the writer and saves it; save's answer.
inline bool saveVersion(const String& path, uint32_t writer, uint32_t n) {
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(path);
    Solvaris::SimpleArray<String> names;
    repo->getProfileNames(names);
    for (const String& name : names) {
        if (name != String(kBuiltInProfileName))
            repo->removeProfile(name);
    }
    for (uint32_t k = 0; k < profileCount(n); ++k)
        repo->installProfile(Profile::create(lib(nameOf(writer, n, k)), lib(descriptionOf(n, k))).get(), String());
    return repo->save();
}

// Whether the file is one complete version; its writer and number, or why not.
inline bool readVersion(const String& path, uint32_t* writer, uint32_t* n, std::string* why) {
    try {
        AutoPtr<XmlParse::XmlElement> root = XmlParse::readXmlFile(path);
        unsigned w = 0, v = 0, k0 = 0;
        if (!ProfileXml::isElement(*root, "repository") || root->getChildCount() == 0 ||
            std::sscanf(root->getChild(0)->getAttrString("name").c_str(), "%u-%u-%u", &w, &v, &k0) != 3) {
            *why = "not a repository of these versions";
            return false;
        }
        bool whole = root->getChildCount() == profileCount(v);
        for (uint32_t k = 0; whole && k < root->getChildCount(); ++k) {
            const XmlParse::XmlElement& p = *root->getChild(k);
            whole = p.getAttrString("name") == lib(nameOf(w, v, k)) &&
                    p.getAttrString("description") == lib(descriptionOf(v, k));
        }
        if (!whole) {
            *why = "profiles of version " + std::to_string(v) + " missing or changed";
            return false;
        }
        *writer = w;
        *n = v;
        return true;
    } catch (const Solvaris::Exception& e) {
        *why = std::string(e.message().c_str());
        return false;
    }
}

} // namespace repository_versions
