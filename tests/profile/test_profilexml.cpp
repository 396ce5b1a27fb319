// The XML reading layer, the profile's XML form (golden files, reader
// rules, the shared range table) and the name rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "profile/djv_fieldranges.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"
#include "support/test_kit.h"

#include <pthread.h>

using namespace testkit;
using namespace Solvaris::DjVu;
using Solvaris::AutoPtr;
using Solvaris::DjVu::ProfileXml::ProfileData;
using Solvaris::DjVu::XmlParse::DjVuXmlParser;
using Solvaris::DjVu::XmlParse::XmlElement;
using Solvaris::DjVu::XmlParse::parseXmlString;

namespace {

const std::string kNs = PROFILE_NAMESPACE, kOtherNs = "http://example.test/ns/";

// Parses text handed over in pieces of `piece` bytes (0: whole), then the
// final call; returns the root or rethrows what the parser threw. The parser
// records declarations in a namespace manager.
AutoPtr<XmlElement> parseInPieces(const std::string& text, size_t piece) {
    AutoPtr<DjVuXmlParser> parser(new DjVuXmlParser());
    parser->setNamespaceManager(new Solvaris::DjVu::XmlParse::XmlNamespaceManager());
    for (size_t at = 0; piece && at < text.size(); at += piece)
        parser->parse(text.data() + at, uint32_t(std::min(piece, text.size() - at)), "doc", false);
    parser->parse(text.data(), piece ? 0 : uint32_t(text.size()), "doc", true);
    return parser->getRoot();
}

// Runs check on the root of text parsed whole and in pieces of 1 to 5 bytes.
void forEachSplit(const std::string& text, const std::function<void(const XmlElement&)>& check) {
    for (size_t piece = 0; piece <= 5; ++piece) {
        SCOPED_TRACE("piece size " + std::to_string(piece));
        check(*parseInPieces(text, piece));
    }
}

// Runs f on a thread asked for a 64 KB stack.
void* runFunction(void* f) { (*static_cast<const std::function<void()>*>(f))(); return nullptr; }
void onSmallStack(const std::function<void()>& f) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, runFunction, const_cast<std::function<void()>*>(&f)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// A profile element with the given attributes and children, in the profile
// namespace.
std::string profileDoc(const std::string& attrs, const std::string& children = std::string()) {
    return "<profile xmlns=\"" + kNs + "\" name=\"p\" " + attrs + ">" + children + "</profile>";
}

// Reads a document into `out`; what it threw. (Read in pieces, the verdict
// and the record are the same: fuzz_profile_xml.)
Thrown readDoc(const std::string& doc, ProfileData* out) {
    return thrown([&] { ProfileXml::importXml(*parseXmlString(S(doc), "doc"), out); });
}

ProfileData readOk(const std::string& doc) {
    ProfileData data;
    Thrown t = readDoc(doc, &data);
    EXPECT_EQ(t.code, 0) << doc << "\n" << t.message;
    return data;
}

// The profiles of the golden repository, and whether each is read-only.
std::vector<std::pair<AutoPtr<Profile>, bool>> goldenProfiles() {
    using P = DjVuEncoder::Params;
    P standard;   // default 3-layer, flex encoding on
    P picture(DjVuEncoder::modePicture, 12, 75, 2, 60);
    picture.bgParams.cbcrMode = IW44Encoder::cbcrHalf, picture.bgParams.cbcrDelay = 10, picture.bgEnhancer = 3;
    picture.gamma = 18, picture.pictureEncoding = DjVuEncoder::pictureJpeg, picture.flexEncode = 0;
    picture.jpxParams = S("-rate 0.5 & more");
    P bitonal(DjVuEncoder::modeBitonal, 12, 75, 3, 75, 2, 3);
    bitonal.dictMode = 0, bitonal.dictFreq = 0, bitonal.flexEncode = 0, bitonal.blackCompensation = 1;
    bitonal.postSegmentSubsample = 2, bitonal.bitonalEncoding = DjVuEncoder::bitonalMmr, bitonal.binThreshold = 128;
    bitonal.flags = 7, bitonal.jb2.sortShapes = 1, bitonal.jb2.noiseReduction = JB2Params::noiseInflate;
    bitonal.jb2.pageShapeThreshold = 5, bitonal.jb2.flags = 3, bitonal.jb2.maxPalettes = 65535;
    bitonal.jb2.regionRecog.overlapThreshold = 1000;
    P chunked(DjVuEncoder::modeFg44ColorJb2);
    chunked.flexEncode = 0, chunked.emptyMaskProcess = DjVuEncoder::maskSegmentation, chunked.bgSubsample = 1;
    chunked.fgParams.chunks.append({74, 0});
    chunked.bgParams.chunks.append({72, 0}), chunked.bgParams.chunks.append({0, 2000});
    chunked.bgParams.chunks.append({10, 500});
    chunked.bgParams.cbcrMode = IW44Encoder::cbcrNone, chunked.bgParams.intent = IW44Encoder::intentIW44;
    chunked.fgJpxParams = S("fg");
    chunked.segmenter.bgColorExpected = 0xFFFFFF, chunked.segmenter.bgColorThreshold = 30;
    chunked.segmenter.detectEdge = 1, chunked.segmenter.useNonBlurred = 1, chunked.segmenter.blockSize = 4;
    chunked.extras[S("zeta")] = S("last"), chunked.extras[S("Alpha")] = S("a \"quoted\" <value>");
    chunked.extras[S("empty")] = S("");
    P odd(DjVuEncoder::mode2Layer);
    odd.gamma = 100;
    return {{Profile::create(S("Standard"), S("Default three layers"), &standard), false},
            {Profile::create(S("Photo"), S(""), &picture), false},
            {Profile::create(S("Text-only"), S("Black and white"), &bitonal), true},
            {Profile::create(S("chunks"), S("Chunk lists"), &chunked), false},
            {Profile::create(S("R&D <\"q\"> 'x' -- caf\xC3\xA9-"), S("line one\nline\ttwo & <three>"), &odd), false}};
}

// The golden file's bytes; PV_UPDATE_GOLDEN=1 writes `bytes` there first.
std::string golden(const char* name, const std::string& bytes) {
    const std::string path = std::string(PV_PROFILE_GOLDEN) + "/" + name;
    if (std::getenv("PV_UPDATE_GOLDEN"))
        writeFile(path, bytes);
    return readFile(path);
}

} // namespace

// The repository file and the single-profile document of the writer, byte for
// byte, and what reading them gives back.
TEST(ProfileXmlWriter, GoldenFilesAndReadBack) {
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
    EXPECT_EQ(written, golden("repository.dprepo", written));

    // Read back: the same records, flags and descriptions.
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

    // A single profile is written without the read-only flag.
    profiles[0].first->setReadOnly(true);
    const std::string xml = str(profiles[0].first->getXml());
    EXPECT_EQ(xml, golden("single.dprepo", xml));
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
        // A document being written keeps no piece of the refused profile.
        std::string doc = "<repository>\n";
        EXPECT_TRUE(failsWith([&] { ProfileXml::appendXmlBody(doc, p, S("n"), S("d"), false); },
                              Solvaris::errInvalidParam, c.tail));
        EXPECT_EQ(doc, "<repository>\n") << c.tail;
    }
}

// Well-formed text comes back unchanged through any document
// (fuzz_escape_xml); these rows are what escaping replaces, and the comment
// line's dashes.
TEST(ProfileXmlWriter, EscapeXmlAndCommentLine) {
    struct Case { std::string in, out; bool invalid; } cases[] = {
        {"<>&\"'\t\x7F", "&lt;&gt;&amp;&quot;&apos;&#9;&#127;", false},
        {"\x01x", "?x", true},                          // no XML form at all
        {"\x80x\xFE\xFF", "?x??", true},                  // bytes that start no sequence
        {"ab\xE2\x82", "ab??", true},                     // cut short by the end
        {"\xED\xA0\x80", "?", true},                      // surrogate
        {"\xEF\xB7\x90\xEF\xBF\xBE", "??", true},         // non-characters
        {"\xF4\x90\x80\x80", "?", true},                  // above U+10FFFF
        {"\xC0\xBC", "&lt;", false},                      // overlong: value by length alone
    };
    for (const Case& c : cases) {
        bool invalid = false;
        EXPECT_EQ(str(ProfileXml::escapeXml(S(c.in), &invalid)), c.out) << c.in;
        EXPECT_EQ(invalid, c.invalid) << c.in;
        EXPECT_EQ(str(ProfileXml::escapeXml(S(c.in))), c.out);   // the flag is optional
    }
    const std::pair<std::string, std::string> comments[] = {
        {"a&b<c", "a&b<c"}, {"a--b", "a- -b"}, {"x---", "x- - - "}, {"end-", "end- "}, {"one-two", "one-two"},
        {"bad\x01\xFF", "bad??"}};
    for (const auto& [name, comment] : comments)
        EXPECT_EQ(str(ProfileXml::getCommentLine(S(name))), "\t\n\t<!-- " + comment + " -->\n");
}

// Each row reads as the record of an empty profile (with an empty segmenter
// element for the segmenter rows) with the row's changes, and nothing else.
TEST(ProfileXmlReader, EachRowChangesOnlyItsFields) {
    using P = DjVuEncoder::Params;
    const P empty = readOk(profileDoc("")).params, segmenter = readOk(profileDoc("", "<segmenter/>")).params;
    EXPECT_TRUE(empty.encodeMode == 0 && empty.flexEncode == 1 && empty.gamma == 22 &&
                empty.segmenter.bgColorExpected == 0xFFFFFFFF && empty.jb2.refineThreshold == 60 &&
                empty.jb2.matchThreshold == 12 && empty.jb2.centerDiffThreshold == 1);
    EXPECT_EQ(segmenter.segmenter.bgColorExpected, 0xFFFFFFFF);
    auto jb2 = [](P& p, uint32_t refine, uint32_t match, uint32_t center) {
        p.jb2.refineThreshold = refine, p.jb2.matchThreshold = match, p.jb2.centerDiffThreshold = center;
    };
    struct Case { std::string attrs, children; std::function<void(P&)> change; } cases[] = {
        // dictionary frequency 0 turns the dictionary off; subsample 0 keeps
        // the current value; numbers end at the first non-digit
        {"dict-freq=\"0\" subsample=\"0\" upsample=\"3\" flags=\"9x\"", "",
         [](P& p) { p.dictMode = 0, p.dictFreq = 0, p.upsample = 3, p.flags = 9; }},
        {"dict-freq=\"20\"", "", [](P& p) { p.dictMode = 1, p.dictFreq = 20; }},
        // encode mode and its normalisation
        {"encode-mode=\"fg44\"", "", [](P& p) { p.flexEncode = 0; }},
        {"encode-mode=\"colorjb2\"", "", [](P& p) { p.encodeMode = DjVuEncoder::mode2Layer, p.flexEncode = 0; }},
        {"encode-mode=\"AUTO\"", "", [](P&) {}},
        {"encode-mode=\"Picture\" flex-encode=\"yes\"", "", [](P& p) { p.encodeMode = DjVuEncoder::modePicture; }},
        // gamma in tenths, kept only in [0.2, 10.0]
        {"gamma=\"10\"", "", [](P& p) { p.gamma = 100; }},
        {"gamma=\"2.2\"", "", [](P&) {}}, {"gamma=\"0.1\"", "", [](P&) {}}, {"gamma=\"12\"", "", [](P&) {}},
        {"gamma=\"2.25\"", "", [](P&) {}}, {"gamma=\"nan\"", "", [](P&) {}}, {"gamma=\"1e300\"", "", [](P&) {}},
        // background colour (what else a colour reads as: XmlLayer.AttributeReaders)
        {"", "<segmenter bg-color-expected=\"#FFFFFF\"/>", [](P& p) { p.segmenter.bgColorExpected = 0xFFFFFF; }},
        // quality policy
        {"", "<jb2 quality-policy=\"lossy\" refine-threshold=\"60\"/>", [&](P& p) { jb2(p, 180, 30, 4); }},
        {"", "<jb2 quality-policy=\"LOSSLESS\" refine-threshold=\"60\"/>", [&](P& p) { jb2(p, 180, 0, 1); }},
        {"", "<jb2 quality-policy=\"quasi-lossless\"/>", [&](P& p) { jb2(p, 180, 12, 4); }},
        {"", "<jb2 quality-policy=\"agressive\" refine-threshold=\"9\"/>", [&](P& p) { jb2(p, 27, 3, 2); }},
        {"", "<jb2 match-threshold=\"50\" center-diff-threshold=\"3\"/>", [&](P& p) { jb2(p, 60, 50, 3); }},
        // an older profile without a policy keeps its stated thresholds
        {"version=\"100\"", "<jb2 match-threshold=\"7\"/>", [&](P& p) { jb2(p, 60, 7, 1); }},
        // a tripled value that was saved reads back
        {"", "<jb2 refine-threshold=\"180\" match-threshold=\"30\" center-diff-threshold=\"4\"/>",
         [&](P& p) { jb2(p, 180, 30, 4); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attrs + c.children);
        P want = c.children.rfind("<segmenter", 0) == 0 ? segmenter : empty;
        c.change(want);
        EXPECT_TRUE(readOk(profileDoc(c.attrs, c.children)).params == want);
    }
}

TEST(ProfileXmlReader, FieldsDefaultsAndRules) {
    const ProfileData d = readOk(profileDoc(
        "", "<segmenter/><iw44 id=\"foreground\" intent=\"fg44\" cbcr-delay=\"AUTO\"/>"
        "<iw44 id=\"background\" quality=\"40\"><chunk-config slices=\"5\"/></iw44>"
        "<iw44 id=\"other\" intent=\"bogus-but-skipped\"/>"
        "<extra name=\"\" value=\"skipped\"/><extra name=\"k\"/><unknown/>"
        "<iw44 id=\"foreground\"><chunk-config slices=\"1\" bytes=\"2\"/><chunk-config/></iw44>"));
    const DjVuEncoder::Params& p = d.params;
    EXPECT_EQ(p.segmenter.bgColorThreshold, 17u);   // the reader's own default
    // A later element wins; the chunk list is emptied before each reading.
    EXPECT_EQ(p.fgParams.intent, IW44Encoder::intentBG44);
    ASSERT_EQ(p.fgParams.chunks.count(), 2u);
    EXPECT_TRUE(p.fgSubsample == 3 && p.fgParams.chunks[0].bytes == 2 && p.fgParams.cbcrDelay == 255);
    // "quality" given: the chunk children are not read.
    EXPECT_TRUE(p.bgParams.quality == 40 && p.bgParams.chunks.count() == 0);
    EXPECT_EQ(p.extras.size(), 1u);
    EXPECT_EQ(str(p.extras.at(S("k"))), "");
}

TEST(ProfileXmlReader, Failures) {
    struct Case { std::string doc; int code; std::string tail; } cases[] = {
        {profileDoc("version=\"28544\""), 27, "software; profile_version=28544, supported_version=28543"},
        {profileDoc("version=\"99999999999\""), 27, "software; profile_version=4294967295, supported_version=28543"},
        {"<profile name=\"p\"/>", 20, "Not a profile!"},
        {"<profile xmlns=\"http://other.example/\" name=\"p\"/>", 20, "Not a profile!"},
        {"<repository xmlns=\"" + kNs + "\"/>", 20, "No profiles in repository file!"},
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
        EXPECT_TRUE(endsWith(t.message, c.tail + "\n")) << t.message;
    }
}

// Every boundary of the shared range table, on both sides: a record at a
// bound passes the check and its written form reads back with that value; one
// step outside is refused naming the field, and the reader stops at that
// value as the writer would put it (gamma alone reads as the default).
TEST(FieldRanges, EveryBoundaryOnBothSides) {
    for (uint32_t i = 0; i < FieldRanges::rowCount; ++i) {
        const FieldRanges::Field& r = FieldRanges::table()[i];
        if (!FieldRanges::isRanged(r))
            continue;
        SCOPED_TRACE(r.field);
        struct Probe { uint64_t value; bool inside; } probes[] = {
            {uint64_t(r.minimum) - 1, false}, {r.minimum, true}, {r.maximum, true}, {uint64_t(r.maximum) + 1, false}};
        for (const Probe& probe : probes) {
            if (probe.value > 0xFFFFFFFFu)
                continue;   // the bound is the type's own
            DjVuEncoder::Params p;
            r.set(FieldRanges::recordIn(p, r.record), uint32_t(probe.value));
            const std::string v = std::to_string(probe.value);
            ProfileData d;
            Thrown read = readDoc(str(ProfileXml::getXmlHeader() + ProfileXml::getXmlBody(p, S("p"), S(""), false)) +
                                      ProfileXml::getXmlFooter(), &d);
            if (probe.inside) {
                EXPECT_EQ(thrown([&] { FieldRanges::checkParams(p); }).code, 0) << v;
                EXPECT_EQ(read.code, 0) << v << " " << read.message;
                EXPECT_EQ(r.get(FieldRanges::recordIn(d.params, r.record)), probe.value);
                continue;
            }
            const std::string range = " should be in [" + std::to_string(r.minimum) + " " + std::to_string(r.maximum) +
                                      "] range! (value=" + v + ")";
            EXPECT_TRUE(failsWith([&] { FieldRanges::checkParams(p); }, 7, r.field + range)) << v;
            if (i == FieldRanges::gamma) {
                EXPECT_EQ(d.params.gamma, 22u);
            } else {
                EXPECT_EQ(read.code, 20) << v;
                EXPECT_TRUE(endsWith(read.message, r.attribute + range + "\n")) << read.message;
            }
        }
    }
}

// A name is taken only when the file carries it byte for byte (what a taken
// name reads back as: fuzz_profile_name): two names can then never become
// one on saving.
TEST(ProfileNames, TakenOnlyWhenWrittenExactly) {
    const std::pair<const char*, bool> names[] = {
        {"tab\there", true}, {"caf\xC3\xA9", true}, {"\xF0\x9F\x98\x80", true}, {"\xEF\xBF\xBD", true},
        {"del\x7F", true}, {"x\x01", false}, {"x\x1F", false}, {"\x80x", false}, {"\xC3" "A", false},
        {"\xC1\x81", false}, {"ab\xE2\x82", false}, {"\xED\xA0\x80", false}, {"\xEF\xB7\x90", false},
        {"\xEF\xBF\xBE", false}, {"\xF4\x90\x80\x80", false}, {"\xF8\x88\x80\x80\x80", false}};
    for (const auto& [name, taken] : names) {
        Thrown t = thrown([n = name] { ProfileXml::checkProfileName(S(n)); });
        EXPECT_EQ(t.code, taken ? 0 : 7) << name;
        EXPECT_EQ(t.message.find("only characters that XML can carry") != std::string::npos, !taken) << t.message;
    }
}

TEST(XmlLayer, NamesTextAndTreeInEverySplit) {
    const std::string doc =
        "<?xml version=\"1.0\"?>\n"
        "<r:top xmlns:r=\"" + kOtherNs + "\" xmlns=\"urn:default\" a=\"1\">\n"
        "  <r:child xmlns:q=\"urn:two\"> \t spaced text \n</r:child>\n"
        "  <plain xml:space=\"preserve\">  kept  <inner>  also kept </inner></plain>\n"
        "  <r:child>caf\xC3\xA9 &amp; &#x3000;x&#x3000;</r:child>\n"
        "</r:top>\n";
    forEachSplit(doc, [&](const XmlElement& top) {
        EXPECT_EQ(str(top.getName()), kOtherNs + ":top");
        EXPECT_EQ(str(top.getAttrString("a")), "1");
        EXPECT_EQ(top.getParent(), nullptr);   // the synthetic root went with the parser
        ASSERT_EQ(top.getChildCount(), 3u);
        EXPECT_EQ(top.getChild(0)->getParent(), &top);
        // The attached namespace manager: declarations of an inner element
        // do not leak to its siblings.
        ASSERT_NE(top.getNamespaceManager(), nullptr);
        EXPECT_EQ(str(top.getNamespaceManager()->prefixOf(S("urn:default"))), "");
        EXPECT_EQ(str(top.getChild(0)->getNamespaceManager()->uriOf(S("q"))), "urn:two");
        EXPECT_EQ(str(top.getChild(0)->getNamespaceManager()->uriOf(S("r"))), kOtherNs);
        EXPECT_EQ(str(top.getChild(2)->getNamespaceManager()->uriOf(S("q"))), "");
        // Pieces are trimmed one by one; the result joins what is left.
        std::string t0 = str(top.getChild(0)->getText());
        EXPECT_EQ(t0.front(), 's');
        EXPECT_EQ(t0.back(), 't');
        EXPECT_NE(t0.find("spaced"), std::string::npos);

        const XmlElement& plain = *top.getChild(1);
        EXPECT_TRUE(plain.preservesSpace());
        EXPECT_TRUE(plain.getChild(0)->preservesSpace());   // inherited
        EXPECT_EQ(str(plain.getChild(0)->getText()), "  also kept ");
        // The end of an element with children keeps the text since the last
        // start tag.
        EXPECT_EQ(str(plain.getText()), "  also kept ");
        EXPECT_FALSE(top.preservesSpace());

        // Expat hands references over as pieces of their own; U+3000 and
        // blanks are trimmed away.
        EXPECT_EQ(str(top.getChild(2)->getText()), "caf\xC3\xA9&x");
    });
}

TEST(XmlLayer, AttributeReaders) {
    AutoPtr<XmlElement> e = parseXmlString(
        S("<e n1=\"12abc\" n2=\"abc\" n3=\"70000\" n4=\"4294967297\" n5=\" 7\" k2=\"\""
          " b1=\"On\" b2=\"1\" b3=\"TRUE\" b4=\"yes \" c1=\"#ff00AA\" c2=\"none\" c3=\"#\" c4=\"#123456789\"/>"),
        "attrs");
    static const char* const kw[] = {"IW44", "BG44", "FG44", ""};
    struct NumCase { const char* name; uint32_t def, max, min; int code; uint32_t want; } nums[] = {
        {"n1", 0, 100, 0, 0, 12}, {"n2", 5, 100, 0, 0, 0}, {"n3", 256, 65535, 0, 20, 0},
        {"n2", 5, 100, 1, 20, 0},          // no digits read as 0, below the minimum
        {"n4", 0, 0xFFFFFFFFu, 0, 0, 1},   // wraps modulo 2^32
        {"n5", 9, 100, 0, 0, 0},           // no blanks skipped
        {"absent", 300, 100, 0, 0, 300},   // default unchecked
    };
    for (const NumCase& c : nums) {
        SCOPED_TRACE(c.name);
        uint32_t got = 0;   // a refused value leaves it (every such row wants 0)
        EXPECT_EQ(thrown([&] { got = e->getAttr(c.name, c.def, c.max, c.min); }).code, c.code);
        EXPECT_EQ(got, c.want);
    }
    // The closing empty entry is no keyword.
    EXPECT_TRUE(failsWith([&] { e->getAttr("k2", kw, 0); }, Solvaris::errDataBroken, "Unknown value '' on k2!"));

    const std::pair<const char*, bool> bools[] = {{"b1", true}, {"b2", false}, {"b3", true}, {"b4", false}, {"absent", false}};
    for (const auto& [name, want] : bools)
        EXPECT_EQ(e->getAttrBool(name), want) << name;
    const std::pair<const char*, uint32_t> colors[] = {{"c1", 0xFF00AA}, {"c2", 77}, {"c3", 0}, {"c4", 77}, {"absent", 77}};
    for (const auto& [name, want] : colors)
        EXPECT_EQ(e->getAttrColor(name, 77), want) << name;
}

TEST(XmlLayer, FailuresAreClearErrors) {
    struct Case { const char* doc; int code; const char* tail; } cases[] = {
        {"", Solvaris::errNoContent, "No XML root element!\n"},
        {"<a>\n<b></a>", Solvaris::errDataBroken, "doc(2) : XML error: mismatched tag\n"},
        // Cut short: reported, not taken as far as it went.
        {"<a><b/>", Solvaris::errDataBroken, "XML error: no element found\n"},
        // Nothing outside the document is read.
        {"<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>", 0, nullptr},
    };
    // (Whole or in pieces, the verdict is the same: fuzz_profile_xml.)
    for (const Case& c : cases) {
        Thrown t = thrown([&] { parseInPieces(c.doc, 0); });
        EXPECT_EQ(t.code, c.code) << c.doc << ": " << t.message;
        EXPECT_NE(t.message.find(c.tail ? c.tail : ""), std::string::npos) << t.message;
    }
    // The external entity stayed unread: the element has no text from it.
    AutoPtr<XmlElement> a = parseXmlString(S(cases[3].doc), nullptr);
    EXPECT_EQ(str(a->getText()), "");
    // Without a source name the message says "XML code".
    Thrown t = thrown([] { parseXmlString(S("<a>"), nullptr); });
    EXPECT_NE(t.message.find(": XML code(1) : XML error: "), std::string::npos) << t.message;
}

// A document one element over the limit, its first elements nested as deep
// as allowed: the parse stops at the last element, and the tree read up to
// there is released on a small stack; so is a tree far deeper than any the
// parser makes.
TEST(XmlLayer, LimitsStopTheParseAndTreesAreReleasedOnASmallStack) {
    std::string doc;
    for (uint32_t i = 1; i < XmlParse::kMaxDepth; ++i)
        doc += "<d>";
    doc += "<d/>";
    for (uint32_t i = XmlParse::kMaxDepth; i <= XmlParse::kMaxElements; ++i)
        doc += "<x/>";
    for (uint32_t i = 1; i < XmlParse::kMaxDepth; ++i)
        doc += "</d>";
    AutoPtr<DjVuXmlParser> parser(new DjVuXmlParser());
    EXPECT_TRUE(failsWith([&] { parser->parse(doc.data(), uint32_t(doc.size()), "many"); }, Solvaris::errDataBroken,
                          "many(1) : XML error: too many elements\n"));
    AutoPtr<XmlElement> root = parser->getRoot();
    parser = nullptr;
    onSmallStack([&] { root = nullptr; });

    AutoPtr<XmlElement> top(new XmlElement(nullptr, S("d"), nullptr, nullptr));
    XmlElement* deepest = top.get();
    for (int i = 0; i < 100000; ++i)
        deepest = new XmlElement(deepest, S("d"), nullptr, nullptr);
    onSmallStack([&] { top = nullptr; });
}
