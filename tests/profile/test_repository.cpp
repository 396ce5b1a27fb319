#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "profile/djv_fileaccess.h"
#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"
#include "support/test_kit.h"
#include "tools/profile_defaults/default_profiles.h"

using namespace testkit;
using namespace Solvaris::DjVu;
using Solvaris::AutoPtr;
using Solvaris::String;

namespace {

const std::string kNs = PROFILE_NAMESPACE;

// The machine-wide folder is found once per process: point it at a scratch
// folder before anything asks for it.
const fs::path kReserved = [] {
    fs::path p = fs::current_path() / "pvtest-svrdbdir";
    fs::create_directories(p);
    setEnv("SVRDBDIR", p.u8string());
    return p;
}();

void clearReservedFolder() {
    for (const char* name : {"db0.dprepo", "defaults.dprepo", "db0.dprepo.damaged"})
        fs::remove(kReserved / name);
}

std::string profileElement(const std::string& name, const std::string& attrs = std::string()) {
    return "<profile name=\"" + name + "\" " + attrs + "><jb2 refine-threshold=\"50\"/></profile>";
}

std::string repositoryDoc(const std::vector<std::string>& profiles) {
    std::string doc = "<?xml version=\"1.0\"?>\n<repository xmlns=\"" + kNs + "\">";
    for (const std::string& p : profiles)
        doc += "\n  " + p;
    return doc + "\n</repository>\n";
}

std::vector<std::string> namesOf(const AutoPtr<ProfileRepository>& repo) {
    Solvaris::SimpleArray<String> names;
    names.append(S("stale entry"));
    repo->getProfileNames(names);
    std::vector<std::string> out;
    for (const String& n : names)
        out.push_back(str(n));
    return out;
}

typedef std::vector<std::string> Names;

} // namespace

TEST(ProfileRepository, DefaultLocationAndSeed) {
    clearReservedFolder();
    {
        // Nothing there: the built-in profile alone, and nothing is written.
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(S(""));
        EXPECT_EQ(namesOf(repo), Names{"sdk_default"});
        AutoPtr<const Profile> builtIn = static_cast<const ProfileRepository&>(*repo).loadProfile(S("sdk_default"));
        EXPECT_TRUE(builtIn->isReadOnly() && builtIn->isInstalled() && !builtIn->isModified());
        EXPECT_TRUE(builtIn->getParams() == [] { DjVuEncoder::Params p; p.name = S("sdk_default"); return p; }());
        EXPECT_TRUE(failsWith([&] { repo->removeProfile(S("sdk_default")); }, Solvaris::errReadOnly,
                              "This profile is read-only!"));
        EXPECT_TRUE(repo->save());
    }
    EXPECT_FALSE(fs::exists(kReserved / "db0.dprepo"));

    // A seed file is copied first and its profiles are listed. It may be
    // read-only (as installed): its content is copied, not the file with its
    // marks, so the repository can still be saved (Windows renames nothing
    // over a read-only file).
    const std::string seed = repositoryDoc({profileElement("vjt300"), profileElement("Fine")});
    const fs::path seedPath = kReserved / "defaults.dprepo";
    writeFile(seedPath, seed);
    fs::permissions(seedPath, fs::perms::owner_write, fs::perm_options::remove);
    {
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(S(""));
        EXPECT_EQ(namesOf(repo), (Names{"Fine", "vjt300"}));
    }
    EXPECT_EQ(readFile(kReserved / "db0.dprepo"), seed);   // copied, and not rewritten
    EXPECT_NE(fs::status(kReserved / "db0.dprepo").permissions() & fs::perms::owner_write, fs::perms::none);
    fs::permissions(seedPath, fs::perms::owner_write, fs::perm_options::add);
#ifdef _WIN32
    // A seed with a second name (anyone may link another user's file into
    // the folder) is neither read nor copied.
    fs::remove(kReserved / "db0.dprepo");
    fs::create_hard_link(seedPath, kReserved / "second-name");
    EXPECT_EQ(namesOf(ProfileRepository::create(S(""))), Names{"sdk_default"});
    EXPECT_FALSE(fs::exists(kReserved / "db0.dprepo"));
    fs::remove(kReserved / "second-name");
#endif

    // An existing db0.dprepo is never replaced by the seed.
    writeFile(kReserved / "db0.dprepo", repositoryDoc({profileElement("own")}));
    EXPECT_EQ(namesOf(ProfileRepository::create(S(""))), Names{"own"});

    DjVuEncoder::Params params;
    params.loadFromProfile(S("own"));
    EXPECT_TRUE(str(params.name) == "own" && params.jb2.refineThreshold == 50u);
    clearReservedFolder();
}

// The shipped defaults.dprepo (written at build time by a build of the
// library for the build machine) reads back whole with this build's reader,
// and this build's writer gives the same bytes: every profile of the table,
// with its description and record, and nothing else.
TEST(ProfileRepository, ShippedDefaultsReadBackWhole) {
    const std::string shipped = readFile(fs::u8path(PV_DEFAULTS_REPOSITORY));
    ASSERT_FALSE(shipped.empty());
    ScratchFolder folder("defaults");
    writeFile(folder / "db0.dprepo", shipped);
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(folder.lib("db0.dprepo"));
    Names expected;
    for (const AutoPtr<Profile>& p : profile_defaults::defaultProfiles())
        expected.push_back(str(p->getName()));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesOf(repo), expected);
    for (const AutoPtr<Profile>& p : profile_defaults::defaultProfiles()) {
        SCOPED_TRACE(str(p->getName()));
        AutoPtr<Profile> read = repo->loadProfile(p->getName());
        EXPECT_EQ(str(read->getDescription()), str(p->getDescription()));
        EXPECT_TRUE(read->getParams() == p->getParams());
    }
    repo->saveAs(folder.lib("again.dprepo"));
    EXPECT_EQ(readFile(folder / "again.dprepo"), shipped);
    EXPECT_FALSE(fs::exists(folder / "db0.dprepo.damaged"));
}

// Files of every shape, read again and again by one repository: what each
// reads as (reading alone never rewrites it); a change saves over it, and a
// file that held more than was read is kept first, a later one beside the
// earlier copies. Entities and document types: nothing outside the document
// is read (the external subset, parameter entities; external entities:
// XmlLayer.FailuresAreClearErrors), and entity amplification is refused like
// any other damage.
TEST(ProfileRepository, FilesOfEveryShapeReadAndSaved) {
    ScratchFolder folder("shapes");
    const std::string dir = "pvtest-shapes/";   // as seen from the current folder
    writeFile(folder / "ext.dtd", "<!ATTLIST profile description CDATA \"FROM-DTD\">");
    std::string laughs = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    auto doctype = [](const std::string& subset, const std::string& profile) {
        return "<?xml version=\"1.0\"?>\n<!DOCTYPE repository " + subset + ">\n<repository xmlns=\"" + kNs + "\">" +
               profile + "</repository>\n";
    };
    const std::string p = "<profile name=\"p\"";
    const Names builtIn{"sdk_default"};
    const std::string three = repositoryDoc({profileElement("p1"), profileElement("p2"), profileElement("p3")});
    auto nested = [](const std::string& name, int levels) {   // the profile's own level is one of them
        std::string x;
        for (int i = 1; i < levels; ++i)
            x = "<x>" + x + "</x>";
        return "<profile name=\"" + name + "\">" + x + "</profile>";
    };
    // description: of the first profile read; error: what the XML layer says.
    struct Case { const char* what; std::string content; Names names; bool damaged; const char *description, *error; } cases[] = {
        {"single profile", "<profile xmlns=\"" + kNs + "\" name=\"Solo\"/>", {"Solo"}, false, "", nullptr},
        {"byte order", repositoryDoc({profileElement("b"), profileElement("B"), profileElement("a")}), {"B", "a", "b"},
         false, nullptr, nullptr},
        {"later wins, others skipped",
         repositoryDoc({profileElement("x", "description=\"one\""), "<other/>", profileElement("x", "description=\"two\"")}),
         {"x"}, false, "two", nullptr},
        {"damaged third profile",
         repositoryDoc({profileElement("p1"), profileElement("p2"), "<profile name=\"p3\" gamma=\"x\" encode-mode=\"?\"/>",
                        profileElement("p4")}),
         {"p1", "p2"}, true, nullptr, nullptr},
        // What was complete before the damage is listed, and kept by a save.
        {"cut short", three.substr(0, three.find("p3") + 4), {"p1", "p2"}, true, nullptr,
         "XML error: the document ends inside an element"},
        {"not well-formed third profile",
         repositoryDoc({profileElement("p1"), profileElement("p2"), "<profile name=\"p3\"><jb2></profile>",
                        profileElement("p4")}),
         {"p1", "p2"}, true, nullptr, "XML error: mismatched tag"},
        // The repository's level and the profile's count: 16 levels are read,
        // a 17th stops the reading.
        {"nested too deep", repositoryDoc({nested("p1", 15), nested("p2", 16), profileElement("p3")}), {"p1"}, true,
         nullptr, "XML error: elements nested too deep"},
        {"too large", repositoryDoc({profileElement("p1"), "<!--" + std::string(XmlParse::kMaxDocumentSize, ' ') + "-->"}),
         builtIn, true, nullptr, nullptr},
        {"not ours", "<html/>", builtIn, true, nullptr, nullptr},
        {"too new", repositoryDoc({profileElement("new", "version=\"30000\"")}), builtIn, true, nullptr, nullptr},
        {"empty file", "", builtIn, true, nullptr, nullptr},
        {"billion laughs", doctype("[" + laughs + "]", p + " description=\"&l9;\"/>"), builtIn, true, nullptr,
         "XML error: limit on input amplification factor (from DTD and entities) breached"},
        {"external subset", doctype("SYSTEM \"" + dir + "ext.dtd\"", p + "/>"), {"p"}, false, "", ""},
        {"external parameter entity", doctype("[<!ENTITY % x SYSTEM \"" + dir + "ext.dtd\"> %x;]", p + "/>"), {"p"},
         false, "", ""},
        // The internal subset is read: the checks above would see a default.
        {"internal subset", doctype("[<!ATTLIST profile description CDATA \"inner\">]", p + "/>"), {"p"}, false,
         "inner", ""},
    };
    AutoPtr<ProfileRepository> reader = ProfileRepository::create(folder.lib("r.dprepo"));
    int copies = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(folder / "r.dprepo", c.content);
        if (c.error) {
            Thrown t = thrown([&] { Solvaris::DjVu::XmlParse::readXmlFile(folder.lib("r.dprepo")); });
            EXPECT_EQ(t.code, *c.error ? Solvaris::errDataBroken : 0) << t.message;
            EXPECT_NE(t.message.find(c.error), std::string::npos) << t.message;
        }
        reader->reload();
        EXPECT_EQ(namesOf(reader), c.names);
        if (c.description) {
            EXPECT_EQ(str(reader->loadProfile(S(c.names[0]))->getDescription()), c.description);
        }
        EXPECT_FALSE(reader->hasUnsavedProfiles());
        EXPECT_TRUE(reader->save());
        EXPECT_EQ(readFile(folder / "r.dprepo"), c.content);
        {
            AutoPtr<ProfileRepository> repo = ProfileRepository::create(folder.lib("r.dprepo"));
            repo->installProfile(Profile::create(S("added"), S("")).get(), S(""));
            EXPECT_TRUE(repo->save());
        }
        const std::string copy = "r.dprepo.damaged" + (copies ? "." + std::to_string(copies) : std::string());
        ASSERT_EQ(fs::exists(folder / copy), c.damaged);
        if (c.damaged) {
            EXPECT_EQ(readFile(folder / copy), c.content);
            ++copies;
        }
        Names saved = c.names == builtIn ? Names() : c.names;   // the built-in profile is never written
        saved.push_back("added");
        std::sort(saved.begin(), saved.end());
        EXPECT_EQ(namesOf(ProfileRepository::create(folder.lib("r.dprepo"))), saved);
    }
    EXPECT_EQ(readFile(folder / "r.dprepo.damaged"), cases[3].content);   // the first copy stays
}

TEST(ProfileRepository, ChangesAndTheirFailures) {
    ScratchFolder folder("changes");
    writeFile(folder / "r.dprepo",
              repositoryDoc({profileElement("a"), profileElement("locked", "read-only=\"yes\""),
                             profileElement("old", "version=\"100\"")}));
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(folder.lib("r.dprepo"));
    AutoPtr<Profile> a = repo->loadProfile(S("a"));
    AutoPtr<Profile> locked = repo->loadProfile(S("locked"));
    EXPECT_EQ(repo->loadProfile(S("old"))->getVersion(), 100u);

    AutoPtr<Profile> fresh = Profile::create(S("fresh"), S("d"));
    DjVuEncoder::Params outside;   // a value the reader would stop at
    outside.segmenter.upsample = 0;
    struct Case { const char* what; std::function<void()> act; int code; std::string tail; } cases[] = {
        {"load missing", [&] { repo->loadProfile(S("zz")); }, 12, "No profile by that name: \"zz\""},
        {"remove missing", [&] { repo->removeProfile(S("zz")); }, 12, "No such profile!"},
        {"remove read-only", [&] { repo->removeProfile(S("locked")); }, 27, "This profile is read-only!"},
        {"rename missing", [&] { repo->renameProfile(S("zz"), S("y")); }, 12, "No such profile!"},
        {"rename onto itself", [&] { repo->renameProfile(S("a"), S("a")); }, 10, "Profile by the name already exists!"},
        {"rename read-only", [&] { repo->renameProfile(S("locked"), S("y")); }, 27, "This profile is read-only!"},
        {"rename to a bad name", [&] { repo->renameProfile(S("a"), S("a:b")); }, 7, "should not contain \\, :, /: a:b"},
        {"install existing name", [&] { repo->installProfile(fresh.get(), S("a")); }, 10,
         "Profile of the name already exists: \"a\""},
        {"install bad name", [&] { repo->installProfile(fresh.get(), S("x\\y")); }, 7, "should not contain \\, :, /: x\\y"},
        {"description of read-only", [&] { locked->setDescription(locked->getDescription()); }, 27, "is read-only!"},
        {"params of read-only", [&] { DjVuEncoder::Params p = locked->getParams(); p.gamma = 30; locked->setParams(p); }, 27,
         "is read-only!"},
        {"params outside a range", [&] { a->setParams(outside); }, 7,
         "segmenter.upsample should be in [1 16] range! (value=0)"},
        {"created outside a range", [&] { Profile::create(S("r"), S(""), &outside); }, 7,
         "segmenter.upsample should be in [1 16] range! (value=0)"},
        {"empty clone name", [&] { a->clone(S("")); }, 7, "Profile name should not be empty!"},
        {"empty create name", [&] { Profile::create(S(""), S("")); }, 7, "Profile name should not be empty!"},
        {"import of nothing", [&] { Profile::importFromXmlFile(folder.lib("none.dprepo:a")); }, 7, "file not found."},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(failsWith(c.act, c.code, c.tail)) << c.what;
    // Nothing changed: names checked before the table changed.
    EXPECT_EQ(namesOf(repo), (Names{"a", "locked", "old"}));
    EXPECT_EQ(str(a->getName()) + "/" + str(fresh->getName()), "a/fresh");
    EXPECT_FALSE(fresh->isInstalled() || repo->hasUnsavedProfiles());

    // Setting equal values changes nothing, even on a read-only profile.
    locked->setParams(locked->getParams());
    EXPECT_FALSE(locked->isModified());
    locked->setReadOnly(false);
    EXPECT_TRUE(locked->isModified());

    repo->installProfile(fresh.get(), S("Fresh copy"));
    EXPECT_EQ(str(fresh->getName()), "Fresh copy");
    EXPECT_TRUE(fresh->isInstalled() && fresh->isModified());
    repo->installProfile(fresh.get(), S("again"));   // already installed: nothing happens
    repo->renameProfile(S("a"), S("z"));
    EXPECT_EQ(str(a->getName()), "z");
    repo->removeProfile(S("old"));
    EXPECT_EQ(namesOf(repo), (Names{"Fresh copy", "locked", "z"}));
    EXPECT_TRUE(repo->hasUnsavedProfiles());

    ASSERT_TRUE(repo->save());
    EXPECT_FALSE(repo->hasUnsavedProfiles() || a->isModified());
    AutoPtr<ProfileRepository> again = ProfileRepository::create(folder.lib("r.dprepo"));
    EXPECT_EQ(namesOf(again), (Names{"Fresh copy", "locked", "z"}));
    EXPECT_FALSE(again->loadProfile(S("locked"))->isReadOnly());
    EXPECT_EQ(str(again->loadProfile(S("Fresh copy"))->getDescription()), "d");

    // saveAs writes the same document elsewhere and leaves the flags alone.
    a->setDescription(S("changed"));
    repo->saveAs(folder.lib("copy.dprepo"));
    EXPECT_TRUE(a->isModified());
    EXPECT_NE(readFile(folder / "copy.dprepo").find("description=\"changed\""), std::string::npos);
}

TEST(ProfileRepository, ImportExportAndFileTime) {
    ScratchFolder folder("import");
    writeFile(folder / "lib.dprepo", repositoryDoc({profileElement("Fine", "description=\"fine one\""),
                                                     profileElement("Other")}));
    AutoPtr<Profile> fine = Profile::importFromXmlFile(folder.lib("lib.dprepo:Fine"));
    EXPECT_EQ(str(fine->getName()), "Fine");
    EXPECT_FALSE(fine->isInstalled() || fine->isModified());
    EXPECT_EQ(fine->getParams().jb2.refineThreshold, 50u);
    // A file of that whole name is read as it is: its first profile.
    AutoPtr<Profile> first = Profile::importFromXmlFile(folder.lib("lib.dprepo"));
    EXPECT_EQ(str(first->getName()), "Fine");

    fine->exportToXmlFile(folder.lib("fine.xml"));
    EXPECT_EQ(readFile(folder / "fine.xml"), str(fine->getXml()));
    DjVuEncoder::Params params;
    params.loadFromXmlFile(folder.lib("fine.xml"));
    EXPECT_TRUE(params == fine->getParams());
    AutoPtr<Profile> copy = fine->clone(S("Finer"));
    EXPECT_EQ(str(copy->getName()) + "/" + str(copy->getDescription()), "Finer/fine one");

    AutoPtr<ProfileRepository> repo = ProfileRepository::create(folder.lib("lib.dprepo"));
    EXPECT_FALSE(repo->isFileNewer());
    // Other bytes of the same size under the same time (a save within one
    // tick of a coarse clock) are a change too.
    const auto time = fs::last_write_time(folder / "lib.dprepo");
    std::string other = readFile(folder / "lib.dprepo");
    other[other.find("Other")] = 'X';
    writeFile(folder / "lib.dprepo", other);
    fs::last_write_time(folder / "lib.dprepo", time);
    EXPECT_TRUE(repo->isFileNewer());
    fs::remove(folder / "lib.dprepo");
    EXPECT_TRUE(repo->isFileNewer());

    // A damaged file is the one this repository read, too.
    writeFile(folder / "cut.dprepo", repositoryDoc({profileElement("Fine")}).substr(0, 20));
    EXPECT_FALSE(ProfileRepository::create(folder.lib("cut.dprepo"))->isFileNewer());
}

// Two holders of one file change it; the second saver's changes land on
// top of the first's. Only a profile that both changed (or one changed and
// the other removed) stops a save that asks nobody; the saver's choice
// settles it otherwise. `first` and `second` each change a repository read
// before either saved.
TEST(ProfileRepository, SaversChangesLandOnTopOfEachOther) {
    ScratchFolder folder("merge");
    using R = ProfileRepository;
    typedef std::function<void(R&)> Change;
    auto describe = [](const char* name, const char* text) -> Change {
        return [=](R& r) { r.loadProfile(S(name))->setDescription(S(text)); };
    };
    auto add = [](const char* name) -> Change {
        return [=](R& r) { r.installProfile(Profile::create(S(name), S("new")).get(), S("")); };
    };
    auto remove = [](const char* name) -> Change { return [=](R& r) { r.removeProfile(S(name)); }; };
    auto rename = [](const char* from, const char* to) -> Change { return [=](R& r) { r.renameProfile(S(from), S(to)); }; };
    const R::BothChanged ask = R::failOnBothChanged;
    // conflict: the profile the second save stops at; names: the file's
    // afterwards; p1: p1's description afterwards.
    struct Case { const char* what; Change first, second; R::BothChanged choice; const char* conflict; Names names; const char* p1; }
    cases[] = {
        {"both add", add("a"), add("b"), ask, "", {"a", "b", "p1", "p2"}, ""},
        {"rename and change", describe("p2", "theirs"), rename("p1", "q"), ask, "", {"p2", "q"}, nullptr},
        {"remove and change", describe("p2", "theirs"), remove("p1"), ask, "", {"p2"}, nullptr},
        {"one removes what the other left", remove("p2"), describe("p1", "ours"), ask, "", {"p1"}, "ours"},
        {"same change", describe("p1", "same"), describe("p1", "same"), ask, "", {"p1", "p2"}, "same"},
        {"both change one", describe("p1", "theirs"), describe("p1", "ours"), ask, "p1", {"p1", "p2"}, "theirs"},
        {"both change one, ours kept", describe("p1", "theirs"), describe("p1", "ours"), R::keepOurs, "", {"p1", "p2"},
         "ours"},
        {"both change one, theirs kept", describe("p1", "theirs"), describe("p1", "ours"), R::keepTheirs, "", {"p1", "p2"},
         "theirs"},
        {"both add one name", add("a"), [](R& r) { r.installProfile(Profile::create(S("a"), S("other")).get(), S("")); },
         ask, "a", {"a", "p1", "p2"}, ""},
        {"removed here, changed there", describe("p1", "theirs"), remove("p1"), ask, "p1", {"p1", "p2"}, "theirs"},
        {"changed here, removed there", remove("p1"), describe("p1", "ours"), ask, "p1", {"p2"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(folder / "r.dprepo", repositoryDoc({profileElement("p1"), profileElement("p2")}));
        AutoPtr<ProfileRepository> first = ProfileRepository::create(folder.lib("r.dprepo"));
        AutoPtr<ProfileRepository> second = ProfileRepository::create(folder.lib("r.dprepo"));
        c.first(*first);
        c.second(*second);
        ASSERT_TRUE(first->save());
        String conflict, error;
        EXPECT_EQ(second->save(c.choice, &conflict, &error), !*c.conflict) << str(error);
        EXPECT_EQ(str(conflict), c.conflict);
        AutoPtr<ProfileRepository> file = ProfileRepository::create(folder.lib("r.dprepo"));
        EXPECT_EQ(namesOf(file), c.names);
        if (c.p1) {
            EXPECT_EQ(str(file->loadProfile(S("p1"))->getDescription()), c.p1);
        }
        if (!*c.conflict) {
            EXPECT_EQ(namesOf(second), c.names) << "the saver holds what it wrote";
            EXPECT_FALSE(second->isFileNewer());
        } else {
            second->reload();   // its release would try again
        }
    }
}

// Four savers at once, each adding its own profile to one file: the file
// holds all four afterwards, every round (PV_SAVE_ROUNDS rounds, 3 unless
// set). A saver that finds the lock held longer than the bounded wait fails
// and says so.
TEST(ProfileRepository, FourSaversAtOnceKeepEveryProfile) {
    ScratchFolder folder("savers");
    const char* asked = std::getenv("PV_SAVE_ROUNDS");
    const int rounds = asked && std::atoi(asked) > 0 ? std::atoi(asked) : 3;
    const String path = folder.lib("db0.dprepo");
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        writeFile(folder / "db0.dprepo", repositoryDoc({profileElement("base")}));
        std::atomic<int> started{0}, loaded{0}, saved{0};
        onThreads(4, [&] {
            AutoPtr<ProfileRepository> repo = ProfileRepository::create(path);
            repo->installProfile(Profile::create(S("saver " + std::to_string(started++)), S("")).get(), String());
            // All four have read the file before any saves.
            for (++loaded; loaded < 4;)
                std::this_thread::yield();
            saved += repo->save();
        });
        EXPECT_EQ(saved, 4);
        EXPECT_EQ(namesOf(ProfileRepository::create(path)),
                  (Names{"base", "saver 0", "saver 1", "saver 2", "saver 3"}));
    }

    AutoPtr<ProfileRepository> late = ProfileRepository::create(path);
    late->installProfile(Profile::create(S("late"), S("")).get(), String());
    String error;
    bool lateSaved = true;
    Solvaris::DjVu::FileAccess::replaceUnderSaveLock(path, [&](const Solvaris::FileStamp&,
                                                               const Solvaris::SimpleArray<char>&, std::string*) {
        std::thread([&] { lateSaved = late->save(ProfileRepository::failOnBothChanged, nullptr, &error); }).join();
        return false;
    });
    EXPECT_FALSE(lateSaved);
    EXPECT_NE(str(error).find("kept saving"), std::string::npos) << str(error);
    EXPECT_FALSE(ProfileRepository::create(path)->hasProfile(S("late")));
    late->reload();
}
