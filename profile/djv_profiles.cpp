#include "profile/djv_profiles.h"

#include <map>
#include <string>

#include "baselib/svr_error.h"
#include "profile/djv_fieldranges.h"
#include "profile/djv_fileaccess.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"

namespace Solvaris {
namespace DjVu {

namespace _Svr_Internal_NS_ {

using ProfileXml::ProfileData;
using XmlParse::XmlElement;

const char* const kBuiltInDescription =
    "This profile is SDK embedded profile and only loaded if there's no db0.dprepo file installed.";

[[noreturn]] void throwReadOnly() {
    SVR_THROW(errReadOnly, "This profile is read-only!");
}

class ProfileImpl : public Profile {
public:
    ProfileImpl(const DjVuEncoder::Params& params, const String& description)
        : readOnly(false), installed(false), modified(false), version(PROFILE_VERSION), description(description),
          params(params) {}

    const DjVuEncoder::Params& getParams() const override { return params; }

    void setParams(const DjVuEncoder::Params& p) override {
        if (p == params)
            return;
        checkReadOnly();
        // A record the file could not carry back is refused here, before
        // any save could write it.
        FieldRanges::checkParams(p);
        params = p;
        modified = true;
    }

    void setReadOnly(bool flag) override {
        if (flag != readOnly) {
            readOnly = flag;
            modified = true;
        }
    }

    bool isInstalled() const override { return installed; }
    bool isReadOnly() const override { return readOnly; }
    bool isModified() const override { return modified; }
    uint32_t getVersion() const override { return version; }
    String getName() const override { return params.name; }
    String getDescription() const override { return description; }

    void setDescription(const String& text) override {
        checkReadOnly();
        if (text != description) {
            description = text;
            modified = true;
        }
    }

    String getXml() const override {
        std::string out = ProfileXml::getXmlHeader().c_str();
        ProfileXml::appendXmlBody(out, params, params.name, description, false);
        out += ProfileXml::getXmlFooter();
        return String(out.data(), int32_t(out.size()));
    }

    void exportToXmlFile(const String& path) const override {
        const String xml = getXml();
        FileAccess::replaceFile(path, xml.c_str(), xml.length());
    }

    AutoPtr<Profile> clone(const String& newName) const override {
        if (newName.isEmpty())
            SVR_THROW(errInvalidParam, "Profile name should not be empty!");
        AutoPtr<ProfileImpl> copy(new ProfileImpl(params, description));
        copy->params.name = ProfileXml::checkProfileName(newName);
        return AutoPtr<Profile>(copy);
    }

    void checkReadOnly() const {
        if (readOnly)
            throwReadOnly();
    }

    static AutoPtr<ProfileImpl> fromData(const ProfileData& data) {
        AutoPtr<ProfileImpl> p(new ProfileImpl(data.params, data.description));
        p->readOnly = data.readOnly;
        p->version = data.version;
        return p;
    }

    static AutoPtr<ProfileImpl> builtIn() {
        DjVuEncoder::Params params;
        params.name = String(kBuiltInProfileName);
        AutoPtr<ProfileImpl> p(new ProfileImpl(params, String(kBuiltInDescription)));
        p->readOnly = true;
        p->installed = true;
        return p;
    }

    bool readOnly;
    bool installed;
    bool modified;
    uint32_t version;
    String description;
    DjVuEncoder::Params params;
};

class ProfileRepositoryImpl : public ProfileRepository {
public:
    explicit ProfileRepositoryImpl(const String& path) : path(path) {}

    ~ProfileRepositoryImpl() override { save(); }

    void reload() override {
        profiles.clear();
        damaged = false;
        const bool exists = FileAccess::fileExists(path);
        try {
            uint64_t time = 0;
            AutoPtr<XmlElement> root = XmlParse::readXmlFile(path, &time);
            fileTime = time;
            if (ProfileXml::isElement(*root, "profile")) {
                enterFromElement(*root);
            } else if (ProfileXml::isElement(*root, "repository")) {
                for (uint32_t i = 0; i < root->getChildCount(); ++i) {
                    if (ProfileXml::isElement(*root->getChild(i), "profile"))
                        enterFromElement(*root->getChild(i));
                }
            } else {
                damaged = true;   // not ours: never written over without a copy
            }
        } catch (...) {
            // A missing file is the normal start; anything else means the
            // file holds more than was read.
            damaged = exists;
        }
        if (profiles.empty())
            profiles[String(kBuiltInProfileName)] = ProfileImpl::builtIn();
        // Whatever the source (repository, single profile, built-in profile),
        // the table as read is the state on disk: only a change writes.
        loadedCount = uint32_t(profiles.size());
    }

    bool save() override {
        try {
            // Decided before the text is built: releasing a repository that
            // was only read costs no more than the look at the flags.
            if (loadedCount == profiles.size() && !hasUnsavedProfiles())
                return true;
            std::string doc = buildDocument();
            if (damaged)
                keepDamagedCopy();
            FileAccess::replaceFile(path, doc.data(), uint32_t(doc.size()));
            for (auto& entry : profiles) {
                entry.second->modified = false;
                entry.second->version = PROFILE_VERSION;
            }
            loadedCount = uint32_t(profiles.size());
            damaged = false;
            return true;
        } catch (...) {
            return false;
        }
    }

    // Whether a profile that the file would carry has changes.
    bool hasUnsavedProfiles() const override {
        for (const auto& entry : profiles) {
            if (entry.first != String(kBuiltInProfileName) && entry.second->modified)
                return true;
        }
        return false;
    }

    void saveAs(const String& target) const override {
        std::string doc = buildDocument();
        FileAccess::replaceFile(target, doc.data(), uint32_t(doc.size()));
    }

    bool isFileNewer() const override { return FileAccess::modifiedTime(path) > fileTime; }

    void getProfileNames(SimpleArray<String>& names) const override {
        names.clear();
        for (const auto& entry : profiles)
            names.append(entry.first);
    }

    AutoPtr<Profile> loadProfile(const String& name) override { return AutoPtr<Profile>(find(name)); }
    AutoPtr<const Profile> loadProfile(const String& name) const override {
        return AutoPtr<const Profile>(find(name));
    }

    void installProfile(Profile* profile, const String& name) override {
        ProfileImpl* p = dynamic_cast<ProfileImpl*>(profile);
        if (!p)
            SVR_THROW(errInvalidParam, "Not a profile of this library!");
        if (p->installed)
            return;
        const String key = name.isEmpty() ? p->params.name : name;
        if (profiles.count(key))
            throw Exception(errAlreadyExists,
                            String::format("Profile of the name already exists: \"%s\"", key.c_str()), __FILE__,
                            __LINE__, SVR_FUNCSIG);
        // The name and the record are checked before the table changes.
        ProfileXml::checkProfileName(key);
        FieldRanges::checkParams(p->params);
        profiles[key] = AutoPtr<ProfileImpl>(p);
        p->params.name = key;
        p->installed = true;
        p->modified = true;
    }

    void removeProfile(const String& name) override {
        auto it = profiles.find(name);
        if (it == profiles.end())
            SVR_THROW(errNotFound, "No such profile!");
        AutoPtr<ProfileImpl> p = it->second;
        p->checkReadOnly();
        p->installed = false;
        DjVuEncoder::Params defaults;
        defaults.name = p->params.name;
        if (p->params != defaults)
            p->modified = true;
        profiles.erase(it);
    }

    bool hasProfile(const String& name) const override { return profiles.count(name) != 0; }

    void renameProfile(const String& oldName, const String& newName) override {
        auto it = profiles.find(oldName);
        if (it == profiles.end())
            SVR_THROW(errNotFound, "No such profile!");
        if (profiles.count(newName))
            SVR_THROW(errAlreadyExists, "Profile by the name already exists!");
        AutoPtr<ProfileImpl> p = it->second;
        p->checkReadOnly();
        ProfileXml::checkProfileName(newName);
        profiles.erase(it);
        profiles[newName] = p;
        p->params.name = newName;
        p->modified = true;
    }

    String path;
    uint64_t fileTime = 0;
    uint32_t loadedCount = 0;

private:
    ProfileImpl* find(const String& name) const {
        auto it = profiles.find(name);
        if (it == profiles.end())
            throw Exception(errNotFound, String::format("No profile by that name: \"%s\"", name.c_str()), __FILE__,
                            __LINE__, SVR_FUNCSIG);
        return it->second.get();
    }

    void enterFromElement(const XmlElement& element) {
        ProfileData data;
        ProfileXml::importXml(element, &data);
        AutoPtr<ProfileImpl> p = ProfileImpl::fromData(data);
        p->installed = true;
        profiles[p->params.name] = p;
    }

    // Every profile but the built-in one, in table order, each under its
    // table name (the name its repository knows it by).
    std::string buildDocument() const {
        std::string doc = ProfileXml::getXmlHeader().c_str();
        // Room for the usual profile (600 bytes or so): the text is not
        // copied over and over while it grows.
        doc.reserve(doc.size() + profiles.size() * 1024);
        const String builtIn(kBuiltInProfileName);
        for (const auto& entry : profiles) {
            if (entry.first == builtIn)
                continue;
            const ProfileImpl& p = *entry.second;
            ProfileXml::appendCommentLine(doc, entry.first);
            ProfileXml::appendXmlBody(doc, p.params, entry.first, p.description, p.readOnly);
        }
        doc += ProfileXml::getXmlFooter();
        return doc;
    }

    // The file could not be read to its end: before it is replaced, its
    // bytes are kept beside it as "<name>.damaged" (or ".damaged.N" when
    // that exists), so that profiles after the damage are not lost.
    void keepDamagedCopy() const {
        if (!FileAccess::fileExists(path))
            return;
        for (int i = 0; i < 100; ++i) {
            String copy = i == 0 ? path + String(".damaged") : path + String::format(".damaged.%d", i);
            if (FileAccess::fileExists(copy))
                continue;
            if (FileAccess::copyFileIfAbsent(path, copy))
                return;
            break;
        }
        SVR_THROW(errWriteFailed, "Cannot keep a copy of the damaged repository file");
    }

    std::map<String, AutoPtr<ProfileImpl>> profiles;
    bool damaged = false;
};

} // namespace _Svr_Internal_NS_

using _Svr_Internal_NS_::ProfileImpl;
using _Svr_Internal_NS_::ProfileRepositoryImpl;

AutoPtr<Profile> Profile::create(const String& name, const String& description, const DjVuEncoder::Params* params) {
    if (name.isEmpty())
        SVR_THROW(errInvalidParam, "Profile name should not be empty!");
    if (params)
        FieldRanges::checkParams(*params);
    AutoPtr<ProfileImpl> p(new ProfileImpl(params ? *params : DjVuEncoder::Params(), description));
    p->params.name = ProfileXml::checkProfileName(name);
    return AutoPtr<Profile>(p);
}

AutoPtr<Profile> Profile::importFromXml(const String& xml) {
    AutoPtr<XmlParse::XmlElement> root = XmlParse::parseXmlString(xml, nullptr);
    ProfileXml::ProfileData data;
    ProfileXml::importXml(*root, &data);
    return AutoPtr<Profile>(ProfileImpl::fromData(data));
}

AutoPtr<Profile> Profile::importFromXmlFile(const String& path) {
    if (FileAccess::fileExists(path)) {
        AutoPtr<XmlParse::XmlElement> root = XmlParse::readXmlFile(path);
        ProfileXml::ProfileData data;
        ProfileXml::importXml(*root, &data);
        return AutoPtr<Profile>(ProfileImpl::fromData(data));
    }
    uint32_t colon = path.rfind(':');
    if (colon != kNotFound) {
        String repositoryPath = path.substring(0, colon);
        String profileName = path.substring(colon + 1);
        if (!profileName.isEmpty() && FileAccess::fileExists(repositoryPath)) {
            AutoPtr<ProfileRepository> repository = ProfileRepository::create(repositoryPath);
            return repository->loadProfile(profileName)->clone(profileName);
        }
    }
    SVR_THROW(errInvalidParam, "Repository file not found.");
}

AutoPtr<ProfileRepository> ProfileRepository::create(const String& path) {
    AutoPtr<ProfileRepositoryImpl> repository(new ProfileRepositoryImpl(path));
    // No usable reserved folder (the locator said why in the debug file):
    // no file, so the built-in profile alone.
    String folder = path.isEmpty() ? FileAccess::systemReservedDirectory() : String();
    if (!folder.isEmpty()) {
        repository->path = FileAccess::joinPath(folder, "db0.dprepo");
        String seed = FileAccess::joinPath(folder, "defaults.dprepo");
        if (!FileAccess::fileExists(repository->path) && FileAccess::fileExists(seed))
            FileAccess::copyFileIfAbsent(seed, repository->path);
    }
    repository->reload();
    return AutoPtr<ProfileRepository>(repository);
}

void DjVuEncoder::Params::loadFromProfile(const String& profileName) {
    AutoPtr<ProfileRepository> repository = ProfileRepository::create(String());
    *this = repository->loadProfile(profileName)->getParams();
}

void DjVuEncoder::Params::loadFromXmlFile(const String& path) {
    *this = Profile::importFromXmlFile(path)->getParams();
}

} // namespace DjVu
} // namespace Solvaris
