#include "package_fixture.h"

#include "payload/data_file.h"
#include "payload/file_extraction.h"

namespace packagetest {
namespace {

struct Extraction : PackageFixture {
    PackageContent content;

    // Installs `content` up to the saver paths; fails the test otherwise.
    void prepare() { ASSERT_EQ(install(layOut(content)), result::kOk); }
    ResultCode mainEntries() {
        return extractMainEntries(context, context.package.packageCopyPath);
    }
    // The whole file-placing part of an installation.
    ResultCode placeEverything() { return teststeps::placeSaverFiles(context); }
};

DataFileContent sampleData() {
    DataFileContent data;
    data.settings.bytes[0] = 0x5A;
    data.settings.bytes[1239] = 0xA5;
    data.items.push_back({"fish.swf", 0, true, compressible(5000, 'f')});
    data.items.push_back({"img\\deep\\a.jpg", 0, true, compressible(4000, 'j')});
    data.items.push_back({"empty.txt", 0, true, {}});
    data.items.push_back({"stored.bin", 0, false, bytesOf("stored as it is")});
    data.items.push_back({"", 0, true, bytesOf("a skipped record")});
    return data;
}

// ------------------------------------------------------------ the main entries

TEST_F(Extraction, EveryEntryLandsAtItsDestination) {
    content = standardPackage(sampleData());
    prepare();
    ASSERT_EQ(placeEverything(), result::kOk);
    EXPECT_EQ(fileText(kSystem + "Aqua5405.scr"), textOf(content.entries[6]->bytes));
    EXPECT_EQ(fileText(kWork + "helper.txt"), textOf(content.entries[7]->bytes));
    EXPECT_EQ(fileText(kWork + "aquarium.dat"), textOf(content.entries[8]->bytes));
    EXPECT_EQ(fileText(saverFolder() + "extra.txt"), textOf(content.entries[9]->bytes));
    EXPECT_EQ(fileText(saverFolder() + "more.txt"), textOf(content.entries[10]->bytes));
    EXPECT_FALSE(fakes.files.exists(kNative + "Aqua5405.scr")) << "32-bit Windows";
    EXPECT_EQ(fileText(saverFolder() + "fish.swf"), textOf(compressible(5000, 'f')));
    EXPECT_EQ(fileText(saverFolder() + "img\\deep\\a.jpg"), textOf(compressible(4000, 'j')));
    EXPECT_EQ(fileText(saverFolder() + "stored.bin"), "stored as it is");
    EXPECT_FALSE(fakes.files.exists(saverFolder() + "empty.txt")) << "size 0 creates nothing";
    const std::string settings = fileText(saverFolder() + "saver.dat");
    ASSERT_EQ(settings.size(), 1240u);
    EXPECT_EQ(static_cast<std::uint8_t>(settings[0]), 0x5A);
    EXPECT_EQ(static_cast<std::uint8_t>(settings[1239]), 0xA5);
    EXPECT_EQ(context.installedFiles.count, 3u);
    EXPECT_EQ(context.installedFiles.paths[1], saverFolder() + "fish.swf");
    EXPECT_TRUE(fakes.ui.dialogs.empty());
    EXPECT_FALSE(context.package.dataFileOpen);
    EXPECT_EQ(fakes.libraries.loadedNow, 0) << "every library released";
    // One progress step per entry and one for the data files.
    EXPECT_EQ(view.progress, 6);
    EXPECT_EQ(view.statusTexts.front(), "Writing screen saver files...");
    EXPECT_EQ(view.statusTexts.back(), "Writing saver data file...");
}

TEST_F(Extraction, EngineIsCopiedToTheNativeSystemFolderOn64Bit) {
    content = standardPackage({});
    prepare();
    context.osClass = osclass::kWindows64;
    ASSERT_EQ(mainEntries(), result::kOk);
    EXPECT_EQ(fileText(kNative + "Aqua5405.scr"), fileText(kSystem + "Aqua5405.scr"));

    // Without SystemRoot the native folder is unknown: no copy is built on it.
    fakes.files.deleteFile(kNative + "Aqua5405.scr");
    context.paths.nativeSystemDir.clear();
    ASSERT_EQ(mainEntries(), result::kOk);
    EXPECT_TRUE(fakes.files.exists(kSystem + "Aqua5405.scr"));
    EXPECT_FALSE(fakes.files.exists(kNative + "Aqua5405.scr"));
}

TEST_F(Extraction, LibraryEntryNamesAndKinds) {
    content = standardPackage({});
    content.entries[7] = entryOf("impborl.dat", 7, bytesOf("kind seven"), false);
    content.entries[9] = entryOf("saver1.bin", 3, bytesOf("a library"), false);
    content.entries[10] = entryOf("install_flash_player_active_x.exe", 3, bytesOf("flash"), false);
    prepare();
    EXPECT_EQ(fileText(kWork + "impborl.dll"), "MZ library stand-in") << "kind 4";
    ASSERT_EQ(mainEntries(), result::kOk);
    EXPECT_EQ(fileText(kWork + "impborl.dat"), "kind seven");
    EXPECT_EQ(fileText(kShared + "saver1.dll"), "a library");
    EXPECT_EQ(fileText(kWork + "install_flash_player_active_x.exe"), "flash");
}

TEST_F(Extraction, LibraryDestinationsRetryAndOnlyAHeldOneIsReported) {
    content = standardPackage({});
    content.entries[9] = entryOf("saver1.bin", 3, compressible(3000, 'l'));
    prepare();
    fakes.files.addFile(kShared + "saver1.dll", "old library");
    fakes.files.holdOpen(kShared + "saver1.dll");
    EXPECT_EQ(mainEntries(), result::kFileBusy) << "a held destination ends the extraction";
    EXPECT_EQ(fakes.files.deleteAttempts(kShared + "saver1.dll"), 2000);
    EXPECT_EQ(fileText(kShared + "saver1.dll"), "old library");
    EXPECT_EQ(dialogTexts(),
              std::vector<std::string>{"Installation Error:  File is busy and cannot be replaced. "
                                       "Please close any other application that may be using this "
                                       "file and try again.\r\n\r\nFile: " +
                                       kShared + "saver1.dll"});

    // A failing library entry returns its code without a dialog.
    fakes.files.release(kShared + "saver1.dll");
    context.package.header.entries[9].expandedSize += 10;
    fakes.ui.dialogs.clear();
    EXPECT_EQ(mainEntries(), result::kExpandedSizeWrong);
    EXPECT_TRUE(fakes.ui.dialogs.empty());
}

TEST_F(Extraction, OlderDestinationsReadOnlyOrHeld) {
    content = standardPackage({});
    prepare();
    fakes.files.addFile(kSystem + "Aqua5405.scr", "old engine", platform::attr::kReadOnly);
    fakes.files.addFile(saverFolder() + "extra.txt", "kept");
    fakes.files.holdOpen(saverFolder() + "extra.txt");
    EXPECT_EQ(mainEntries(), result::kFileBusy);
    EXPECT_EQ(fileText(kSystem + "Aqua5405.scr"), textOf(content.entries[6]->bytes))
        << "a read-only file is replaced";
    EXPECT_EQ(fileText(saverFolder() + "extra.txt"), "kept");
    EXPECT_FALSE(fakes.files.exists(saverFolder() + "more.txt"))
        << "a held file ends the extraction, never skipped";
    EXPECT_EQ(fakes.ui.dialogs.size(), 1u);
}

TEST_F(Extraction, ShortExpansionIsASizeError) {
    content = standardPackage({});
    prepare();
    context.package.header.entries[6].expandedSize += 10;
    EXPECT_EQ(mainEntries(), result::kExpandedSizeWrong);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text, installErrorMessage(-13, kSystem + "Aqua5405.scr", ""));
    EXPECT_FALSE(fakes.files.exists(kWork + "helper.txt")) << "the loop stopped";
}

TEST_F(Extraction, LongExpansionIsCutAndRefused) {
    content = standardPackage({});
    prepare();
    context.package.header.entries[6].expandedSize = 100; // the stream holds 20000 bytes
    EXPECT_EQ(mainEntries(), result::kExpandedSizeWrong);
    EXPECT_EQ(fileText(kSystem + "Aqua5405.scr").size(), 101u) << "writing stopped early";
}

TEST_F(Extraction, StoredBytesPastTheEndOrNone) {
    content = standardPackage({});
    prepare();
    PackageEntry& engine = context.package.header.entries[6];
    const PackageEntry saved = engine;
    engine.lastByte = engine.firstByte - 1;
    EXPECT_EQ(mainEntries(), result::kNoStoredBytes);

    engine = saved;
    engine.compressed = 0;
    engine.lastByte = engine.firstByte + 100000000; // far beyond the file
    EXPECT_EQ(mainEntries(), result::kShortRead);
    engine.firstByte = -5;
    EXPECT_EQ(mainEntries(), result::kShortRead);
    engine = saved;
    engine.lastByte = 0x7FFFFFFF;
    engine.firstByte = 0;
    EXPECT_EQ(mainEntries(), result::kShortRead) << "refused before allocating 2 GB";
}

TEST_F(Extraction, UncompressedBytesRunningPastTheEnd) {
    content = standardPackage({});
    content.entries[10] = entryOf("more.txt", 10, bytesOf("the last entry"), false);
    Bytes installer = layOut(content);
    installer.resize(installer.size() - 3); // the file ends inside entry 10
    ASSERT_EQ(install(installer), result::kOk);
    EXPECT_EQ(mainEntries(), result::kShortRead);
    EXPECT_EQ(fakes.ui.dialogs.back().text,
              installErrorMessage(-30, saverFolder() + "more.txt", ""));
}

TEST_F(Extraction, DocumentIsExtractedTwiceWhenCarried) {
    content = standardPackage({});
    content.header.hasDocument = 1;
    content.entries[5] = entryOf("readme.txt", 4, bytesOf("read me"), false);
    prepare();
    ASSERT_EQ(extractDocument(context), result::kOk);
    EXPECT_EQ(fileText(kWork + "readme.txt"), "read me");
    fakes.files.addFile(kWork + "readme.txt", "changed meanwhile");
    ASSERT_EQ(mainEntries(), result::kOk);
    EXPECT_EQ(fileText(kWork + "readme.txt"), "read me");
    EXPECT_EQ(view.progress, 6) << "entries 5 to 10";
}

TEST_F(Extraction, MainExtractionStartsAtSixWithoutDocument) {
    content = standardPackage({});
    content.entries[5] = entryOf("readme.txt", 4, bytesOf("read me"), false);
    prepare();
    ASSERT_EQ(mainEntries(), result::kOk);
    EXPECT_FALSE(fakes.files.exists(kWork + "readme.txt"));
    EXPECT_EQ(view.progress, 5);
}

TEST_F(Extraction, CancelWhileEntrySevenIsPlacedStopsBeforeEight) {
    content = standardPackage({});
    prepare();
    reporter.flags.installRunning = true;
    fakes.ui.duringPause(2, [&] { reporter.flags.installCancelled = true; });
    EXPECT_EQ(mainEntries(), result::kOk) << "a cancellation is no error";
    EXPECT_TRUE(fakes.files.exists(kWork + "helper.txt")) << "entry 7 is finished";
    EXPECT_FALSE(fakes.files.exists(kWork + "aquarium.dat")) << "entry 8 is not started";
}

TEST_F(Extraction, AbsentEntryInTheInstallationRange) {
    content = standardPackage({});
    content.entries[9].reset();
    prepare();
    EXPECT_EQ(mainEntries(), result::kEntryAbsent);
    EXPECT_EQ(fakes.ui.dialogs.back().text, "Installation Error: \r\n\r\nProblem with file . ");
}

TEST_F(Extraction, CompressedEntryWithoutAUsableLibrary) {
    content = standardPackage({});
    prepare();
    // Held since its writing: let go here only to take it away.
    EXPECT_EQ(fakes.files.deleteFile(kWork + "impborl.dll"), platform::kErrorSharingViolation);
    context.heldLibrary.reset();
    EXPECT_EQ(fakes.files.deleteFile(kWork + "impborl.dll"), platform::kErrorNone);
    EXPECT_EQ(mainEntries(), result::kNoDecompressor);
    EXPECT_TRUE(fakes.libraries.loadAttempts.empty()) << "no system search without the file";

    fakes.files.addFile(kWork + "impborl.dll", "x");
    fakes.libraries.addLibrary(
        kWork + "impborl.dll",
        {{"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)}});
    EXPECT_EQ(mainEntries(), result::kNoDecompressor) << "_implode and _crc32 are missing";
    EXPECT_EQ(fakes.libraries.loadedNow, 0);
}

TEST_F(Extraction, MissingPackageCopy) {
    content = standardPackage({});
    prepare();
    fakes.files.deleteFile(context.package.packageCopyPath);
    EXPECT_EQ(mainEntries(), static_cast<ResultCode>(platform::kErrorFileNotFound));
    EXPECT_EQ(fakes.ui.dialogs.back().text,
              installErrorMessage(2, context.package.packageCopyPath, ""));
    fakes.ui.dialogs.clear();
    EXPECT_EQ(extractPreview(context), static_cast<ResultCode>(platform::kErrorFileNotFound));
    EXPECT_EQ(fakes.ui.dialogs.back().text, installErrorMessage(2, kWork, ""));
}

TEST_F(Extraction, PreviewIsRenamedByInstallMode) {
    content = standardPackage({});
    prepare();
    ASSERT_EQ(extractPreview(context), result::kOk);
    EXPECT_EQ(context.package.header.entries[3].name, "preview.BMP");
    EXPECT_EQ(fileText(kWork + "preview.BMP"), textOf(content.entries[3]->bytes));

    content.header.installMode = installmode::kJpeg;
    content.entries[3]->name = "preview.bmp";
    prepare();
    ASSERT_EQ(extractPreview(context), result::kOk);
    EXPECT_EQ(context.package.header.entries[3].name, "preview.jpg");

    content.header.installMode = installmode::kMovie;
    content.entries[3]->name = "movie";
    prepare();
    ASSERT_EQ(extractPreview(context), result::kOk);
    EXPECT_EQ(context.package.header.entries[3].name, "movie");

    content.header.installMode = installmode::kBitmap;
    content.entries[3]->name = std::string(254, 'n');
    prepare();
    extractPreview(context);
    EXPECT_EQ(context.package.header.entries[3].name, std::string(254, 'n') + ".")
        << "cut to 255 characters";

    content.entries[3].reset();
    prepare();
    fakes.files.deleteFile(context.package.packageCopyPath);
    EXPECT_EQ(extractPreview(context), result::kEntryAbsent) << "nothing opened";
    EXPECT_EQ(extractLicence(context), result::kEntryAbsent);
}

TEST_F(Extraction, CompanionFilesAndTheDocument) {
    content = standardPackage({});
    content.header.hasLicence = 1;
    content.header.hasDocument = 1;
    content.entries[4] = entryOf("licence.rtf", 4, bytesOf("{\\rtf1 licence}"), false);
    content.entries[5] = entryOf("readme.txt", 4, bytesOf("read me"), false);
    prepare();
    ASSERT_EQ(extractLicence(context), result::kOk);
    ASSERT_EQ(mainEntries(), result::kOk);
    ASSERT_EQ(copyCompanionFiles(context), result::kOk);
    EXPECT_EQ(fileText(saverFolder() + "licence.rtf"), "{\\rtf1 licence}");
    EXPECT_EQ(fileText(saverFolder() + "readme.txt"), "read me");
    openDocument(context);
    EXPECT_EQ(fakes.shell.openedDocuments, std::vector<std::string>{saverFolder() + "readme.txt"});

    // Quiet: the licence was not shown, so it is not copied.
    fakes.files.deleteFile(saverFolder() + "licence.rtf");
    reporter.runMode = kQuietRunMode;
    ASSERT_EQ(copyCompanionFiles(context), result::kOk);
    EXPECT_FALSE(fakes.files.exists(saverFolder() + "licence.rtf"));

    // A missing document source is -16; a failed copy gives its Windows code.
    reporter.runMode = 0;
    fakes.files.deleteFile(kWork + "readme.txt");
    EXPECT_EQ(copyCompanionFiles(context), result::kExpandedFileMissing);
    fakes.files.addFile(kWork + "readme.txt", "read me");
    fakes.files.holdOpen(saverFolder() + "readme.txt");
    EXPECT_EQ(copyCompanionFiles(context),
              static_cast<ResultCode>(platform::kErrorSharingViolation));
    fakes.files.release(saverFolder() + "readme.txt");
    fakes.files.deleteFile(kWork + "licence.rtf");
    EXPECT_EQ(copyCompanionFiles(context), result::kExpandedFileMissing)
        << "licence source missing";
}

TEST_F(Extraction, SettingsFileThatCannotBeWritten) {
    content = standardPackage({});
    prepare();
    fakes.files.denyAccess(saverFolder());
    EXPECT_EQ(writeSaverSettings(context), result::kAccessDenied);
    EXPECT_EQ(fakes.ui.dialogs.back().text,
              installErrorMessage(5, saverFolder() + "saver.dat", ""));
}

// ------------------------------------------------------------ hostile entries

TEST_F(Extraction, UnsafeEntryNamesAreRefusedAndNothingIsWritten) {
    for (const char* name : {"..\\evil.scr", "a/b.scr", "C:evil.scr", "..", "CON", "lpt1.txt",
                             "evil.scr ", "a*b", "x\ty"}) {
        content = standardPackage({});
        content.entries[6] = entryOf(name, 2, bytesOf("evil"), false);
        prepare();
        const auto before = fakes.files.allPaths();
        fakes.ui.dialogs.clear();
        EXPECT_EQ(mainEntries(), result::kUnsafeEntryName) << name;
        EXPECT_EQ(fakes.files.allPaths(), before) << name;
        ASSERT_EQ(fakes.ui.dialogs.size(), 1u) << name;
        EXPECT_EQ(fakes.ui.dialogs[0].text, installErrorMessage(-540, name, "")) << name;
    }
}

TEST_F(Extraction, KindsWithoutDestination) {
    for (std::int32_t kind : {0, 8, 9, 11, -1, 0x7FFFFFFF}) {
        content = standardPackage({});
        content.entries[7]->kind = kind;
        prepare();
        fakes.ui.dialogs.clear();
        EXPECT_EQ(mainEntries(), result::kEntryKindUnknown) << kind;
        EXPECT_EQ(fakes.ui.dialogs.size(), 1u) << kind;
    }
}

// ------------------------------------------------------------ the saver data file

TEST_F(Extraction, SaverKindThreeCopiesTheMovie) {
    DataFileContent data;
    data.settings.setSaverKind(kSaverKindCopiesMovie);
    data.items.push_back({"movie.swf", 0, true, bytesOf("not used: record 1 is a copy")});
    data.items.push_back({"copy\\again.swf", kTableKindCopy, true, {}});
    content = standardPackage(data);
    prepare();
    fakes.files.addFile(kWork + "installer.swf", "the movie");
    ASSERT_EQ(placeEverything(), result::kOk);
    EXPECT_EQ(fileText(saverFolder() + "movie.swf"), "the movie");
    EXPECT_EQ(fileText(saverFolder() + "copy\\again.swf"), "the movie");
    EXPECT_TRUE(fakes.files.attributesOf(saverFolder() + "movie.swf") & platform::attr::kArchive);
}

TEST_F(Extraction, FailedCopyOfTheMovie) {
    DataFileContent data;
    data.settings.setSaverKind(kSaverKindCopiesMovie);
    data.items.push_back({"movie.swf", 0, true, {}});
    content = standardPackage(data);
    prepare();
    ASSERT_EQ(mainEntries(), result::kOk);
    ASSERT_EQ(readSettingsRecord(context), result::kOk);
    EXPECT_EQ(expandDataFiles(context), result::kDataFileCopyFailed);
    EXPECT_EQ(fakes.ui.dialogs.back().text, installErrorMessage(-532, kWork + "installer.swf", ""));
    EXPECT_FALSE(context.package.dataFileOpen) << "closed, so the work folder can go";
}

TEST_F(Extraction, UnsafeDataFileNamesAreRefusedBeforeAnythingIsWritten) {
    for (const char* name : {"..\\..\\evil.dll", "\\abs.txt", "C:\\x.txt", "a\\..\\..\\b",
                             "img\\..", "d:rel", "sub\\\\double", "aux\\x"}) {
        DataFileContent data;
        data.items.push_back({"good.txt", 0, true, bytesOf("fine")});
        data.items.push_back({name, 0, false, bytesOf("evil")});
        content = standardPackage(data);
        prepare();
        ASSERT_EQ(mainEntries(), result::kOk);
        ASSERT_EQ(readSettingsRecord(context), result::kOk);
        fakes.ui.dialogs.clear();
        EXPECT_EQ(expandDataFiles(context), result::kUnsafeDataFileName) << name;
        EXPECT_FALSE(fakes.files.exists(saverFolder() + "good.txt")) << name;
        EXPECT_EQ(fakes.ui.dialogs.size(), 1u) << name;
    }
}

TEST_F(Extraction, DataFileCountsAndItems) {
    content = standardPackage(sampleData());
    prepare();
    ASSERT_EQ(mainEntries(), result::kOk);
    bool loaded = false;
    EXPECT_EQ(extractDataItem(context, saverFolder(), 1), result::kItemIndexTooHigh)
        << "no settings read yet: the file count is 0";
    ASSERT_EQ(readSettingsRecord(context), result::kOk);
    EXPECT_EQ(extractDataItem(context, saverFolder(), 1), result::kDataFileNotOpen);
    ASSERT_EQ(openDataFile(context, context.package.dataFilePath, true, loaded), result::kOk);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(extractDataItem(context, saverFolder(), 6), result::kItemIndexTooHigh);
    EXPECT_EQ(extractDataItem(context, saverFolder(), 0), result::kItemIndexTooHigh);

    loaded = false;
    EXPECT_EQ(openDataFile(context, context.package.dataFilePath, true, loaded), result::kOk);
    EXPECT_TRUE(loaded);
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].kind, platform::DialogKind::Information);
    EXPECT_EQ(fakes.ui.dialogs[0].text, "Vellarmont Error: Screensaver data file already in use.");
    EXPECT_EQ(closeDataFile(context), result::kOk);
    EXPECT_EQ(closeDataFile(context), result::kOk);
}

TEST_F(Extraction, TheLargestTableIsPlacedToItsLastItem) {
    DataFileContent data;
    for (int i = 1; i <= kMaxDataFiles; ++i)
        data.items.push_back({"f" + std::to_string(i), 0, false, bytesOf(std::to_string(i))});
    content = standardPackage(data);
    prepare();
    ASSERT_EQ(placeEverything(), result::kOk);
    EXPECT_EQ(context.package.settings.fileCount(), 1010);
    EXPECT_EQ(fileText(saverFolder() + "f1"), "1");
    EXPECT_EQ(fileText(saverFolder() + "f1010"), "1010");
    EXPECT_EQ(context.installedFiles.count, 1010u);
}

// Rewrites the extracted data file in the work folder.
struct DataFileFaults : Extraction {
    void SetUp() override {
        content = standardPackage(sampleData());
        prepare();
        ASSERT_EQ(mainEntries(), result::kOk);
    }
    std::string dataFile() { return fileText(context.package.dataFilePath); }
    void replaceDataFile(const std::string& bytes) {
        fakes.files.addFile(context.package.dataFilePath, bytes);
    }
    ResultCode expand() {
        bool loaded = false;
        const ResultCode code = openDataFile(context, context.package.dataFilePath, true, loaded);
        return code != result::kOk ? code : expandDataFiles(context);
    }
};

TEST_F(DataFileFaults, ShortSettingsRecord) {
    replaceDataFile(dataFile().substr(0, 1239));
    EXPECT_EQ(readSettingsRecord(context), result::kReadPastEnd);
    EXPECT_EQ(fakes.ui.dialogs.back().text,
              installErrorMessage(100, context.package.dataFilePath, ""));
}

TEST_F(DataFileFaults, FileCountsOutOfRange) {
    for (std::int32_t count : {1011, -1, 0x7FFFFFFF}) {
        std::string bytes = dataFile();
        writeInt32(reinterpret_cast<std::uint8_t*>(bytes.data()) + 212, count);
        replaceDataFile(bytes);
        fakes.ui.dialogs.clear();
        EXPECT_EQ(expandDataFiles(context), result::kTooManyDataFiles) << count;
        EXPECT_EQ(fakes.ui.dialogs.back().text,
                  "Problem opening screen saver data file.\r\n\r\nFile: " +
                      context.package.dataFilePath + "\r\n\r\n-543");
        EXPECT_FALSE(context.package.dataFileOpen);
    }
}

TEST_F(DataFileFaults, ClosingReleasesTheFile) {
    const std::string path = context.package.dataFilePath;
    bool loaded = false;
    ASSERT_EQ(openDataFile(context, path, true, loaded), result::kOk);
    EXPECT_EQ(fakes.files.deleteFile(path), platform::kErrorSharingViolation) << "still open";
    ASSERT_EQ(closeDataFile(context), result::kOk);
    EXPECT_FALSE(context.package.dataFileOpen);
    EXPECT_EQ(fakes.files.deleteFile(path), platform::kErrorNone);
}

TEST_F(DataFileFaults, AFailingCloseIsShownAndReturned) {
    fakes.files.failClosing(context.package.dataFilePath, platform::kErrorInvalidHandle);
    fakes.system.errorTexts[6] = "The handle is invalid.";
    EXPECT_EQ(expandDataFiles(context), static_cast<ResultCode>(platform::kErrorInvalidHandle));
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].kind, platform::DialogKind::Error);
    EXPECT_EQ(fakes.ui.dialogs[0].text,
              "Problem closing file.\r\n\r\nFile: \r\nThe handle is invalid.");
    EXPECT_EQ(fakes.ui.dialogs[0].buttons,
              std::vector<platform::DialogButton>{platform::DialogButton::Abort});
    EXPECT_FALSE(context.package.dataFileOpen);
    EXPECT_EQ(fileText(saverFolder() + "stored.bin"), "stored as it is") << "the items came first";
}

TEST_F(DataFileFaults, TableRunningPastTheEnd) {
    replaceDataFile(dataFile().substr(0, 1240 + 264 * 2 + 10));
    EXPECT_EQ(expandDataFiles(context), result::kReadPastEnd);
    EXPECT_FALSE(context.package.dataFileOpen);
}

TEST_F(DataFileFaults, ZeroFilesPlaceNothing) {
    std::string bytes = dataFile().substr(0, 1240);
    writeInt32(reinterpret_cast<std::uint8_t*>(bytes.data()) + 212, 0);
    replaceDataFile(bytes);
    EXPECT_EQ(expandDataFiles(context), result::kOk);
    EXPECT_EQ(context.installedFiles.count, 0u);
    EXPECT_FALSE(fakes.files.exists(saverFolder() + "fish.swf"));
}

TEST_F(DataFileFaults, ItemOffsetsOutsideTheFile) {
    for (std::int32_t offset : {-1, 0x7FFFFFF0, 100000}) {
        std::string bytes = dataFile();
        writeInt32(reinterpret_cast<std::uint8_t*>(bytes.data()) + 1240 + 260, offset);
        replaceDataFile(bytes);
        fakes.ui.dialogs.clear();
        EXPECT_EQ(expandDataFiles(context), result::kReadPastEnd) << offset;
        EXPECT_EQ(fakes.ui.dialogs.back().text.rfind("Vellarmont Error: Problem reading screen "
                                                     "saver data file. ",
                                                     0),
                  0u);
    }
}

TEST_F(DataFileFaults, ItemSizesThatCannotBeRight) {
    const std::string original = dataFile();
    const std::int32_t itemAt =
        readInt32(reinterpret_cast<const std::uint8_t*>(original.data()) + 1240 + 260);
    auto withItem = [&](std::int32_t size, std::int32_t stored) {
        std::string bytes = original;
        auto* item = reinterpret_cast<std::uint8_t*>(bytes.data()) + itemAt;
        writeInt32(item + 8, size);
        writeInt32(item + 12, stored);
        replaceDataFile(bytes);
        return expandDataFiles(context);
    };
    EXPECT_EQ(withItem(5000, 0), result::kNoStoredBytes);
    EXPECT_EQ(withItem(5000, -4), result::kNoStoredBytes);
    EXPECT_EQ(withItem(5000, 0x7FFFFFFF), result::kReadPastEnd) << "refused before allocating";
    EXPECT_EQ(withItem(-1, 40), result::kExpandedSizeWrong);
    EXPECT_EQ(withItem(4990, readInt32(reinterpret_cast<const std::uint8_t*>(original.data()) +
                                       itemAt + 12)),
              result::kExpandedSizeWrong);
    EXPECT_FALSE(fakes.files.exists(saverFolder() + "fish.swf")) << "a partial file is removed";
}

} // namespace
} // namespace packagetest
