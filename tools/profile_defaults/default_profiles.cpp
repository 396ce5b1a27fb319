#include "tools/profile_defaults/default_profiles.h"

#include <cstdio>

#include "baselib/svr_error.h"

using Solvaris::AutoPtr;
using Solvaris::String;
using Solvaris::DjVu::DjVuEncoder;
using Solvaris::DjVu::IW44Encoder;
using Solvaris::DjVu::JB2Params;
using Solvaris::DjVu::Profile;
using Solvaris::DjVu::ProfileRepository;

namespace profile_defaults {

namespace {

AutoPtr<Profile> make(const char* name, const char* description, const DjVuEncoder::Params& params)
{
    return Profile::create(String(name), String(description), &params);
}

}  // namespace

std::vector<AutoPtr<Profile>> defaultProfiles()
{
    std::vector<AutoPtr<Profile>> out;

    // Black text on white: one bitonal layer, shapes shared across the page.
    DjVuEncoder::Params text(DjVuEncoder::modeBitonal);
    text.bitonalEncoding = DjVuEncoder::bitonalJb2;
    text.jb2.noiseReduction = JB2Params::noiseRemoveIsolated;
    out.push_back(make("Scanned text",
                       "Black-and-white pages of text (scanned letters, forms, printed documents): sharp text, "
                       "small files, no colour.",
                       text));

    // Text over colour: the text in its own layer, a coloured foreground and a
    // background at a third of the resolution.
    DjVuEncoder::Params mixed(DjVuEncoder::mode3Layer, 12, 75, 3, 72);
    out.push_back(make("Mixed colour pages",
                       "Pages that mix text with colour pictures or backgrounds (magazines, brochures, slides): "
                       "text kept sharp in its own layer, pictures in colour.",
                       mixed));

    // The whole page as one picture at full resolution.
    DjVuEncoder::Params photo(DjVuEncoder::modePicture, 12, 75, 1, 90);
    photo.pictureEncoding = DjVuEncoder::pictureIw44;
    out.push_back(make("Photos",
                       "Photographs and full-page pictures: the whole page as one colour image at high quality.",
                       photo));

    // Readable text, coarse colour: for sending and for drafts.
    DjVuEncoder::Params small(DjVuEncoder::mode3Layer, 12, 50, 4, 40);
    small.jb2.noiseReduction = JB2Params::noiseRemoveIsolated;
    out.push_back(make("Smallest file",
                       "The smallest files for e-mail and drafts: text stays readable, pictures and colours are "
                       "coarser.",
                       small));
    return out;
}

void writeDefaultRepository(const String& path)
{
    // A repository starts from what its file holds: begin without one.
    std::remove(path.c_str());
    AutoPtr<ProfileRepository> repository = ProfileRepository::create(path);
    for (AutoPtr<Profile>& p : defaultProfiles())
        repository->installProfile(p.get(), String());
    if (!repository->save())
        SVR_THROW(Solvaris::errOperationFailed, "The repository could not be written.");
}

}  // namespace profile_defaults
