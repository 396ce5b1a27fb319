// The profile editor's changes, made on a repository file of the test's own
// and read back from the file.
#include "tools/tessforge7/editor_model.h"

#include <chrono>

#include "profile/profile_test_support.h"

using namespace tessforge;
using profile_test::ScratchFolder;

namespace {

const char* kRepository =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\" encode-mode=\"bitonal\" description=\"Scans\"/>"
    "<profile name=\"Fine\"/></repository>\n";

} // namespace

TEST(EditorModel, EachChangeReachesTheFileOnlyThroughSave)
{
    ScratchFolder folder("editor-model");
    const std::string path = (folder / "db0.dprepo").u8string();
    struct Case {
        const char* what;
        std::function<bool(EditorModel&, std::string&)> change;
        bool ok;
        std::vector<std::string> names;   // after the change, as read back after save
        std::string error;
    } cases[] = {
        {"copy under a new name", [](EditorModel& m, std::string& e) { return m.createCopy("vjt300", "My copy", e); }, true,
         {"Fine", "My copy", "vjt300"}, ""},
        {"copy under a taken name", [](EditorModel& m, std::string& e) { return m.createCopy("vjt300", "Fine", e); }, false,
         {"Fine", "vjt300"}, "Profile of the name already exists: \"Fine\""},
        {"rename", [](EditorModel& m, std::string& e) { return m.rename("Fine", "Coarse", e); }, true,
         {"Coarse", "vjt300"}, ""},
        {"rename onto itself", [](EditorModel& m, std::string& e) { return m.rename("Fine", "Fine", e); }, false,
         {"Fine", "vjt300"}, "Profile by the name already exists!"},
        {"remove", [](EditorModel& m, std::string& e) { return m.remove("vjt300", e); }, true, {"Fine"}, ""},
        {"remove an unknown one", [](EditorModel& m, std::string& e) { return m.remove("nope", e); }, false,
         {"Fine", "vjt300"}, "No such profile!"},
        // An upgrade's import of new default profiles: only the missing ones.
        {"import the missing defaults", [&](EditorModel& m, std::string& e) {
             std::vector<std::string> added;
             const bool ok = m.importMissing((folder / "defaults.dprepo").u8string(), added, e);
             EXPECT_EQ(added, std::vector<std::string>{"Photos"});
             return ok;
         }, true, {"Fine", "Photos", "vjt300"}, ""},
        {"import from a missing file", [&](EditorModel& m, std::string& e) {
             std::vector<std::string> added;
             return m.importMissing((folder / "nowhere.dprepo").u8string(), added, e);
         }, false, {"Fine", "vjt300"}, "Repository file not found."},
    };
    profile_test::writeFile(folder / "defaults.dprepo",
        "<?xml version=\"1.0\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
        "<profile name=\"Fine\" description=\"shipped\"/><profile name=\"Photos\"/></repository>\n");
    for (const Case& c : cases) {
        profile_test::writeFile(folder / "db0.dprepo", kRepository);
        {
            EditorModel m(path);
            std::string error;
            EXPECT_EQ(c.change(m, error), c.ok) << c.what;
            EXPECT_EQ(error, c.error) << c.what;
            EXPECT_EQ(m.dirty(), c.ok) << c.what;
        }
        // Not saved: the file keeps its two profiles.
        EXPECT_EQ(EditorModel(path).names(), (std::vector<std::string>{"Fine", "vjt300"})) << c.what;
        {
            EditorModel m(path);
            std::string error;
            c.change(m, error);
            EXPECT_TRUE(m.save(error)) << c.what;
        }
        EXPECT_EQ(EditorModel(path).names(), c.names) << c.what;
    }
}

// The import switch is the whole parameter text: the dialog's command line
// (a profile name, then switches and a quoted image) never reads as one.
TEST(EditorModel, ImportSwitch)
{
    struct Case { const wchar_t* parameters; bool import; const wchar_t* file; } cases[] = {
        {L"-import \"C:\\ProgramData\\Marovent\\defaults.dprepo\"", true, L"C:\\ProgramData\\Marovent\\defaults.dprepo"},
        {L"-import \"x\" -nologo -hwnd 12 -icp \"page.img\"", false, L""},
        {L"-import \"\"", false, L""},
        {L"-import C:\\defaults.dprepo", true, L"C:\\defaults.dprepo"},
        {L"-import", false, L""},
        {L"vjt300 -nologo -hwnd 12 -icp \"page.img\"", false, L""},
    };
    for (const Case& c : cases) {
        std::wstring file;
        EXPECT_EQ(parseImportArguments(c.parameters, file), c.import);
        if (c.import) {
            EXPECT_EQ(file, c.file);
        }
    }
}

TEST(EditorModel, MainSettingsAreCheckedStoredAndReadBack)
{
    ScratchFolder folder("editor-settings");
    const std::string path = (folder / "db0.dprepo").u8string();
    profile_test::writeFile(folder / "db0.dprepo", kRepository);
    MainSettings s;
    std::string error;
    {
        EditorModel m(path);
        ASSERT_TRUE(m.settings("vjt300", s, error)) << error;
        EXPECT_EQ(s.encodeMode, 3u);
        EXPECT_EQ(s.description, "Scans");
        EXPECT_FALSE(m.settings("none", s, error));
        EXPECT_EQ(error, "No profile by that name: \"none\"");
    }
    MainSettings wanted = s;
    wanted.encodeMode = 0;
    wanted.backgroundQuality = 40;
    wanted.foregroundQuality = 90;
    wanted.bitonalEncoding = 1;
    wanted.pictureEncoding = 1;
    wanted.description = "Colour \xC3\xBC";
    struct Case {
        const char* what;
        std::string profile;
        MainSettings settings;
        std::string error;
    } cases[] = {
        {"quality 0", "Fine", [&] { MainSettings b = wanted; b.backgroundQuality = 0; return b; }(),
         "Quality should be in [1 100] range!"},
        {"quality 101", "Fine", [&] { MainSettings b = wanted; b.foregroundQuality = 101; return b; }(),
         "Quality should be in [1 100] range!"},
        {"no such mode", "Fine", [&] { MainSettings b = wanted; b.encodeMode = 6; return b; }(), "Unknown setting value!"},
        {"unknown profile", "gone", wanted, "No profile by that name: \"gone\""},
        {"accepted", "vjt300", wanted, ""},
    };
    for (const Case& c : cases) {
        EditorModel m(path);
        error.clear();
        EXPECT_EQ(m.apply(c.profile, c.settings, error), c.error.empty()) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        if (c.error.empty()) {
            EXPECT_TRUE(m.save(error)) << error;
        }
    }
    EditorModel m(path);
    ASSERT_TRUE(m.settings("vjt300", s, error));
    EXPECT_EQ(s, wanted) << "read back from the file";
    ASSERT_TRUE(m.settings("Fine", s, error));
    EXPECT_EQ(s.backgroundQuality, 75u) << "refused changes leave the other profile alone";
}

TEST(EditorModel, TheBuiltInProfileCannotBeChanged)
{
    ScratchFolder folder("editor-builtin");
    const std::string path = (folder / "db0.dprepo").u8string();
    EditorModel m(path);
    ASSERT_EQ(m.names(), std::vector<std::string>{"sdk_default"});
    EXPECT_TRUE(m.readOnly("sdk_default"));
    MainSettings s;
    std::string error;
    ASSERT_TRUE(m.settings("sdk_default", s, error));
    s.backgroundQuality = 10;
    EXPECT_FALSE(m.apply("sdk_default", s, error));
    EXPECT_EQ(error, "This profile is read-only!");
    EXPECT_FALSE(m.remove("sdk_default", error));
    // Copying it is the way to a profile of one's own.
    EXPECT_TRUE(m.createCopy("sdk_default", "Mine", error)) << error;
    EXPECT_TRUE(m.save(error));
    EXPECT_EQ(EditorModel(path).names(), std::vector<std::string>{"Mine"});
}

// Two editors on one file: the one that saves second learns that the file
// changed after it read it, and may take the other's version instead. File
// times may be coarse (whole seconds), so the file read first is dated back.
TEST(EditorModel, AnotherProgramsSaveIsNoticedButNotOurOwn)
{
    ScratchFolder folder("editor-model-two");
    const std::string path = (folder / "db0.dprepo").u8string();
    profile_test::writeFile(folder / "db0.dprepo", kRepository);
    const std::filesystem::path file = folder / "db0.dprepo";
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::minutes(2));
    EditorModel first(path), second(path);
    std::string error;
    EXPECT_FALSE(second.changedElsewhere());
    ASSERT_TRUE(first.createCopy("Fine", "From first", error));
    ASSERT_TRUE(first.save(error));
    EXPECT_FALSE(first.changedElsewhere()) << "its own save is not another program's";
    ASSERT_TRUE(second.createCopy("Fine", "From second", error));
    EXPECT_TRUE(second.changedElsewhere());
    second.reload();
    EXPECT_FALSE(second.dirty());
    EXPECT_EQ(second.names(), (std::vector<std::string>{"Fine", "From first", "vjt300"}));
    EXPECT_FALSE(second.changedElsewhere());
}
