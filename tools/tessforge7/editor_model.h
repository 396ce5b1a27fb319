// The profile editor's work on the repository, without windows: the list of
// names, the main settings of one profile, and the changes the editor offers
// (a copy under a new name, rename, remove, settings, save). Every failure
// comes back as a message for the user instead of an exception.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "baselib/svr_base.h"
#include "profile/djv_profiles.h"

namespace tessforge {

// The settings the editor shows; the rest of the record is kept as it is.
struct MainSettings {
    uint32_t encodeMode = 0;        // DjVuEncoder::EncodeMode
    uint32_t backgroundQuality = 75;  // 1..100
    uint32_t foregroundQuality = 75;  // 1..100
    uint32_t bitonalEncoding = 0;   // DjVuEncoder::BitonalEncoding
    uint32_t pictureEncoding = 0;   // DjVuEncoder::PictureEncoding
    std::string description;        // UTF-8
    bool operator==(const MainSettings& o) const;
    bool operator!=(const MainSettings& o) const { return !(*this == o); }
};

constexpr uint32_t kMinQuality = 1;
constexpr uint32_t kMaxQuality = 100;

// "-import \"FILE\"" or "-import FILE" (the whole parameter text: the
// switch and one path, quoted or not) asks the editor to import the missing
// profiles of FILE into the default repository and end, without a window.
// False for anything else, such as the dialog's
// "NAME -nologo -hwnd N -icp \"IMAGE\"".
bool parseImportArguments(const std::wstring& parameters, std::wstring& file);

class EditorModel {
public:
    // Opens the repository at `path` (empty: the default one).
    explicit EditorModel(const std::string& path = std::string());
    // Releasing the repository would save it; unsaved edits are dropped
    // instead, unless save() was asked for.
    ~EditorModel();

    std::vector<std::string> names() const;   // repository order
    bool has(const std::string& name) const;
    bool readOnly(const std::string& name) const;
    // False with `error` for an unknown name.
    bool settings(const std::string& name, MainSettings& out, std::string& error) const;

    // Each returns false and a message when the repository refuses (bad or
    // taken name, read-only profile, quality out of range).
    bool createCopy(const std::string& from, const std::string& newName, std::string& error);
    bool rename(const std::string& from, const std::string& to, std::string& error);
    bool remove(const std::string& name, std::string& error);
    bool apply(const std::string& name, const MainSettings& settings, std::string& error);

    // Adds the profiles of the repository file `file` that this repository
    // does not hold (by name; profiles of the same name stay as they are):
    // how an upgrade brings new default profiles to users who already have a
    // repository. `added` lists them in the file's order.
    bool importMissing(const std::string& file, std::vector<std::string>& added, std::string& error);

    bool dirty() const { return m_dirty; }
    // Writes this editor's changes on top of whatever another program
    // saved meanwhile; false with `error` when nothing was written. A
    // profile changed here and there too goes by `choice`; with
    // failOnBothChanged the save stops and `conflict` names it.
    bool save(std::string& error,
              Solvaris::DjVu::ProfileRepository::BothChanged choice = Solvaris::DjVu::ProfileRepository::failOnBothChanged,
              std::string* conflict = nullptr);
    // After a save that replaced a damaged file (one that held more than
    // could be read): how many of its profiles were read before the damage,
    // and so kept, and where the copy of it as it was lies. False otherwise.
    bool savedOverDamage(size_t& kept, std::string& copy) const;

    // Reads the file again; unsaved changes are dropped.
    void reload();

private:
    // Counts the profiles read from the file (the built-in one is not).
    void countRead();

    Solvaris::AutoPtr<Solvaris::DjVu::ProfileRepository> m_repository;
    std::string m_path;
    bool m_dirty = false;
    size_t m_read = 0;
    size_t m_keptFromDamaged = 0;
    std::string m_damagedCopy;   // empty unless the latest save replaced a damaged file
};

// The keywords the editor shows for the choices, in value order.
std::vector<std::string> encodeModeChoices();
std::vector<std::string> bitonalEncodingChoices();
std::vector<std::string> pictureEncodingChoices();

} // namespace tessforge
