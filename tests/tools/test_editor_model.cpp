// The profile editor's changes, made on a repository file of the test's own
// and read back from the file.
#include "tools/tessforge7/editor_model.h"

#include <functional>

#include "support/test_kit.h"

using namespace tessforge;
using testkit::ScratchFolder;

namespace {

const char* kRepository =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\" encode-mode=\"bitonal\" description=\"Scans\"/>"
    "<profile name=\"Fine\"/></repository>\n";

// A scratch folder whose db0.dprepo holds `content`.
struct RepositoryFolder : ScratchFolder {
    explicit RepositoryFolder(const char* name, const char* content = kRepository) : ScratchFolder(name) {
        testkit::writeFile(file, content);
    }
    const std::filesystem::path file = *this / "db0.dprepo";
    const std::string path = file.u8string();
};

using Names = std::vector<std::string>;
using M = EditorModel;
using E = std::string;

} // namespace

// Each change, refused with its message or made; only a save brings it to
// the file, and a refused change leaves both profiles as they were.
TEST(EditorModel, EachChangeReachesTheFileOnlyThroughSave)
{
    RepositoryFolder folder("editor-model");
    const std::string& path = folder.path;
    testkit::writeFile(folder / "defaults.dprepo",
        "<?xml version=\"1.0\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
        "<profile name=\"Fine\" description=\"shipped\"/><profile name=\"Photos\"/></repository>\n");
    MainSettings original, wanted;
    std::string error;
    ASSERT_TRUE(EditorModel(path).settings("vjt300", original, error)) << error;
    EXPECT_EQ(original.encodeMode, 3u);
    EXPECT_EQ(original.description, "Scans");
    wanted = {0, 40, 90, 1, 1, "Colour \xC3\xBC"};
    auto with = [&](void (*change)(MainSettings&)) { MainSettings s = wanted; change(s); return s; };
    using Change = std::function<bool(M&, E&)>;
    auto apply = [](std::string name, MainSettings s) -> Change { return [=](M& m, E& e) { return m.apply(name, s, e); }; };
    auto importFrom = [&](const char* file, Names expected) -> Change {
        return [&folder, file, expected](M& m, E& e) {
            Names added;
            const bool ok = m.importMissing((folder / file).u8string(), added, e);
            EXPECT_EQ(added, expected);
            return ok;
        };
    };
    const Names both = {"Fine", "vjt300"};
    // names: after the save; settingsChanged: vjt300 holds `wanted` afterwards.
    struct Case { const char* what; Change change; Names names; std::string error; bool settingsChanged = false; } cases[] = {
        {"copy under a new name", [](M& m, E& e) { return m.createCopy("vjt300", "My copy", e); },
         {"Fine", "My copy", "vjt300"}, ""},
        {"copy under a taken name", [](M& m, E& e) { return m.createCopy("vjt300", "Fine", e); }, both,
         "Profile of the name already exists: \"Fine\""},
        {"rename", [](M& m, E& e) { return m.rename("Fine", "Coarse", e); }, {"Coarse", "vjt300"}, ""},
        {"remove", [](M& m, E& e) { return m.remove("vjt300", e); }, {"Fine"}, ""},
        // An upgrade's import of new default profiles: only the missing ones.
        {"import the missing defaults", importFrom("defaults.dprepo", {"Photos"}), {"Fine", "Photos", "vjt300"}, ""},
        {"import from a missing file", importFrom("nowhere.dprepo", {}), both, "Repository file not found."},
        {"settings", apply("vjt300", wanted), both, "", true},
        {"quality 0", apply("vjt300", with([](MainSettings& s) { s.backgroundQuality = 0; })), both,
         "Quality should be in [1 100] range!"},
        {"quality 101", apply("vjt300", with([](MainSettings& s) { s.foregroundQuality = 101; })), both,
         "Quality should be in [1 100] range!"},
        {"no such mode", apply("vjt300", with([](MainSettings& s) { s.encodeMode = 6; })), both,
         "Unknown setting value!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::writeFile(folder.file, kRepository);
        const bool ok = c.error.empty();
        {
            EditorModel m(path);
            error.clear();
            EXPECT_EQ(c.change(m, error), ok);
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(m.dirty(), ok);
        }
        for (bool saved : {false, true}) {
            if (saved) {
                EditorModel m(path);
                c.change(m, error);
                EXPECT_TRUE(m.save(error) && !m.dirty());
            }
            EditorModel m(path);
            EXPECT_EQ(m.names(), saved ? c.names : both) << "saved: " << saved;
            MainSettings s;
            if (m.settings("vjt300", s, error)) {
                EXPECT_EQ(s, saved && c.settingsChanged ? wanted : original) << "saved: " << saved;
            }
        }
    }
}

// The import switch is the whole parameter text: the dialog's command line
// (a profile name, then switches and a quoted image) never reads as one.
TEST(EditorModel, ImportSwitch)
{
    struct Case { const wchar_t* parameters; const wchar_t* file; } cases[] = {   // file null: no import
        {L"-import \"C:\\ProgramData\\Marovent\\defaults.dprepo\"", L"C:\\ProgramData\\Marovent\\defaults.dprepo"},
        {L"-import C:\\defaults.dprepo", L"C:\\defaults.dprepo"},
        {L"-import \"x\" -nologo -hwnd 12 -icp \"page.img\"", nullptr},
        {L"-import \"\"", nullptr},
        {L"-import", nullptr},
        {L"vjt300 -nologo -hwnd 12 -icp \"page.img\"", nullptr},
    };
    for (const Case& c : cases) {
        std::wstring file;
        EXPECT_EQ(parseImportArguments(c.parameters, file), c.file != nullptr);
        EXPECT_EQ(c.file ? file : std::wstring(), c.file ? c.file : L"");
    }
}

// A file cut short after its second profile: the editor's save over it
// says how many profiles it kept and where the file as it was lies.
TEST(EditorModel, ASaveOverACutFileKeepsWhatWasRead)
{
    const std::string cut = std::string(kRepository).substr(0, std::string(kRepository).find("</repository>"));
    RepositoryFolder folder("editor-model-cut", cut.c_str());
    EditorModel model(folder.path);
    const Names read = {"Fine", "vjt300"};
    EXPECT_EQ(model.names(), read);
    std::string error, copy;
    size_t kept = 0;
    ASSERT_TRUE(model.createCopy("Fine", "New", error)) << error;
    ASSERT_TRUE(model.save(error)) << error;
    ASSERT_TRUE(model.savedOverDamage(kept, copy));
    EXPECT_EQ(kept, read.size());
    EXPECT_EQ(testkit::readFile(std::filesystem::u8path(copy)), cut);
}
