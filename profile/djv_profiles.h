// Profiles (named, described encoder records) and the repository file that
// keeps them, by default "db0.dprepo" in the machine-wide data folder, seeded
// from "defaults.dprepo" beside it, with the built-in "sdk_default" profile
// when it has nothing else.
#pragma once

#include <cstdint>

#include "baselib/svr_array.h"
#include "baselib/svr_base.h"
#include "baselib/svr_string.h"
#include "profile/djv_params.h"

namespace Solvaris {
namespace DjVu {

class Profile : public Referable {
public:
    ~Profile() override {}
    virtual const DjVuEncoder::Params& getParams() const = 0;
    // No change when equal; a read-only profile otherwise throws errReadOnly.
    virtual void setParams(const DjVuEncoder::Params& params) = 0;
    virtual void setReadOnly(bool readOnly) = 0;
    virtual bool isInstalled() const = 0;
    virtual bool isReadOnly() const = 0;
    virtual bool isModified() const = 0;
    virtual uint32_t getVersion() const = 0;
    virtual String getName() const = 0;
    virtual String getDescription() const = 0;
    virtual void setDescription(const String& description) = 0;
    virtual void exportToXmlFile(const String& path) const = 0;
    // The single-profile document (no read-only attribute).
    virtual String getXml() const = 0;
    virtual AutoPtr<Profile> clone(const String& newName) const = 0;

    // A free profile: the record (a default one when null) under the name.
    static AutoPtr<Profile> create(const String& name, const String& description,
                                   const DjVuEncoder::Params* params = nullptr);
    static AutoPtr<Profile> importFromXml(const String& xml);
    // A profile file, or "repository path:profile name" for a copy of one
    // profile of a repository file.
    static AutoPtr<Profile> importFromXmlFile(const String& path);
};

class ProfileRepository : public Referable {
public:
    ~ProfileRepository() override {}
    virtual void reload() = 0;
    // Writes pending changes; false on failure. Never throws.
    virtual bool save() = 0;
    virtual bool hasUnsavedProfiles() const = 0;
    virtual void saveAs(const String& path) const = 0;
    // Whether the file is no longer the one last read or written here: its
    // stamp (existence, size, write time, content) differs. Throws when it
    // exists but cannot be read.
    virtual bool isFileNewer() const = 0;
    virtual void getProfileNames(SimpleArray<String>& names) const = 0;
    virtual AutoPtr<Profile> loadProfile(const String& name) = 0;
    virtual AutoPtr<const Profile> loadProfile(const String& name) const = 0;
    virtual void installProfile(Profile* profile, const String& name) = 0;
    virtual void removeProfile(const String& name) = 0;
    virtual bool hasProfile(const String& name) const = 0;
    virtual void renameProfile(const String& oldName, const String& newName) = 0;
    // Whether the file as last read holds more than was read (cut short, not
    // well-formed, over a limit, a profile that could not be read): the
    // profiles before the damage are listed, and the next save that writes
    // keeps a copy of the file first.
    virtual bool isDamaged() const = 0;
    // Where the latest copy of the damaged file was put (by a save); empty
    // when none was made.
    virtual String damagedCopyPath() const = 0;

    // What a save does with a profile that another program changed, added
    // or removed as well since this repository read the file.
    enum BothChanged { failOnBothChanged, keepOurs, keepTheirs };
    // Writes pending changes; false on failure, with the reason in *error
    // when given. Never throws. When the file changed since it was read
    // (isFileNewer), its present profiles are read and this repository's
    // own adds, renames, changes and removals are applied on top of them;
    // a profile changed on both sides is settled by `choice`, and with
    // failOnBothChanged nothing is written and *conflict names it. The
    // look at the file and its replacement are one step that no other
    // saver can enter. save() is save(failOnBothChanged, ...): whoever
    // saves without asking a user never writes over another's change.
    virtual bool save(BothChanged choice, String* conflict, String* error) = 0;

    // Opens the repository at path, or at the default location when empty.
    // Releasing the last reference saves it.
    static AutoPtr<ProfileRepository> create(const String& path);
};

} // namespace DjVu
} // namespace Solvaris
