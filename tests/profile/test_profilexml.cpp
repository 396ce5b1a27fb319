#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "profile/djv_fieldranges.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile_test_support.h"

using namespace profile_test;
using namespace Solvaris::DjVu;
using Solvaris::DjVu::ProfileXml::ProfileData;
using Solvaris::DjVu::XmlParse::parseXmlString;

namespace {

const std::string kNs = PROFILE_NAMESPACE;

// A profile element with the given attributes and children, in the profile
// namespace.
std::string profileDoc(const std::string& attrs, const std::string& children = std::string()) {
    return "<profile xmlns=\"" + kNs + "\" name=\"p\" " + attrs + ">" + children + "</profile>";
}

// Reads a document whole and in pieces of 1 to 5 bytes; every reading must
// agree, and the first is returned (or what it threw).
Thrown readDoc(const std::string& doc, ProfileData* out) {
    Thrown first;
    for (size_t piece = 0; piece <= 5; ++piece) {
        ProfileData data;
        Thrown t = thrown([&] { ProfileXml::importXml(*parseInPieces(doc, piece), &data); });
        if (piece == 0) {
            first = t;
            *out = data;
        } else {
            EXPECT_EQ(t.code, first.code) << "piece " << piece;
            if (t.code == 0) {
                EXPECT_TRUE(data.params == out->params) << "piece " << piece;
            }
        }
    }
    return first;
}

ProfileData readOk(const std::string& doc) {
    ProfileData data;
    Thrown t = readDoc(doc, &data);
    EXPECT_EQ(t.code, 0) << doc << "\n" << t.message;
    return data;
}

// The profiles of the golden repository, with what reading gives back.
std::vector<std::pair<AutoPtr<Profile>, bool>> goldenProfiles() {
    std::vector<std::pair<AutoPtr<Profile>, bool>> out;

    DjVuEncoder::Params standard;   // default 3-layer, flex encoding on
    out.push_back({Profile::create(S("Standard"), S("Default three layers"), &standard), false});

    DjVuEncoder::Params picture(DjVuEncoder::modePicture, 12, 75, 2, 60);
    picture.bgParams.cbcrMode = IW44Encoder::cbcrHalf;
    picture.bgParams.cbcrDelay = 10;
    picture.bgEnhancer = 3;
    picture.gamma = 18;
    picture.pictureEncoding = DjVuEncoder::pictureJpeg;
    picture.jpxParams = S("-rate 0.5 & more");
    picture.flexEncode = 0;
    out.push_back({Profile::create(S("Photo"), S(""), &picture), false});

    DjVuEncoder::Params bitonal(DjVuEncoder::modeBitonal, 12, 75, 3, 75, 2, 3);
    bitonal.dictMode = 0;
    bitonal.dictFreq = 0;
    bitonal.flexEncode = 0;
    bitonal.blackCompensation = 1;
    bitonal.postSegmentSubsample = 2;
    bitonal.bitonalEncoding = DjVuEncoder::bitonalMmr;
    bitonal.binThreshold = 128;
    bitonal.flags = 7;
    bitonal.jb2.sortShapes = 1;
    bitonal.jb2.noiseReduction = JB2Params::noiseInflate;
    bitonal.jb2.pageShapeThreshold = 5;
    bitonal.jb2.flags = 3;
    bitonal.jb2.maxPalettes = 65535;
    bitonal.jb2.regionRecog.overlapThreshold = 1000;
    out.push_back({Profile::create(S("Text-only"), S("Black and white"), &bitonal), true});

    DjVuEncoder::Params chunked(DjVuEncoder::modeFg44ColorJb2);
    chunked.flexEncode = 0;
    chunked.emptyMaskProcess = DjVuEncoder::maskSegmentation;
    chunked.fgParams.chunks.append({74, 0});
    chunked.bgParams.chunks.append({72, 0});
    chunked.bgParams.chunks.append({0, 2000});
    chunked.bgParams.chunks.append({10, 500});
    chunked.bgParams.cbcrMode = IW44Encoder::cbcrNone;
    chunked.bgParams.intent = IW44Encoder::intentIW44;
    chunked.bgSubsample = 1;
    chunked.fgJpxParams = S("fg");
    chunked.segmenter.bgColorExpected = 0xFFFFFF;
    chunked.segmenter.bgColorThreshold = 30;
    chunked.segmenter.detectEdge = 1;
    chunked.segmenter.useNonBlurred = 1;
    chunked.segmenter.blockSize = 4;
    chunked.extras[S("zeta")] = S("last");
    chunked.extras[S("Alpha")] = S("a \"quoted\" <value>");
    chunked.extras[S("empty")] = S("");
    out.push_back({Profile::create(S("chunks"), S("Chunk lists"), &chunked), false});

    DjVuEncoder::Params odd(DjVuEncoder::mode2Layer);
    odd.gamma = 100;
    out.push_back({Profile::create(S("R&D <\"q\"> 'x' -- caf\xC3\xA9-"), S("line one\nline\ttwo & <three>"), &odd),
                   false});
    return out;
}

std::string goldenPath(const char* name) {
    return std::string(PV_PROFILE_GOLDEN) + "/" + name;
}

} // namespace

TEST(ProfileXmlWriter, RepositoryGoldenFileAndReadBack) {
    ScratchFolder folder("golden");
    auto profiles = goldenProfiles();
    {
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(folder.lib("repo.dprepo"));
        for (auto& p : profiles) {
            p.first->setReadOnly(p.second);
            repo->installProfile(p.first.get(), S(""));
        }
        repo->saveAs(folder.lib("golden.dprepo"));
        repo->removeProfile(S("Standard"));   // nothing of this reaches the saved file
    }
    const std::string written = readFile(folder / "golden.dprepo");
    if (std::getenv("PV_UPDATE_GOLDEN"))
        writeFile(goldenPath("repository.dprepo"), written);
    EXPECT_EQ(written, readFile(goldenPath("repository.dprepo")));

    // Read back: the same records, flags and descriptions, in every split.
    AutoPtr<XmlElement> root = parseXmlString(S(written), "golden");
    ASSERT_EQ(root->getChildCount(), profiles.size());
    for (uint32_t i = 0; i < root->getChildCount(); ++i) {
        ProfileData data;
        ProfileXml::importXml(*root->getChild(i), &data);
        // The repository file lists profiles in byte order of their names.
        const Profile* want = nullptr;
        for (auto& p : profiles)
            if (p.first->getName() == data.params.name)
                want = p.first.get();
        ASSERT_NE(want, nullptr) << str(data.params.name);
        EXPECT_TRUE(data.params == want->getParams()) << str(data.params.name);
        EXPECT_EQ(data.readOnly, want->isReadOnly());
        EXPECT_EQ(str(data.description), str(want->getDescription()));
        EXPECT_EQ(data.version, PROFILE_VERSION);
    }
    forEachSplit(written, [&](const XmlElement& r) { EXPECT_EQ(r.getChildCount(), profiles.size()); });
}

TEST(ProfileXmlWriter, SingleProfileDocument) {
    DjVuEncoder::Params params;
    AutoPtr<Profile> p = Profile::create(S("Standard"), S("Default three layers"), &params);
    p->setReadOnly(true);
    const std::string xml = str(p->getXml());
    if (std::getenv("PV_UPDATE_GOLDEN"))
        writeFile(goldenPath("single.dprepo"), xml);
    EXPECT_EQ(xml, readFile(goldenPath("single.dprepo")));   // no read-only attribute
    AutoPtr<Profile> back = Profile::importFromXml(S(xml));
    EXPECT_TRUE(back->getParams() == p->getParams());
    EXPECT_EQ(str(back->getName()), "Standard");
    EXPECT_FALSE(back->isReadOnly());
    EXPECT_FALSE(back->isInstalled());
}

TEST(ProfileXmlWriter, RefusesWhatItCannotWrite) {
    struct Case { const char* tail; void (*spoil)(DjVuEncoder::Params&); } cases[] = {
        {"encode-mode", [](DjVuEncoder::Params& p) { p.encodeMode = DjVuEncoder::EncodeMode(6); }},
        {"intent out of range!", [](DjVuEncoder::Params& p) { p.bgParams.intent = IW44Encoder::ChunkIntent(6); }},
        {"cbcrMode out of range!", [](DjVuEncoder::Params& p) { p.fgParams.cbcrMode = IW44Encoder::CbCrMode(3); }},
        {"sliceCallback cannot be serialized!", [](DjVuEncoder::Params& p) { p.bgParams.sliceContext = &p; }},
        {"empty-mask-process", [](DjVuEncoder::Params& p) { p.emptyMaskProcess = DjVuEncoder::EmptyMaskProcess(4); }},
        {"noise-reduction", [](DjVuEncoder::Params& p) { p.jb2.noiseReduction = JB2Params::NoiseReduction(9); }},
    };
    for (const Case& c : cases) {
        DjVuEncoder::Params p;
        c.spoil(p);
        EXPECT_TRUE(failsWith([&] { ProfileXml::getXmlBody(p, S("n"), S(""), false); }, Solvaris::errInvalidParam, c.tail));
    }
}

TEST(ProfileXmlWriter, EscapeXml) {
    struct Case { std::string in, out; bool invalid; } cases[] = {
        {"plain caf\xC3\xA9 \xE2\x82\xAC", "plain caf\xC3\xA9 \xE2\x82\xAC", false},
        {"<>&\"'", "&lt;&gt;&amp;&quot;&apos;", false},
        {"a\tb\nc\rd\x7F", "a&#9;b&#10;c&#13;d&#127;", false},
        {"\x01x", "?x", true},                          // no XML form at all
        {"\x80x\xFE\xFF", "?x??", true},                  // bytes that start no sequence
        {"ab\xE2\x82", "ab??", true},                     // cut short by the end
        {"\xED\xA0\x80", "?", true},                      // surrogate
        {"\xEF\xB7\x90\xEF\xBF\xBE", "??", true},         // non-characters
        {"\xF4\x90\x80\x80", "?", true},                  // above U+10FFFF
        {"\xC0\xBC", "&lt;", false},                      // value by length alone
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", false},
    };
    for (const Case& c : cases) {
        bool invalid = false;
        EXPECT_EQ(str(ProfileXml::escapeXml(S(c.in), &invalid)), c.out) << c.in;
        EXPECT_EQ(invalid, c.invalid) << c.in;
        EXPECT_EQ(str(ProfileXml::escapeXml(S(c.in))), c.out);   // the flag is optional
    }
}

TEST(ProfileXmlWriter, CommentLineStaysWellFormed) {
    struct Case { std::string name, comment; } cases[] = {
        {"a&b<c", "a&b<c"},
        {"a--b", "a- -b"},
        {"x---", "x- - - "},
        {"end-", "end- "},
        {"one-two", "one-two"},
        {"bad\x01\xFF", "bad??"},
    };
    for (const Case& c : cases) {
        std::string line = str(ProfileXml::getCommentLine(S(c.name)));
        EXPECT_EQ(line, "\t\n\t<!-- " + c.comment + " -->\n");
        std::string doc = "<a>" + line + "</a>";
        EXPECT_EQ(codeOf([&] { parseXmlString(S(doc), nullptr); }), 0) << line;
    }
}

TEST(ProfileXmlReader, EncodeModeGammaColourPolicy) {
    struct Case {
        std::string attrs, children;
        uint32_t mode, flex, gamma, color, refine, match, center;
    } cases[] = {
        // encode mode and its normalisation
        {"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"encode-mode=\"fg44\"", "", 0, 0, 22, 0xFFFFFFFF, 60, 12, 1},
        {"encode-mode=\"colorjb2\"", "", 1, 0, 22, 0xFFFFFFFF, 60, 12, 1},
        {"encode-mode=\"AUTO\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"encode-mode=\"Picture\" flex-encode=\"yes\"", "", 2, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        // gamma in tenths, kept only in [0.2, 10.0]
        {"gamma=\"2.2\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"0.1\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"12\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"10\"", "", 0, 1, 100, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"2.25\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"nan\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"gamma=\"1e300\"", "", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        // background colour
        {"", "<segmenter bg-color-expected=\"none\"/>", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"", "<segmenter/>", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        {"", "<segmenter bg-color-expected=\"#FFFFFF\"/>", 0, 1, 22, 0xFFFFFF, 60, 12, 1},
        {"", "<segmenter bg-color-expected=\"#123456789\"/>", 0, 1, 22, 0xFFFFFFFF, 60, 12, 1},
        // quality policy
        {"", "<jb2 quality-policy=\"lossy\" refine-threshold=\"60\"/>", 0, 1, 22, 0xFFFFFFFF, 180, 30, 4},
        {"", "<jb2 quality-policy=\"LOSSLESS\" refine-threshold=\"60\"/>", 0, 1, 22, 0xFFFFFFFF, 180, 0, 1},
        {"", "<jb2 quality-policy=\"quasi-lossless\"/>", 0, 1, 22, 0xFFFFFFFF, 180, 12, 4},
        {"", "<jb2 quality-policy=\"agressive\" refine-threshold=\"9\"/>", 0, 1, 22, 0xFFFFFFFF, 27, 3, 2},
        {"", "<jb2 match-threshold=\"50\" center-diff-threshold=\"3\"/>", 0, 1, 22, 0xFFFFFFFF, 60, 50, 3},
        // an older profile without a policy keeps its stated thresholds
        {"version=\"100\"", "<jb2 match-threshold=\"7\"/>", 0, 1, 22, 0xFFFFFFFF, 60, 7, 1},
        // a tripled value that was saved reads back
        {"", "<jb2 refine-threshold=\"180\" match-threshold=\"30\" center-diff-threshold=\"4\"/>", 0, 1, 22,
         0xFFFFFFFF, 180, 30, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attrs + c.children);
        ProfileData d = readOk(profileDoc(c.attrs, c.children));
        EXPECT_EQ(d.params.encodeMode, c.mode);
        EXPECT_EQ(d.params.flexEncode, c.flex);
        EXPECT_EQ(d.params.gamma, c.gamma);
        EXPECT_EQ(d.params.segmenter.bgColorExpected, c.color);
        EXPECT_EQ(d.params.jb2.refineThreshold, c.refine);
        EXPECT_EQ(d.params.jb2.matchThreshold, c.match);
        EXPECT_EQ(d.params.jb2.centerDiffThreshold, c.center);
    }
}

TEST(ProfileXmlReader, FieldsDefaultsAndRules) {
    ProfileData d = readOk(profileDoc(
        "dict-freq=\"0\" read-only=\"On\" subsample=\"0\" upsample=\"3\" flags=\"9x\"",
        "<segmenter/><iw44 id=\"foreground\" intent=\"fg44\" cbcr-delay=\"AUTO\"/>"
        "<iw44 id=\"background\" quality=\"40\"><chunk-config slices=\"5\"/></iw44>"
        "<iw44 id=\"other\" intent=\"bogus-but-skipped\"/>"
        "<extra name=\"\" value=\"skipped\"/><extra name=\"k\"/><unknown/>"
        "<iw44 id=\"foreground\"><chunk-config slices=\"1\" bytes=\"2\"/><chunk-config/></iw44>"));
    const DjVuEncoder::Params& p = d.params;
    EXPECT_TRUE(d.readOnly);
    EXPECT_EQ(p.dictMode, 0u);
    EXPECT_EQ(p.dictFreq, 0u);
    EXPECT_EQ(p.subsample, 1u);   // 0 keeps the current value
    EXPECT_EQ(p.upsample, 3u);
    EXPECT_EQ(p.flags, 9u);
    EXPECT_EQ(p.segmenter.bgColorThreshold, 17u);   // the reader's own default
    // A later element wins; the chunk list is emptied before each reading.
    EXPECT_EQ(p.fgParams.intent, IW44Encoder::intentBG44);
    EXPECT_EQ(p.fgSubsample, 3u);
    ASSERT_EQ(p.fgParams.chunks.count(), 2u);
    EXPECT_EQ(p.fgParams.chunks[0].bytes, 2u);
    EXPECT_EQ(p.fgParams.cbcrDelay, 255u);
    // "quality" given: the chunk children are not read.
    EXPECT_EQ(p.bgParams.quality, 40u);
    EXPECT_EQ(p.bgParams.chunks.count(), 0u);
    EXPECT_EQ(p.extras.size(), 1u);
    EXPECT_EQ(str(p.extras.at(S("k"))), "");

    ProfileData d2 = readOk(profileDoc("dict-freq=\"20\" read-only=\"1\""));
    EXPECT_EQ(d2.params.dictMode, 1u);
    EXPECT_EQ(d2.params.dictFreq, 20u);
    EXPECT_FALSE(d2.readOnly);
    // A repository gives its first profile.
    ProfileData d3 = readOk("<repository xmlns=\"" + kNs + "\"><profile name=\"first\"/><profile name=\"x\"/></repository>");
    EXPECT_EQ(str(d3.params.name), "first");
}

TEST(ProfileXmlReader, Failures) {
    struct Case { std::string doc; int code; std::string tail; } cases[] = {
        {profileDoc("version=\"28544\""), 27,
         "Profile version too new please update your software; profile_version=28544, supported_version=28543"},
        {profileDoc("version=\"99999999999\""), 27,
         "Profile version too new please update your software; profile_version=4294967295, supported_version=28543"},
        {"<profile name=\"p\"/>", 20, "Not a profile!"},
        {"<profile xmlns=\"http://other.example/\" name=\"p\"/>", 20, "Not a profile!"},
        {"<repository xmlns=\"" + kNs + "\"/>", 20, "No profiles in repository file!"},
        {profileDoc("", "<jb2 max-palettes=\"70000\"/>"), 20, "max-palettes should be in [0 65535] range! (value=70000)"},
        {profileDoc("", "<jb2 quality-policy=\"lossy\" refine-threshold=\"101\"/>"), 20,
         "refine-threshold should be in [0 100] range! (value=101)"},
        {profileDoc("encode-mode=\"4-layer\""), 20, "Unknown value '4-layer' on encode-mode!"},
        {"<profile xmlns=\"" + kNs + "\" name=\"a/b\"/>", 7, "Profile name should not contain \\, :, /: a/b"},
        {"<profile xmlns=\"" + kNs + "\"/>", 7, "Profile name should not be empty: "},
    };
    for (const Case& c : cases) {
        ProfileData d;
        Thrown t = readDoc(c.doc, &d);
        EXPECT_EQ(t.code, c.code) << c.doc;
        EXPECT_TRUE(text_helpers::endsWith(t.message, c.tail + "\n")) << t.message;
    }
}

// Every boundary of the shared range table, on both sides: a record at a
// bound passes the check and its written form reads back with that value; one
// step outside is refused naming the field, and the reader stops at that
// value as the writer would put it (gamma alone reads as the default).
TEST(FieldRanges, EveryBoundaryOnBothSides) {
    using FieldRanges::FieldRange;
    for (uint32_t i = 0; i < FieldRanges::rowCount; ++i) {
        const FieldRange& r = FieldRanges::table()[i];
        SCOPED_TRACE(r.field);
        struct Probe { uint64_t value; bool inside; } probes[] = {
            {uint64_t(r.minimum) - 1, false}, {r.minimum, true}, {r.maximum, true}, {uint64_t(r.maximum) + 1, false}};
        for (const Probe& probe : probes) {
            if (probe.value > 0xFFFFFFFFu)
                continue;   // the bound is the type's own
            DjVuEncoder::Params p;
            r.value(p) = uint32_t(probe.value);
            const std::string v = std::to_string(probe.value);
            ProfileData d;
            Thrown read = readDoc(str(ProfileXml::getXmlHeader() + ProfileXml::getXmlBody(p, S("p"), S(""), false)) +
                                      ProfileXml::getXmlFooter(), &d);
            if (probe.inside) {
                EXPECT_EQ(thrown([&] { FieldRanges::checkParams(p); }).code, 0) << v;
                EXPECT_EQ(read.code, 0) << v << " " << read.message;
                EXPECT_EQ(r.value(d.params), probe.value);
                continue;
            }
            const std::string range = " should be in [" + std::to_string(r.minimum) + " " + std::to_string(r.maximum) +
                                      "] range! (value=" + v + ")";
            EXPECT_TRUE(failsWith([&] { FieldRanges::checkParams(p); }, 7, r.field + range)) << v;
            if (i == FieldRanges::gamma) {
                EXPECT_EQ(d.params.gamma, 22u);
            } else {
                EXPECT_EQ(read.code, 20) << v;
                EXPECT_TRUE(text_helpers::endsWith(read.message, r.attribute + range + "\n")) << read.message;
            }
        }
    }
    // What the writer refuses is refused on entry too.
    DjVuEncoder::Params p;
    p.bgParams.cbcrMode = IW44Encoder::CbCrMode(3);
    EXPECT_TRUE(failsWith([&] { FieldRanges::checkParams(p); }, 7, "bgParams.cbcrMode should be one of its 3 keywords! (value=3)"));
}

// A name is taken only when the file carries it byte for byte: two names
// can then never become one on saving.
TEST(ProfileNames, TakenOnlyWhenWrittenExactly) {
    const std::string taken[] = {"tab\there", "caf\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD", "del\x7F"};
    for (const std::string& name : taken) {
        AutoPtr<Profile> p = Profile::create(S(name), S(""));
        EXPECT_EQ(str(Profile::importFromXml(p->getXml())->getName()), name);
    }
    const std::string refused[] = {"x\x01", "x\x1F", "\x80x", "\xC3" "A", "\xC1\x81", "ab\xE2\x82", "\xED\xA0\x80",
                                   "\xEF\xB7\x90", "\xEF\xBF\xBE", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80"};
    for (const std::string& name : refused) {
        Thrown t = thrown([&] { ProfileXml::checkProfileName(S(name)); });
        EXPECT_EQ(t.code, 7) << name;
        EXPECT_NE(t.message.find("only characters that XML can carry"), std::string::npos) << t.message;
    }
}
