#include "tools/tessforge7/editor_model.h"

#include <exception>

#include "baselib/svr_error.h"
#include "profile/djv_fileaccess.h"
#include "profile/djv_profilexml.h"

using Solvaris::AutoPtr;
using Solvaris::String;
using namespace Solvaris::DjVu;

namespace tessforge {

bool MainSettings::operator==(const MainSettings& o) const
{
    return encodeMode == o.encodeMode && backgroundQuality == o.backgroundQuality &&
           foregroundQuality == o.foregroundQuality && bitonalEncoding == o.bitonalEncoding &&
           pictureEncoding == o.pictureEncoding && description == o.description;
}

namespace {

std::vector<std::string> keywords(KeywordList list)
{
    std::vector<std::string> out;
    for (const char* const* k = list; **k; ++k)
        out.emplace_back(*k);
    return out;
}

String S(const std::string& s) { return String(s.c_str(), int32_t(s.size())); }

// The library's message line names file and function before ": Error N: ";
// the user gets the text after it.
std::string userText(std::string message)
{
    const size_t at = message.find(": Error ");
    if (at != std::string::npos) {
        const size_t text = message.find(": ", at + 8);
        if (text != std::string::npos)
            message = message.substr(text + 2);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

// Runs `step`, turning a library failure into its message.
template <class F>
bool guarded(std::string& error, F step)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        error = userText(e.what());
        return false;
    }
}

} // namespace

std::vector<std::string> encodeModeChoices() { return keywords(DjVuEncoder::kEncodeModeKeywords); }
std::vector<std::string> bitonalEncodingChoices() { return keywords(DjVuEncoder::kBitonalEncodingKeywords); }
std::vector<std::string> pictureEncodingChoices() { return keywords(DjVuEncoder::kPictureEncodingKeywords); }

EditorModel::EditorModel(const std::string& path) : m_path(path)
{
    m_repository = ProfileRepository::create(S(path));
    countRead();
}

EditorModel::~EditorModel()
{
    // The repository saves whatever it holds when released; edits the user
    // did not save must not reach the file, so read the file again first.
    if (m_dirty) {
        try {
            m_repository->reload();
        } catch (...) {
        }
    }
}

std::vector<std::string> EditorModel::names() const
{
    Solvaris::SimpleArray<String> list;
    m_repository->getProfileNames(list);
    std::vector<std::string> out;
    for (const String& n : list)
        out.emplace_back(n.c_str());
    return out;
}

bool EditorModel::has(const std::string& name) const { return m_repository->hasProfile(S(name)); }

bool EditorModel::readOnly(const std::string& name) const
{
    std::string ignored;
    bool result = true;
    guarded(ignored, [&] { result = static_cast<const ProfileRepository&>(*m_repository).loadProfile(S(name))->isReadOnly(); });
    return result;
}

bool EditorModel::settings(const std::string& name, MainSettings& out, std::string& error) const
{
    return guarded(error, [&] {
        AutoPtr<const Profile> p = static_cast<const ProfileRepository&>(*m_repository).loadProfile(S(name));
        const DjVuEncoder::Params& params = p->getParams();
        out.encodeMode = params.encodeMode;
        out.backgroundQuality = params.bgParams.quality;
        out.foregroundQuality = params.fgParams.quality;
        out.bitonalEncoding = params.bitonalEncoding;
        out.pictureEncoding = params.pictureEncoding;
        out.description = p->getDescription().c_str();
    });
}

bool EditorModel::createCopy(const std::string& from, const std::string& newName, std::string& error)
{
    return guarded(error, [&] {
        AutoPtr<const Profile> source = static_cast<const ProfileRepository&>(*m_repository).loadProfile(S(from));
        AutoPtr<Profile> copy = source->clone(S(newName));
        m_repository->installProfile(copy.get(), S(newName));
        m_dirty = true;
    });
}

bool EditorModel::rename(const std::string& from, const std::string& to, std::string& error)
{
    return guarded(error, [&] {
        m_repository->renameProfile(S(from), S(to));
        m_dirty = true;
    });
}

bool EditorModel::remove(const std::string& name, std::string& error)
{
    return guarded(error, [&] {
        m_repository->removeProfile(S(name));
        m_dirty = true;
    });
}

bool EditorModel::apply(const std::string& name, const MainSettings& s, std::string& error)
{
    if (s.backgroundQuality < kMinQuality || s.backgroundQuality > kMaxQuality || s.foregroundQuality < kMinQuality ||
        s.foregroundQuality > kMaxQuality) {
        error = "Quality should be in [1 100] range!";
        return false;
    }
    if (s.encodeMode >= encodeModeChoices().size() || s.bitonalEncoding >= bitonalEncodingChoices().size() ||
        s.pictureEncoding >= pictureEncodingChoices().size()) {
        error = "Unknown setting value!";
        return false;
    }
    return guarded(error, [&] {
        AutoPtr<Profile> p = m_repository->loadProfile(S(name));
        DjVuEncoder::Params params = p->getParams();
        params.encodeMode = DjVuEncoder::EncodeMode(s.encodeMode);
        // A quality replaces the layer's chunk plan, as in the file form.
        if (params.bgParams.quality != s.backgroundQuality) {
            params.bgParams.quality = s.backgroundQuality;
            params.bgParams.chunks.clear();
        }
        if (params.fgParams.quality != s.foregroundQuality) {
            params.fgParams.quality = s.foregroundQuality;
            params.fgParams.chunks.clear();
        }
        params.bitonalEncoding = DjVuEncoder::BitonalEncoding(s.bitonalEncoding);
        params.pictureEncoding = DjVuEncoder::PictureEncoding(s.pictureEncoding);
        const bool changed = !(params == p->getParams()) || std::string(p->getDescription().c_str()) != s.description;
        if (!changed)
            return;
        p->setParams(params);
        if (std::string(p->getDescription().c_str()) != s.description)
            p->setDescription(S(s.description));
        m_dirty = true;
    });
}

bool parseImportArguments(const std::wstring& parameters, std::wstring& file)
{
    const std::wstring prefix = L"-import ";
    if (parameters.compare(0, prefix.size(), prefix) != 0)
        return false;
    file = parameters.substr(prefix.size());
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
        file = file.substr(1, file.size() - 2);
    // One path, no further quotes: the dialog's command line always ends
    // with a quoted image path after its switches.
    return !file.empty() && file.find(L'"') == std::wstring::npos;
}

bool EditorModel::importMissing(const std::string& file, std::vector<std::string>& added, std::string& error)
{
    added.clear();
    return guarded(error, [&] {
        if (!FileAccess::fileExists(S(file)))
            SVR_THROW(Solvaris::errNotFound, "Repository file not found.");
        // Reading alone never writes: releasing the source leaves it as it is.
        AutoPtr<const ProfileRepository> source = ProfileRepository::create(S(file));
        Solvaris::SimpleArray<String> names;
        source->getProfileNames(names);
        for (const String& name : names) {
            AutoPtr<const Profile> p = source->loadProfile(name);
            if (p->isReadOnly() || m_repository->hasProfile(name))
                continue;   // the built-in profile, or one the user has
            AutoPtr<Profile> copy = p->clone(name);
            m_repository->installProfile(copy.get(), name);
            added.emplace_back(name.c_str());
            m_dirty = true;
        }
    });
}

bool EditorModel::save(std::string& error, ProfileRepository::BothChanged choice, std::string* conflict)
{
    const bool damaged = m_repository->isDamaged();
    String why, clash;
    if (!m_repository->save(choice, &clash, &why)) {
        error = why.isEmpty() ? std::string("The profile repository could not be written.") : userText(why.c_str());
        if (conflict)
            *conflict = clash.c_str();
        return false;
    }
    m_damagedCopy = damaged ? m_repository->damagedCopyPath().c_str() : "";
    m_keptFromDamaged = m_read;
    // The repository now holds what it wrote, another program's profiles
    // included, and knows the file's new stamp.
    m_dirty = false;
    return true;
}

bool EditorModel::savedOverDamage(size_t& kept, std::string& copy) const
{
    if (m_damagedCopy.empty())
        return false;
    kept = m_keptFromDamaged;
    copy = m_damagedCopy;
    return true;
}

void EditorModel::countRead()
{
    m_read = 0;
    for (const std::string& name : names())
        m_read += name != kBuiltInProfileName;
}

void EditorModel::reload()
{
    m_repository->reload();
    m_dirty = false;
    countRead();
}

} // namespace tessforge
