#include "package_fixture.h"

#include "payload/file_extraction.h"
#include "system/path_names.h"

namespace packagetest {
namespace {

using Reading = PackageFixture;

TEST_F(Reading, CopiesReadsTheHeaderAndExtractsTheLibrary) {
    DataFileContent data;
    ASSERT_EQ(install(layOut(standardPackage(data))), result::kOk);
    EXPECT_EQ(context.package.executablePath, kExe);
    EXPECT_EQ(context.package.packageCopyPath, kWork + "temp.dat");
    EXPECT_EQ(fileText(kWork + "temp.dat"), fileText(kExe));
    EXPECT_EQ(fileText(kWork + "impborl.dll"), "MZ library stand-in");
    EXPECT_EQ(context.package.saverTitle, "Aquarium Screen Saver");
    EXPECT_EQ(context.package.saverShortName, "Aqua5405");
    EXPECT_EQ(context.package.saverFolder, saverFolder());
    EXPECT_EQ(context.package.dataFilePath, kWork + "aquarium.dat");
    EXPECT_TRUE(fakes.ui.dialogs.empty());
    EXPECT_FALSE(fakes.files.exists(kWork + "Aqua5405.scr")) << "only entry 1 so far";
}

TEST_F(Reading, NothingAppendedIsAHeaderTooShort) {
    EXPECT_EQ(install(stub()), result::kHeaderTooShort);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text, "Installation Error: " + kWork +
                                            "temp.dat\r\n\r\nProblem with file " + kWork +
                                            "temp.dat. ");

    // One byte short of a header is still too short.
    Bytes cut = layOut(standardPackage({}));
    cut.resize(kStubSize + kInstallerHeaderSize - 1);
    fakes.ui.dialogs.clear();
    EXPECT_EQ(install(cut), result::kHeaderTooShort);
}

TEST_F(Reading, AbsentFirstEntry) {
    PackageContent content = standardPackage({});
    content.entries[1].reset();
    EXPECT_EQ(install(layOut(content)), result::kEntryAbsent);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text, "Installation Error: \r\n\r\nProblem with file . ");
}

TEST_F(Reading, HeldOldCopyFailsAfterAHundredAttempts) {
    fakes.files.addFile(kWork + "temp.dat", "old copy");
    fakes.files.holdOpen(kWork + "temp.dat");
    EXPECT_EQ(install(layOut(standardPackage({}))), result::kFileBusy);
    EXPECT_EQ(fakes.files.deleteAttempts(kWork + "temp.dat"), 200) << "100 tries, 2 deletes each";
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text,
              installErrorMessage(result::kCopyPackageFailed, kWork + "temp.dat", ""));
    EXPECT_EQ(fileText(kWork + "temp.dat"), "old copy");
}

TEST_F(Reading, CopyFailureReturnsTheWindowsCode) {
    fakes.files.denyAccess("C:\\Local\\Vellarmont\\Vlx1");
    EXPECT_EQ(install(layOut(standardPackage({}))), result::kAccessDenied);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_NE(fakes.ui.dialogs[0].text.find("Please retry installation."), std::string::npos);
}

TEST_F(Reading, TitlesTakeUpToSixtyFourBytes) {
    PackageContent content = standardPackage({});
    content.header.saverTitle = std::string(64, 'z');
    ASSERT_EQ(install(layOut(content)), result::kOk);
    EXPECT_EQ(context.package.saverTitle, std::string(64, 'z'));
    EXPECT_EQ(context.package.saverShortName, std::string(64, 'z')) << "lower case: not coded";
}

TEST_F(Reading, TitlesThatCannotNameAFolderAreRefused) {
    for (const char* title : {"..", "a\\b", "x:y", "CON", "", "..\\..\\WINDOWS"}) {
        PackageContent content = standardPackage({});
        content.header.saverTitle = title;
        fakes.ui.dialogs.clear();
        EXPECT_EQ(install(layOut(content)), result::kUnsafeSaverTitle) << title;
        EXPECT_EQ(fakes.ui.dialogs.size(), 1u) << title;
        EXPECT_TRUE(context.package.saverFolder.empty()) << title;
    }
}

TEST_F(Reading, NothingIsBuiltOnAFolderThatIsNotKnown) {
    // No common application data: the saver folder is refused where it is named.
    context.paths.sharedSaverRoot.clear();
    EXPECT_EQ(install(layOut(standardPackage({}))), result::kSystemFolderUnknown);
    EXPECT_TRUE(context.package.saverFolder.empty());
    EXPECT_EQ(prepareSaverFolder(platform, context.paths.windowsDir, "", "Aqua5405", "Aquarium", "",
                                 false),
              result::kSystemFolderUnknown);

    // Entry 1 comes before the saver folder is known, so kind 1 has nowhere
    // to go yet, and kind 3 goes to the missing common folder.
    for (const std::int32_t kind : {1, 3}) {
        PackageContent content = standardPackage({});
        content.entries[1] = entryOf("first.bin", kind, bytesOf("MZ"), false);
        EXPECT_EQ(install(layOut(content)), result::kEntryKindUnknown) << kind;
    }
}

TEST_F(Reading, EntriesInAnyOrderBehindTheHeader) {
    // Lay the stored bytes out in reverse order, with a gap before each.
    const PackageContent content = standardPackage({});
    const Bytes normal = layOut(content);
    InstallerHeader header =
        readInstallerHeaderRecord(std::span<const std::uint8_t, kInstallerHeaderSize>(
            normal.data() + kStubSize, kInstallerHeaderSize));
    Bytes shuffled(normal.begin(), normal.begin() + kStubSize + kInstallerHeaderSize);
    for (std::size_t index = kPackageEntryCount; index-- > 0;) {
        PackageEntry& entry = header.entries[index];
        if (!entry.present())
            continue;
        const Bytes stored(normal.begin() + entry.firstByte, normal.begin() + entry.lastByte + 1);
        shuffled.insert(shuffled.end(), 17, 0xEE);
        entry.firstByte = static_cast<std::int32_t>(shuffled.size());
        entry.lastByte = entry.firstByte + static_cast<std::int32_t>(stored.size()) - 1;
        shuffled.insert(shuffled.end(), stored.begin(), stored.end());
    }
    const HeaderBytes headerBytes = writeInstallerHeaderRecord(header);
    std::copy(headerBytes.begin(), headerBytes.end(), shuffled.begin() + kStubSize);

    ASSERT_EQ(install(shuffled), result::kOk);
    ASSERT_EQ(extractMainEntries(context, context.package.packageCopyPath), result::kOk);
    EXPECT_EQ(fileText(kSystem + "Aqua5405.scr"), textOf(content.entries[6]->bytes));
    EXPECT_EQ(fileText(saverFolder() + "more.txt"), textOf(content.entries[10]->bytes));
}

} // namespace
} // namespace packagetest
