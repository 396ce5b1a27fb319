#include "profile/djv_profiles.h"

#include <exception>
#include <map>
#include <string>

#include "baselib/svr_error.h"
#include "baselib/svr_filestamp.h"
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
        : m_readOnly(false), m_installed(false), m_modified(false), m_version(PROFILE_VERSION),
          m_description(description), m_params(params) {}

    const DjVuEncoder::Params& getParams() const override { return m_params; }

    void setParams(const DjVuEncoder::Params& p) override {
        if (p == m_params)
            return;
        checkReadOnly();
        // A record the file could not carry back is refused here, before
        // any save could write it.
        FieldRanges::checkParams(p);
        m_params = p;
        m_modified = true;
    }

    void setReadOnly(bool flag) override {
        if (flag != m_readOnly) {
            m_readOnly = flag;
            m_modified = true;
        }
    }

    bool isInstalled() const override { return m_installed; }
    bool isReadOnly() const override { return m_readOnly; }
    bool isModified() const override { return m_modified; }
    uint32_t getVersion() const override { return m_version; }
    String getName() const override { return m_params.name; }
    String getDescription() const override { return m_description; }

    void setDescription(const String& text) override {
        checkReadOnly();
        if (text != m_description) {
            m_description = text;
            m_modified = true;
        }
    }

    String getXml() const override {
        std::string out = ProfileXml::getXmlHeader().c_str();
        ProfileXml::appendXmlBody(out, m_params, m_params.name, m_description, false);
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
        AutoPtr<ProfileImpl> copy(new ProfileImpl(m_params, m_description));
        copy->m_params.name = ProfileXml::checkProfileName(newName);
        return AutoPtr<Profile>(copy);
    }

    void checkReadOnly() const {
        if (m_readOnly)
            throwReadOnly();
    }

    static AutoPtr<ProfileImpl> fromData(const ProfileData& data) {
        AutoPtr<ProfileImpl> p(new ProfileImpl(data.params, data.description));
        p->m_readOnly = data.readOnly;
        p->m_version = data.version;
        return p;
    }

    static AutoPtr<ProfileImpl> builtIn() {
        DjVuEncoder::Params params;
        params.name = String(kBuiltInProfileName);
        AutoPtr<ProfileImpl> p(new ProfileImpl(params, String(kBuiltInDescription)));
        p->m_readOnly = true;
        p->m_installed = true;
        return p;
    }

    bool m_readOnly;
    bool m_installed;
    bool m_modified;
    uint32_t m_version;
    String m_description;
    DjVuEncoder::Params m_params;
};

class ProfileRepositoryImpl : public ProfileRepository {
public:
    explicit ProfileRepositoryImpl(const String& path) : m_path(path) {}

    ~ProfileRepositoryImpl() override { save(); }

    // Lists the profiles of the file. A file that cannot be read whole (cut
    // short, not well-formed, over a limit, a bad profile, not ours) still
    // gives every profile complete before the damage, and is marked damaged:
    // the next save keeps a copy of it first, since it holds more than was
    // read.
    void reload() override {
        m_profiles.clear();
        m_damaged = false;
        m_stamp = FileStamp();
        try {
            SimpleArray<char> bytes;
            m_stamp = FileAccess::readStamped(m_path, &bytes);
            // A missing file is the normal start. The stamp is that of the
            // file as read, damaged too: otherwise this repository's own
            // first save would look like another program's.
            String why;
            if (m_stamp.exists && !readTable(bytes, m_path, m_profiles, &why))
                noteDamage(why.c_str());
        } catch (const Exception& e) {
            if (FileAccess::fileExists(m_path))
                noteDamage(e.message().c_str());
        } catch (const std::exception& e) {   // out of memory, say
            if (FileAccess::fileExists(m_path))
                noteDamage(e.what());
        }
        if (m_profiles.empty())
            m_profiles[String(kBuiltInProfileName)] = ProfileImpl::builtIn();
        // Whatever the source (repository, single profile, built-in profile),
        // the table as read is the state on disk: only a change writes.
        m_loadedCount = uint32_t(m_profiles.size());
        rememberBase();
    }

    bool save() override { return save(failOnBothChanged, nullptr, nullptr); }

    bool save(BothChanged choice, String* conflict, String* error) override {
        try {
            // Decided before the text is built: releasing a repository that
            // was only read costs no more than the look at the flags.
            if (m_loadedCount == m_profiles.size() && !hasUnsavedProfiles())
                return true;
            Table written;
            const FileStamp stamp = FileAccess::replaceUnderSaveLock(
                m_path, [&](const FileStamp& now, const SimpleArray<char>& bytes, std::string* content) {
                    if (now == m_stamp) {
                        if (m_damaged)
                            keepDamagedCopy();
                        written = m_profiles;
                    } else {
                        written = mergedOnto(bytes, now.exists, choice, conflict);
                    }
                    *content = buildDocument(written);
                    return true;
                });
            takeWritten(written, stamp);
            return true;
        } catch (const Exception& e) {
            if (error)
                *error = e.message();
            return false;
        } catch (...) {
            return false;
        }
    }

    // Whether a profile that the file would carry has changes.
    bool hasUnsavedProfiles() const override {
        for (const auto& entry : m_profiles) {
            if (entry.first != String(kBuiltInProfileName) && entry.second->m_modified)
                return true;
        }
        return false;
    }

    void saveAs(const String& target) const override {
        std::string doc = buildDocument(m_profiles);
        FileAccess::replaceFile(target, doc.data(), uint32_t(doc.size()));
    }

    bool isFileNewer() const override { return FileAccess::stampOf(m_path) != m_stamp; }

    bool isDamaged() const override { return m_damaged; }
    String damagedCopyPath() const override { return m_damagedCopy; }

    void getProfileNames(SimpleArray<String>& names) const override {
        names.clear();
        for (const auto& entry : m_profiles)
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
        if (p->m_installed)
            return;
        const String key = name.isEmpty() ? p->m_params.name : name;
        if (m_profiles.count(key))
            throw Exception(errAlreadyExists,
                            String::format("Profile of the name already exists: \"%s\"", key.c_str()), __FILE__,
                            __LINE__, SVR_FUNCSIG);
        // The name and the record are checked before the table changes.
        ProfileXml::checkProfileName(key);
        FieldRanges::checkParams(p->m_params);
        m_profiles[key] = AutoPtr<ProfileImpl>(p);
        p->m_params.name = key;
        p->m_installed = true;
        p->m_modified = true;
    }

    void removeProfile(const String& name) override {
        auto it = m_profiles.find(name);
        if (it == m_profiles.end())
            SVR_THROW(errNotFound, "No such profile!");
        AutoPtr<ProfileImpl> p = it->second;
        p->checkReadOnly();
        p->m_installed = false;
        DjVuEncoder::Params defaults;
        defaults.name = p->m_params.name;
        if (p->m_params != defaults)
            p->m_modified = true;
        m_profiles.erase(it);
    }

    bool hasProfile(const String& name) const override { return m_profiles.count(name) != 0; }

    void renameProfile(const String& oldName, const String& newName) override {
        auto it = m_profiles.find(oldName);
        if (it == m_profiles.end())
            SVR_THROW(errNotFound, "No such profile!");
        if (m_profiles.count(newName))
            SVR_THROW(errAlreadyExists, "Profile by the name already exists!");
        AutoPtr<ProfileImpl> p = it->second;
        p->checkReadOnly();
        ProfileXml::checkProfileName(newName);
        m_profiles.erase(it);
        m_profiles[newName] = p;
        p->m_params.name = newName;
        p->m_modified = true;
    }

    String m_path;
    FileStamp m_stamp;   // of the file as last read or written here
    uint32_t m_loadedCount = 0;

private:
    typedef std::map<String, AutoPtr<ProfileImpl>> Table;

    ProfileImpl* find(const String& name) const {
        auto it = m_profiles.find(name);
        if (it == m_profiles.end())
            throw Exception(errNotFound, String::format("No profile by that name: \"%s\"", name.c_str()), __FILE__,
                            __LINE__, SVR_FUNCSIG);
        return it->second.get();
    }

    // The complete profiles of a repository (a later one of a name replacing
    // the earlier), or the root itself when it is a complete profile. Throws
    // at a profile that cannot be read, and for a root of another kind.
    static void enterProfiles(const XmlElement& root, Table& table) {
        if (ProfileXml::isElement(root, "profile")) {
            if (root.isComplete())
                enterFromElement(root, table);
            return;
        }
        if (!ProfileXml::isElement(root, "repository"))
            SVR_THROW(errDataBroken, "Not a profile repository");
        for (uint32_t i = 0; i < root.getChildCount(); ++i) {
            const XmlElement& child = *root.getChild(i);
            if (child.isComplete() && ProfileXml::isElement(child, "profile"))
                enterFromElement(child, table);
        }
    }

    void noteDamage(const char* why) {
        m_damaged = true;
        debugFilePrintf("ProfileRepository: %s is damaged; %u profiles read before the damage are kept: %s",
                        m_path.c_str(), unsigned(m_profiles.size()), why);
    }

    static void enterFromElement(const XmlElement& element, Table& table) {
        ProfileData data;
        ProfileXml::importXml(element, &data);
        AutoPtr<ProfileImpl> p = ProfileImpl::fromData(data);
        p->m_installed = true;
        table[p->m_params.name] = p;
    }

    // Enters the complete profiles of a repository file's bytes into table;
    // false, with why, when the file holds more than was read (cut short,
    // not well-formed, over a limit, a bad profile, not ours). What was
    // entered before the damage stays.
    static bool readTable(const SimpleArray<char>& bytes, const String& source, Table& table, String* why) {
        try {
            if (bytes.count() > XmlParse::kMaxDocumentSize)
                SVR_THROW(errTooLarge, "File too large to read");
            const XmlParse::PartialDocument doc =
                XmlParse::parseXmlPartly(bytes.data(), bytes.count(), source.c_str());
            if (doc.root)
                enterProfiles(*doc.root, table);
            if (doc.failure)
                std::rethrow_exception(doc.failure);
            return true;
        } catch (const Exception& e) {
            if (why)
                *why = e.message();
        } catch (const std::exception& e) {
            if (why)
                *why = String(e.what());
        }
        return false;
    }

    static bool sameContent(const ProfileImpl& a, const ProfileImpl& b) {
        return a.m_readOnly == b.m_readOnly && a.m_description == b.m_description && a.m_params == b.m_params;
    }

    // A copy of every profile the file holds as last read or written: what
    // this repository's own changes are told from.
    void rememberBase() {
        m_base.clear();
        for (const auto& entry : m_profiles) {
            if (entry.first == String(kBuiltInProfileName))
                continue;
            AutoPtr<ProfileImpl> copy(new ProfileImpl(entry.second->m_params, entry.second->m_description));
            copy->m_readOnly = entry.second->m_readOnly;
            m_base[entry.first] = copy;
        }
    }

    // The file changed since it was read: its present profiles (bytes) with
    // this repository's changes against the base applied on top. A profile
    // that both sides changed (or one changed and the other removed) goes
    // by `choice`.
    Table mergedOnto(const SimpleArray<char>& bytes, bool exists, BothChanged choice, String* conflict) {
        Table theirs;
        if (!readTable(bytes, m_path, theirs, nullptr) && exists)
            keepDamagedCopy();
        auto ours = [&](const String& name) {
            if (choice == failOnBothChanged) {
                if (conflict)
                    *conflict = name;
                throw Exception(errInvalidOperation,
                                String::format("The profile \"%s\" was changed by another program too", name.c_str()),
                                __FILE__, __LINE__, SVR_FUNCSIG);
            }
            return choice == keepOurs;
        };
        for (const auto& base : m_base) {
            auto their = theirs.find(base.first);
            if (m_profiles.count(base.first) || their == theirs.end())
                continue;   // kept here (a change, below), or gone on both sides
            if (sameContent(*their->second, *base.second) || ours(base.first))
                theirs.erase(their);
        }
        const String builtIn(kBuiltInProfileName);
        for (const auto& own : m_profiles) {
            auto base = m_base.find(own.first);
            if (own.first == builtIn || (base != m_base.end() && sameContent(*own.second, *base->second)))
                continue;   // not changed here
            auto their = theirs.find(own.first);
            const bool untouchedThere = their == theirs.end()
                                            ? base == m_base.end()
                                            : base != m_base.end() && sameContent(*their->second, *base->second);
            if (untouchedThere || (their != theirs.end() && sameContent(*their->second, *own.second)) ||
                ours(own.first))
                theirs[own.first] = own.second;
        }
        return theirs;
    }

    // The table as written becomes this repository's state on disk.
    void takeWritten(const Table& written, const FileStamp& stamp) {
        m_profiles = written;
        if (m_profiles.empty())
            m_profiles[String(kBuiltInProfileName)] = ProfileImpl::builtIn();
        for (auto& entry : m_profiles) {
            entry.second->m_modified = false;
            entry.second->m_version = PROFILE_VERSION;
        }
        m_loadedCount = uint32_t(m_profiles.size());
        m_damaged = false;
        m_stamp = stamp;
        rememberBase();
    }

    // Every profile but the built-in one, in table order, each under its
    // table name (the name its repository knows it by).
    static std::string buildDocument(const Table& table) {
        std::string doc = ProfileXml::getXmlHeader().c_str();
        // Room for the usual profile (600 bytes or so): the text is not
        // copied over and over while it grows.
        doc.reserve(doc.size() + table.size() * 1024);
        const String builtIn(kBuiltInProfileName);
        for (const auto& entry : table) {
            if (entry.first == builtIn)
                continue;
            const ProfileImpl& p = *entry.second;
            ProfileXml::appendCommentLine(doc, entry.first);
            ProfileXml::appendXmlBody(doc, p.m_params, entry.first, p.m_description, p.m_readOnly);
        }
        doc += ProfileXml::getXmlFooter();
        return doc;
    }

    // The file could not be read to its end: before it is replaced, its
    // bytes are kept beside it as "<name>.damaged" (or ".damaged.N" when
    // that exists), so that profiles after the damage are not lost.
    void keepDamagedCopy() {
        if (!FileAccess::fileExists(m_path))
            return;
        for (int i = 0; i < 100; ++i) {
            String copy = i == 0 ? m_path + String(".damaged") : m_path + String::format(".damaged.%d", i);
            if (FileAccess::fileExists(copy))
                continue;
            if (FileAccess::copyFileIfAbsent(m_path, copy)) {
                m_damagedCopy = copy;
                return;
            }
            break;
        }
        SVR_THROW(errWriteFailed, "Cannot keep a copy of the damaged repository file");
    }

    Table m_profiles;
    Table m_base;   // copies of the profiles as the file held them (rememberBase)
    bool m_damaged = false;
    String m_damagedCopy;   // made by the latest save that replaced a damaged file
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
    p->m_params.name = ProfileXml::checkProfileName(name);
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
        repository->m_path = FileAccess::joinPath(folder, "db0.dprepo");
        String seed = FileAccess::joinPath(folder, "defaults.dprepo");
        if (!FileAccess::fileExists(repository->m_path) && FileAccess::fileExists(seed))
            FileAccess::copyFileIfAbsent(seed, repository->m_path);
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
