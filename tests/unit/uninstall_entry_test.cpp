#include "system/uninstall_entry.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace {

using platform::RegistryRoot;

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr RegistryRoot kUser = RegistryRoot::CurrentUser;
const std::string kSystemDir = "C:\\WINDOWS\\system32\\";
const std::string kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aquarium";

struct UninstallEntry : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::FakeRegistry& registry = fakes.registry;

    ResultCode add(const std::string& title = "Aquarium", const std::string& shortName = "Aquarium",
                   const std::string& systemDir = kSystemDir) {
        const ResultCode code = registerUninstallEntry(platform, {}, systemDir, title, shortName);
        EXPECT_EQ(registry.openKeys(), 0) << "every key is closed again";
        return code;
    }
    ResultCode remove(const std::string& title = "Aquarium") {
        const ResultCode code = removeUninstallEntry(platform, title);
        EXPECT_EQ(registry.openKeys(), 0) << "every key is closed again";
        return code;
    }
    void writeEntry(RegistryRoot root, const std::string& key = kKey) {
        registry.setValue(root, key, "DisplayName", "Aquarium Screen Saver");
        registry.setValue(root, key, "UninstallString", kSystemDir + "Aquarium.scr /u");
    }
    void useWindows98() { fakes.system.version = platform::OsVersion{1, 4, 10, " A "}; }
};

// ------------------------------------------------------------ writing

TEST_F(UninstallEntry, WrittenUnderTheMachineRootByFullTitle) {
    EXPECT_EQ(add("Aquarium Screen Saver", "Aqua5405"), result::kOk);
    const std::string key =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aquarium Screen Saver";
    EXPECT_EQ(registry.value(kMachine, key, "DisplayName"), "Aquarium Screen Saver");
    EXPECT_EQ(registry.value(kMachine, key, "UninstallString"),
              "C:\\WINDOWS\\system32\\Aqua5405.scr /u");
    EXPECT_EQ(registry.valueNames(kMachine, key),
              (std::vector<std::string>{"DisplayName", "UninstallString"}));
    EXPECT_EQ(registry.keyCount(kUser), 0u);

    EXPECT_EQ(add("Aquarium", "Aquarium"), result::kOk);
    EXPECT_EQ(registry.value(kMachine, kKey, "DisplayName"), "Aquarium Screen Saver")
        << "the display name gets the resource text";
}

TEST_F(UninstallEntry, TwoTitlesWithOneShortNameGetTwoEntries) {
    EXPECT_EQ(add("Aquarium Deluxe", "Aqua1234"), result::kOk);
    EXPECT_EQ(add("Aquarium Classic", "Aqua1234"), result::kOk);
    const std::string base = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    EXPECT_TRUE(registry.keyExists(kMachine, base + "Aquarium Deluxe"));
    EXPECT_TRUE(registry.keyExists(kMachine, base + "Aquarium Classic"));
}

TEST_F(UninstallEntry, LandsUnderTheUserWhenTheMachineRootRefuses) {
    registry.refuseAccess(kMachine);
    EXPECT_EQ(add(), result::kOk);
    EXPECT_EQ(registry.keyCount(kMachine), 0u);
    EXPECT_EQ(registry.value(kUser, kKey, "UninstallString"),
              "C:\\WINDOWS\\system32\\Aquarium.scr /u");
}

TEST_F(UninstallEntry, AFailedWriteUnderTheMachineRootAlsoFallsBack) {
    registry.failWritingValue("UninstallString", platform::kErrorAccessDenied);
    EXPECT_EQ(add(), result::kUninstallEntryNotWritten)
        << "the value fails under both roots, so the last try fails";
    EXPECT_EQ(registry.value(kUser, kKey, "DisplayName"), "Aquarium Screen Saver")
        << "the user root was tried after the machine root";
}

TEST_F(UninstallEntry, NeitherRootGives2201) {
    registry.refuseAccess(kMachine);
    registry.refuseAccess(kUser);
    EXPECT_EQ(add(), result::kUninstallEntryNotWritten);

    fake::FakePlatform other;
    platform::Platform otherPlatform = other.platform();
    other.registry.refuseAccess(kMachine);
    other.registry.failWritingValue("DisplayName", platform::kErrorAccessDenied);
    EXPECT_EQ(registerUninstallEntry(otherPlatform, {}, kSystemDir, "Aquarium", "Aquarium"),
              result::kUninstallEntryNotWritten);
    EXPECT_EQ(other.registry.value(kUser, kKey, "UninstallString"), std::nullopt)
        << "the second value is not written after the first failed";
}

TEST_F(UninstallEntry, Windows98WritesTheShortPathWhenThereIsOne) {
    useWindows98();
    const std::string systemDir = "C:\\WINDOWS\\SYSTEM\\";
    fakes.files.shortNames["C:\\WINDOWS\\SYSTEM\\AQUARIUM SCREEN SAVER.SCR"] =
        "C:\\WINDOWS\\SYSTEM\\AQUARI~1.SCR";
    EXPECT_EQ(add("aquarium screen saver", "aquarium screen saver", systemDir), result::kOk);
    const std::string key =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\aquarium screen saver";
    EXPECT_EQ(registry.value(kMachine, key, "UninstallString"),
              "C:\\WINDOWS\\SYSTEM\\AQUARI~1.SCR /u");

    // Without a short form the long path is used.
    EXPECT_EQ(add("Sea Life", "Sea Life", systemDir), result::kOk);
    EXPECT_EQ(registry.value(kMachine,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sea Life",
                             "UninstallString"),
              "C:\\WINDOWS\\SYSTEM\\Sea Life.scr /u");

    // NT systems keep the long path even where there is a short one.
    fakes.system.version = platform::OsVersion{2, 5, 1, ""};
    EXPECT_EQ(add("aquarium screen saver", "aquarium screen saver", systemDir), result::kOk);
    EXPECT_EQ(registry.value(kMachine, key, "UninstallString"),
              "C:\\WINDOWS\\SYSTEM\\aquarium screen saver.scr /u");
}

TEST_F(UninstallEntry, TitlesThatCannotNameOneKeyAreRefusedUntouched) {
    for (const std::string& title :
         {std::string(), std::string("\\"), std::string("Sea\\Life"), std::string("Sea Life\\"),
          std::string("\\Sea Life"), std::string("Sea\0Life", 8)}) {
        EXPECT_EQ(add(title, "Sea Life"), result::kUninstallEntryNotWritten) << title;
        EXPECT_EQ(remove(title), result::kOk) << title;
    }
    EXPECT_EQ(registry.keyCount(kMachine), 0u);
    EXPECT_EQ(registry.keyCount(kUser), 0u);

    // The Uninstall key itself keeps its values when the title is empty.
    registry.setValue(kMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                      "DisplayName", "not ours");
    EXPECT_EQ(remove(""), result::kOk);
    EXPECT_EQ(registry.value(kMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                             "DisplayName"),
              "not ours");
}

TEST_F(UninstallEntry, TitlesWithAnyOtherBytesNameOneKey) {
    const std::string titles[] = {"AC/DC: \"Live\" *?<>|", " Sea Life ", "\xC9t\xE9 \xB0\xFF", "..",
                                  std::string(64, 'x'),    "Tab\there"};
    for (const std::string& title : titles) {
        EXPECT_EQ(add(title, "x"), result::kOk) << title;
        const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + title;
        EXPECT_TRUE(registry.keyExists(kMachine, key)) << title;
        EXPECT_EQ(remove(title), result::kOk) << title;
        EXPECT_FALSE(registry.keyExists(kMachine, key)) << title;
    }
    EXPECT_TRUE(
        registry.keyExists(kMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

// ------------------------------------------------------------ removal

TEST_F(UninstallEntry, RemovalDeletesValuesAndKey) {
    ASSERT_EQ(add(), result::kOk);
    EXPECT_EQ(remove(), result::kOk);
    EXPECT_FALSE(registry.keyExists(kMachine, kKey));
    EXPECT_TRUE(
        registry.keyExists(kMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    EXPECT_EQ(remove(), result::kOk) << "a missing entry counts as removed";
}

TEST_F(UninstallEntry, RemovalLeavesTheUserEntryWhenTheMachineRootCannotBeOpened) {
    registry.refuseAccess(kMachine);
    ASSERT_EQ(add(), result::kOk);
    ASSERT_TRUE(registry.keyExists(kUser, kKey));
    EXPECT_EQ(remove(), result::kOk);
    EXPECT_TRUE(registry.keyExists(kUser, kKey));
    EXPECT_EQ(registry.value(kUser, kKey, "DisplayName"), "Aquarium Screen Saver");
}

TEST_F(UninstallEntry, AFailedDeletionGives2202AndSkipsTheRest) {
    writeEntry(kMachine);
    registry.failDeletingValue("DisplayName", platform::kErrorAccessDenied);
    EXPECT_EQ(remove(), result::kUninstallEntryNotRemoved);
    EXPECT_TRUE(registry.value(kMachine, kKey, "UninstallString")) << "not tried";
    EXPECT_TRUE(registry.keyExists(kMachine, kKey));

    fake::FakePlatform other;
    platform::Platform otherPlatform = other.platform();
    other.registry.setValue(kMachine, kKey, "DisplayName", "Aquarium Screen Saver");
    other.registry.setValue(kMachine, kKey, "UninstallString", "x /u");
    other.registry.failDeletingValue("UninstallString", platform::kErrorAccessDenied);
    EXPECT_EQ(removeUninstallEntry(otherPlatform, "Aquarium"), result::kUninstallEntryNotRemoved);
    EXPECT_FALSE(other.registry.value(kMachine, kKey, "DisplayName"));
    EXPECT_TRUE(other.registry.keyExists(kMachine, kKey)) << "the key stays with its value";
}

TEST_F(UninstallEntry, ARegistryLayerThatThrowsGivesTheFailureCodes) {
    registry.throwOnChange(true);
    EXPECT_EQ(add(), result::kUninstallEntryNotWritten);
    writeEntry(kMachine);
    EXPECT_EQ(remove(), result::kUninstallEntryNotRemoved);
    EXPECT_TRUE(registry.keyExists(kMachine, kKey));
}

TEST_F(UninstallEntry, AMissingValueOrAKeyThatStaysGives2202) {
    registry.setValue(kMachine, kKey, "UninstallString", "x /u");
    EXPECT_EQ(remove(), result::kUninstallEntryNotRemoved) << "DisplayName is missing";
    EXPECT_TRUE(registry.keyExists(kMachine, kKey));

    fake::FakePlatform other;
    platform::Platform otherPlatform = other.platform();
    other.registry.setValue(kMachine, kKey, "DisplayName", "Aquarium Screen Saver");
    other.registry.setValue(kMachine, kKey, "UninstallString", "x /u");
    other.registry.addKey(kMachine, kKey + "\\Sub");
    EXPECT_EQ(removeUninstallEntry(otherPlatform, "Aquarium"), result::kUninstallEntryNotRemoved)
        << "a key with a sub-key is not deleted";
    EXPECT_TRUE(other.registry.valueNames(kMachine, kKey).empty());
    EXPECT_TRUE(other.registry.keyExists(kMachine, kKey));
}

TEST_F(UninstallEntry, AFailureUnderTheMachineRootAlsoCleansTheUserRoot) {
    writeEntry(kMachine);
    writeEntry(kUser);
    registry.failDeletingKeys(platform::kErrorAccessDenied);
    EXPECT_EQ(remove(), result::kUninstallEntryNotRemoved)
        << "the machine's entry stays, whatever the user root gives";
    EXPECT_TRUE(registry.valueNames(kUser, kKey).empty());
}

} // namespace

// The clean-up removes the entry where the run wrote it, the user's root
// included when the machine's refused it, and leaves an entry under a root
// the run never wrote to.
TEST(UninstallEntryCleanUp, TheEntryGoesWhereTheRunWroteIt) {
    const struct {
        const char* what;
        bool refuseMachine;
        bool failFirstMachineWrite;
        std::vector<RegistryRoot> written;
    } cases[] = {
        {"machine root", false, false, {kMachine}},
        {"machine refused: user root", true, false, {kUser}},
        {"machine key made, value refused: both", false, true, {kMachine, kUser}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake::FakePlatform fakes;
        platform::Platform platform = fakes.platform();
        fake::FakeRegistry& registry = fakes.registry;
        if (c.refuseMachine)
            registry.refuseAccess(kMachine);
        if (c.failFirstMachineWrite)
            registry.failWritingValue("DisplayName", platform::kErrorAccessDenied);
        // An entry of another user's installation stays untouched.
        const std::string otherKey = kKey + " Other";
        registry.setValue(kUser, otherKey, "DisplayName", "Other");
        std::vector<RegistryRoot> written;
        registerUninstallEntry(platform, {}, kSystemDir, "Aquarium", "Aquarium", &written);
        EXPECT_EQ(written, c.written);
        if (c.failFirstMachineWrite)
            registry.failWritingValue("DisplayName", platform::kErrorNone);

        EXPECT_EQ(removeUninstallEntryUnder(platform, "Aquarium", written), result::kOk);
        EXPECT_FALSE(registry.keyExists(kMachine, kKey));
        EXPECT_FALSE(registry.keyExists(kUser, kKey));
        EXPECT_EQ(registry.value(kUser, otherKey, "DisplayName"), "Other");
        EXPECT_EQ(registry.openKeys(), 0);
    }
}
