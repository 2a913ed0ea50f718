#include "system/saver_folder.h"

#include <gtest/gtest.h>

#include "base/texts.h"
#include "fakes/fake_platform.h"

namespace {

using platform::DialogButton;
namespace attr = platform::attr;

const std::string kWindows = "C:\\WINDOWS\\";
const std::string kRoot = "C:\\ProgramData\\Vellarmont\\";

struct SaverFolder : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::FakeFileSystem& files = fakes.files;

    SaverFolder() {
        files.addFolder("C:\\WINDOWS\\system32");
        files.addFolder("C:\\ProgramData");
    }
    ResultCode prepare(const std::string& shortName = "Aqua5405", bool ask = true) {
        return prepareSaverFolder(platform, kWindows, kRoot, shortName, "Aquarium Screen Saver",
                                  text::kSaverAlreadyExists.text, ask);
    }
    void addOlderSaverInRoot() {
        files.addFile(kRoot + "Aqua5405.scr", "old engine");
        files.addFile(kRoot + "Aqua5405\\saver.dat", "old settings");
        files.addFile(kRoot + "Aqua5405\\media\\a.jpg", "old picture");
    }
};

// A fresh machine for one row of a table.
struct OneMachine final : SaverFolder {
    void TestBody() override {}
};

TEST_F(SaverFolder, NoOlderSaverMakesBothFoldersWithoutAsking) {
    EXPECT_EQ(prepare(), result::kOk);
    EXPECT_TRUE(fakes.ui.dialogs.empty());
    EXPECT_TRUE(files.folderExists(kRoot));
    EXPECT_TRUE(files.folderExists(kRoot + "Aqua5405\\"));
    EXPECT_EQ(prepare(), result::kOk) << "folders that exist are fine";
}

TEST_F(SaverFolder, OkReplacesTheOlderSaverInTheRoot) {
    addOlderSaverInRoot();
    files.addFile(kRoot + "Other\\keep.dat");
    EXPECT_EQ(prepare(), result::kOk);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].kind, platform::DialogKind::Confirmation);
    EXPECT_EQ(fakes.ui.dialogs[0].text,
              "Aquarium Screen Saver screen saver already exists. Overwrite?");
    EXPECT_EQ(fakes.ui.dialogs[0].buttons, (std::vector{DialogButton::Ok, DialogButton::Cancel}));
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405.scr"));
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405\\saver.dat"));
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405\\media"));
    EXPECT_TRUE(files.folderExists(kRoot + "Aqua5405\\")) << "made again, empty";
    EXPECT_TRUE(files.exists(kRoot + "Other\\keep.dat"));
}

TEST_F(SaverFolder, AnEngineOrAFolderAloneIsAnOlderSaver) {
    files.addFile(kRoot + "Aqua5405.scr", "", platform::attr::kReadOnly);
    EXPECT_EQ(prepare(), result::kOk);
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405.scr")) << "read-only, deleted all the same";

    files.addFile(kRoot + "Aqua5405\\x.dat");
    EXPECT_EQ(prepare(), result::kOk);
    EXPECT_EQ(fakes.ui.dialogs.size(), 2u);
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405\\x.dat"));
}

TEST_F(SaverFolder, OkRemovesAnOlderEngineInTheWindowsFolder) {
    files.addFile(kWindows + "Aqua5405.scr", "old engine");
    EXPECT_EQ(prepare(), result::kOk);
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_FALSE(files.exists(kWindows + "Aqua5405.scr"));
    EXPECT_TRUE(files.folderExists(kRoot + "Aqua5405\\"));
}

TEST_F(SaverFolder, AFolderOfWindowsNamedLikeTheSaverIsNeverTouched) {
    files.addFile(kWindows + "Fonts\\arial.ttf", "font");
    files.addFile(kWindows + "Media\\ding.wav", "sound");
    files.addFile(kWindows + "Media.scr", "an old engine");
    EXPECT_EQ(prepare("Fonts"), result::kOk);
    EXPECT_TRUE(fakes.ui.dialogs.empty()) << "a folder alone is no saver there";
    EXPECT_TRUE(files.exists(kWindows + "Fonts\\arial.ttf"));

    EXPECT_EQ(prepare("Media"), result::kOk);
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_FALSE(files.exists(kWindows + "Media.scr"));
    EXPECT_TRUE(files.exists(kWindows + "Media\\ding.wav"));
}

TEST_F(SaverFolder, AWindowsFolderIsAnOlderSaverOnlyWithItsSettingsFile) {
    struct Case {
        const char* name;
        std::uint32_t attributes;
        const char* settingsFile; // below the folder
        bool engine;              // name + ".scr" beside it
        bool removed;
    };
    const Case cases[] = {
        {"Old1", 0, "saver.dat", false, true},
        {"Old2", 0, "saver.dat", true, true},
        {"Old3", 0, "pics\\saver.dat", true, false},
        {"Fonts", attr::kSystem, "saver.dat", true, false},
        {"Help", attr::kReadOnly, "saver.dat", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = kWindows + c.name + "\\";
        files.addFolder(folder, c.attributes);
        files.addFile(folder + c.settingsFile, "settings");
        files.addFile(folder + "pics\\a.jpg", "picture");
        if (c.engine)
            files.addFile(kWindows + c.name + ".scr", "old engine");
        fakes.ui.dialogs.clear();
        EXPECT_EQ(prepare(c.name), result::kOk);
        EXPECT_EQ(fakes.ui.dialogs.size(), c.removed || c.engine ? 1u : 0u);
        EXPECT_FALSE(files.exists(kWindows + c.name + ".scr"));
        EXPECT_EQ(files.exists(folder + "pics\\a.jpg"), !c.removed);
        EXPECT_EQ(files.exists(folder), !c.removed);
    }
}

TEST_F(SaverFolder, CancelGives454AndTouchesNothing) {
    addOlderSaverInRoot();
    files.addFile(kWindows + "Aqua5405.scr", "old engine");
    const std::vector<std::string> before = files.allPaths();
    for (DialogButton answer : {DialogButton::Cancel, DialogButton::No, DialogButton::Abort}) {
        fakes.ui.answers.push_back(answer);
        EXPECT_EQ(prepare(), result::kUserAbort);
        EXPECT_EQ(files.allPaths(), before);
    }
    EXPECT_EQ(files.content(kRoot + "Aqua5405\\saver.dat"), "old settings");
}

TEST_F(SaverFolder, QuietModeReplacesWithoutAsking) {
    addOlderSaverInRoot();
    files.addFile(kWindows + "Aqua5405.scr");
    fakes.ui.answers.push_back(DialogButton::Cancel);
    EXPECT_EQ(prepare("Aqua5405", false), result::kOk);
    EXPECT_TRUE(fakes.ui.dialogs.empty());
    EXPECT_FALSE(files.exists(kWindows + "Aqua5405.scr"));
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405.scr"));
    EXPECT_FALSE(files.exists(kRoot + "Aqua5405\\saver.dat"));
}

// Whatever of the older saver cannot be set aside ends the preparation with
// everything where it was: nothing set aside stays, nothing is made.
TEST(SaverFolderBusy, ABusyPartLeavesTheOlderSaverWhereItWas) {
    const std::string kSystemEngine = "C:\\WINDOWS\\system32\\Aqua5405.scr";
    const struct {
        const char* what;
        std::string held;
        ResultCode code;
        std::string refused; // a folder is named for the file in it
    } cases[] = {
        {"engine in the root", kRoot + "Aqua5405.scr", result::kSaverBusy, kRoot + "Aqua5405.scr"},
        {"settings file", kRoot + "Aqua5405\\saver.dat", result::kFileBusy, kRoot + "Aqua5405\\"},
        {"engine in the Windows folder", kWindows + "Aqua5405.scr", result::kSaverBusy,
         kWindows + "Aqua5405.scr"},
        {"engine in the system folder", kSystemEngine, result::kSaverBusy, kSystemEngine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OneMachine test;
        test.addOlderSaverInRoot();
        test.files.addFile(kWindows + "Aqua5405.scr", "old engine");
        test.files.addFile(kSystemEngine, "old system engine");
        const std::vector<std::string> before = test.files.allPaths();
        test.files.holdOpen(c.held);
        EarlierSaver earlier(test.platform);
        EXPECT_EQ(prepareSaverFolder(test.platform, kWindows, kRoot, "Aqua5405", "Aquarium", "",
                                     false, earlier, {kSystemEngine}),
                  c.code);
        EXPECT_EQ(earlier.refusedPath(), c.refused);
        EXPECT_TRUE(earlier.empty());
        EXPECT_EQ(test.files.allPaths(), before);
        EXPECT_EQ(test.files.content(kRoot + "Aqua5405\\media\\a.jpg"), "old picture");
        EXPECT_TRUE(test.fakes.ui.dialogs.empty());
    }
}

TEST_F(SaverFolder, FailedCreationsGiveTheirWindowsError) {
    // The root's parent is missing: only one level is made.
    EXPECT_EQ(prepareSaverFolder(platform, kWindows, "C:\\Missing\\Vellarmont\\", "Aqua5405",
                                 "Aquarium", text::kSaverAlreadyExists.text, true),
              static_cast<ResultCode>(platform::kErrorPathNotFound));
    EXPECT_FALSE(files.exists("C:\\Missing"));

    // A file in the way answers 183, which counts as a made folder.
    files.addFile(kRoot + "Aqua5405", "in the way");
    EXPECT_EQ(prepare(), result::kOk);
    EXPECT_EQ(files.content(kRoot + "Aqua5405"), "in the way");
    files.deleteFile(kRoot + "Aqua5405");

    // The root is there but refuses the saver's folder.
    files.addFolder(kRoot);
    files.denyAccess(kRoot);
    EXPECT_EQ(prepare(), result::kAccessDenied);
}

TEST_F(SaverFolder, ShortNamesThatCannotNameAFolderAreRefusedUntouched) {
    addOlderSaverInRoot();
    files.addFile(kWindows + "system32\\kernel32.dll");
    files.addFile(kWindows + ".scr");
    const std::vector<std::string> before = files.allPaths();
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string(". ."), std::string("  "),
          std::string("..\\.."), std::string("a\\b"), std::string("a/b"), std::string("C:"),
          std::string("Aqua*"), std::string("Aqua?"), std::string("a\tb"), std::string("a|b")}) {
        EXPECT_EQ(prepare(name, false), result::kUnusableSaverName) << name;
        EXPECT_EQ(prepare(name, true), result::kUnusableSaverName) << name;
    }
    EXPECT_TRUE(fakes.ui.dialogs.empty());
    EXPECT_EQ(files.allPaths(), before);
}

} // namespace
