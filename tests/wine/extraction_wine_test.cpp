// Packages taken apart by the real Win32 backend under Wine.
#include <gtest/gtest.h>

#include "payload/compression/implode_library.h"
#include "real_installation.h"
#include "sample_packages.h"
#include "wine_test_support.h"

namespace winetest {
namespace {

std::string tag() {
    return std::to_string(GetCurrentProcessId());
}

DataFileContent sampleData() {
    DataFileContent data;
    data.settings.bytes[7] = 0x42;
    data.items.push_back({"movie.swf", 0, true, patternBytes(20000, 'm')});
    data.items.push_back({"pictures\\deep\\a.jpg", 0, true, noiseBytes(3000, 7)});
    data.items.push_back({"stored.txt", 0, false, patternBytes(500, 's')});
    data.items.push_back({"nothing.txt", 0, true, {}});
    return data;
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(Extraction, EveryFileLandsAtItsDestinationWithItsBytes) {
    TempFolder folder("extract");
    const std::string title = "Wine Test Saver " + tag();
    const std::string library = "wtlib" + tag() + ".bin";
    const PackageContent content = samplePackage(title, "WineTest.scr", library, sampleData());
    writeFile(folder.path() + "setup.exe", text(sampleInstaller(content)));

    RealInstallation installation(folder.path() + "setup.exe", kSampleStubSize);
    ASSERT_EQ(installation.prepare(), result::kOk);
    const InstallerContext& context = installation.context;
    const std::string saver = context.package.saverFolder;
    EXPECT_EQ(saver, context.paths.sharedSaverRoot + "Wine" +
                         context.package.saverShortName.substr(4) + "\\");
    EXPECT_EQ(readFile(context.paths.workDir + "impborl.dll"), text(content.entries[1]->bytes));
    ASSERT_EQ(installation.placeFiles(), result::kOk);

    EXPECT_EQ(readFile(context.paths.systemDir + "WineTest.scr"), text(content.entries[6]->bytes));
    EXPECT_EQ(readFile(context.paths.workDir + "helper.txt"), text(content.entries[7]->bytes));
    EXPECT_EQ(readFile(context.paths.workDir + "saver.pkg"), text(content.entries[8]->bytes));
    const std::string libraryDll = context.paths.sharedSaverRoot + "wtlib" + tag() + ".dll";
    EXPECT_EQ(readFile(libraryDll), text(content.entries[9]->bytes));
    EXPECT_EQ(readFile(saver + "notes.txt"), text(content.entries[10]->bytes));
    EXPECT_EQ(readFile(saver + "movie.swf"), text(patternBytes(20000, 'm')));
    EXPECT_EQ(readFile(saver + "pictures\\deep\\a.jpg"), text(noiseBytes(3000, 7)));
    EXPECT_EQ(readFile(saver + "stored.txt"), text(patternBytes(500, 's')));
    EXPECT_FALSE(exists(saver + "nothing.txt"));
    const std::string settings = readFile(saver + "saver.dat");
    ASSERT_EQ(settings.size(), 1240u);
    EXPECT_EQ(settings[7], 0x42);
    EXPECT_NE(GetFileAttributesA((saver + "movie.swf").c_str()) & FILE_ATTRIBUTE_ARCHIVE, 0u);
    DeleteFileA(libraryDll.c_str());
}

TEST(Extraction, DestinationHeldByAnotherProgramIsKept) {
    TempFolder folder("held");
    const PackageContent content = samplePackage("Held Saver " + tag(), "HeldTest.scr",
                                                 "heldlib" + tag() + ".bin", sampleData());
    writeFile(folder.path() + "setup.exe", text(sampleInstaller(content)));
    RealInstallation installation(folder.path() + "setup.exe", kSampleStubSize);
    ASSERT_EQ(installation.prepare(), result::kOk);

    const std::string held = installation.context.paths.workDir + "helper.txt";
    writeFile(held, "older copy");
    NamedEvent ready("vlx_xready_" + tag()), release("vlx_xrelease_" + tag());
    ChildProcess holder(programFolder() + "file_holder.exe",
                        "\"" + held + "\" vlx_xready_" + tag() + " vlx_xrelease_" + tag());
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(ready.wait(20000));
    EXPECT_EQ(installation.placeFiles(), result::kOk);
    release.set();
    EXPECT_EQ(holder.wait(), 0u);
    EXPECT_EQ(readFile(held), "older copy");
    EXPECT_EQ(readFile(installation.context.package.saverFolder + "notes.txt"),
              text(content.entries[10]->bytes))
        << "the entries after it are placed";
    DeleteFileA((installation.context.paths.sharedSaverRoot + "heldlib" + tag() + ".dll").c_str());
}

TEST(Extraction, CompressorLoadsTheLibraryFromAWorkFolder) {
    TempFolder folder("compressor");
    writeFile(folder.path() + "impborl.dll", text(implodeLibraryBytes()));
    const Bytes data = patternBytes(100000, 'z');
    const Bytes stream = implode::implodeBuffer(data, {}).stream;

    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    ExplodeWorkArea workArea{};
    TCompressor compressor(platform, folder.path(), workArea);
    ASSERT_TRUE(compressor.usable());
    EXPECT_EQ(compressor.Expand(folder.path() + "out.bin", stream.data(), stream.size()),
              result::kOk);
    EXPECT_EQ(readFile(folder.path() + "out.bin"), text(data));

    TempFolder empty("nolibrary");
    TCompressor missing(platform, empty.path(), workArea);
    EXPECT_FALSE(missing.usable());
}

TEST(Extraction, LargePackageStaysWithinTwiceItsLargestEntry) {
    TempFolder folder("large");
    DataFileContent data;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "files\\" + std::to_string(i % 10) + "\\f" + std::to_string(i);
        data.items.push_back({name, 0, true,
                              i % 2
                                  ? noiseBytes(52000, static_cast<std::uint32_t>(i))
                                  : patternBytes(52000, static_cast<std::uint8_t>('a' + i % 20))});
    }
    const PackageContent content =
        samplePackage("Large Saver " + tag(), "LargeTest.scr", "largelib" + tag() + ".bin", data);
    const Bytes installer = sampleInstaller(content);
    writeFile(folder.path() + "setup.exe", text(installer));
    std::int64_t largest = 0;
    const HeaderBytes headerBytes = [&] {
        HeaderBytes bytes;
        std::copy_n(installer.begin() + kSampleStubSize, kInstallerHeaderSize, bytes.begin());
        return bytes;
    }();
    for (const PackageEntry& entry : readInstallerHeaderRecord(headerBytes).entries)
        largest = std::max(largest, entry.present() ? entry.storedSize() : 0);

    ChildProcess probe(programFolder() + "extraction_probe.exe",
                       "\"" + folder.path() + "setup.exe\" " + std::to_string(kSampleStubSize) +
                           " \"" + folder.path() + "figures.txt\"");
    ASSERT_TRUE(probe.started());
    EXPECT_EQ(probe.wait(300000), 0u);
    const std::string figures = readFile(folder.path() + "figures.txt");
    std::printf("package %zu bytes, largest stored entry %lld bytes; %s\n", installer.size(),
                static_cast<long long>(largest), figures.c_str());
    long long peakGrowth = -1, files = -1;
    ASSERT_EQ(
        std::sscanf(figures.c_str(), "peak growth %lld bytes, %lld files", &peakGrowth, &files), 2);
    EXPECT_EQ(files, 1000);
    EXPECT_LE(peakGrowth, 2 * largest);
    DeleteFileA((std::string(folder.path()) + "setup.exe").c_str());
}

} // namespace
} // namespace winetest
