#include "payload/compression/implode_library.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "implode/implode.h"

namespace {

const std::string kFolder = "C:\\Work\\";

struct ImplodeLibrary : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    ExplodeWorkArea workArea{};

    fake::FakeLibraryLoader::Exports allExports() {
        return {{"_implode", reinterpret_cast<platform::ExportedFunction>(&implode::implode)},
                {"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)},
                {"_crc32", reinterpret_cast<platform::ExportedFunction>(&implode::crc32)}};
    }
    void putLibrary(fake::FakeLibraryLoader::Exports exports) {
        fakes.files.addFile(kFolder + "impborl.dll", "MZ");
        fakes.libraries.addLibrary(kFolder + "impborl.dll", std::move(exports));
    }
};

TEST_F(ImplodeLibrary, ExpandsAStreamIntoAFile) {
    putLibrary(allExports());
    // Longer than the pieces the output is written in, and different in each.
    std::string text = "Hello, Hello, Hello! ";
    for (std::uint32_t i = 0; text.size() < 600000; i = i * 1103515245 + 12345)
        text += static_cast<char>('a' + (i >> 16) % 7);
    const auto stream = implode::implodeBuffer(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), {});
    {
        TCompressor compressor(platform, kFolder, workArea);
        ASSERT_TRUE(compressor.usable());
        EXPECT_EQ(fakes.libraries.loadedNow, 1);
        EXPECT_EQ(
            compressor.Expand(kFolder + "out.txt", stream.stream.data(), stream.stream.size()),
            result::kOk);
        // The limit cuts the output: a later size check refuses the file.
        EXPECT_EQ(
            compressor.Expand(kFolder + "cut.txt", stream.stream.data(), stream.stream.size(), 10),
            result::kOk);
        EXPECT_EQ(compressor.Expand(kFolder + "cut2.txt", stream.stream.data(),
                                    stream.stream.size(), 300001),
                  result::kOk);
    }
    EXPECT_EQ(fakes.libraries.loadedNow, 0) << "released with the object";
    EXPECT_EQ(fakes.files.content(kFolder + "out.txt"), text);
    EXPECT_EQ(fakes.files.content(kFolder + "cut.txt"), text.substr(0, 10));
    EXPECT_EQ(fakes.files.content(kFolder + "cut2.txt"), text.substr(0, 300001));
}

TEST_F(ImplodeLibrary, UsableOnlyWithTheFileAndAllThreeExports) {
    {
        TCompressor missingFile(platform, kFolder, workArea);
        EXPECT_FALSE(missingFile.usable());
        EXPECT_TRUE(fakes.libraries.loadAttempts.empty()) << "no search beyond the folder";
    }
    auto exports = allExports();
    exports.erase("_crc32");
    putLibrary(exports);
    {
        TCompressor noCrc(platform, kFolder, workArea);
        EXPECT_FALSE(noCrc.usable());
    }
    EXPECT_EQ(fakes.libraries.loadedNow, 0) << "an unusable library is released at once";

    fakes.libraries.failLoading(kFolder + "impborl.dll", 193);
    TCompressor broken(platform, kFolder, workArea);
    EXPECT_FALSE(broken.usable());
}

TEST_F(ImplodeLibrary, EmptyFolderIsNotUsableAndSearchesNothing) {
    fakes.libraries.addLibrary("impborl.dll", allExports());
    TCompressor compressor(platform, "", workArea);
    EXPECT_FALSE(compressor.usable());
    EXPECT_EQ(fakes.libraries.loadAttempts, std::vector<std::string>{});
}

TEST_F(ImplodeLibrary, TargetThatCannotBeCreated) {
    putLibrary(allExports());
    fakes.system.errorTexts[3] = "The path cannot be found";
    TCompressor compressor(platform, kFolder, workArea);
    const std::uint8_t stream[] = {0, 6, 1, 0xFF};
    EXPECT_EQ(compressor.Expand("C:\\missing\\out.txt", stream, sizeof stream),
              static_cast<ResultCode>(platform::kErrorPathNotFound));
    ASSERT_EQ(fakes.ui.dialogs.size(), 1u);
    EXPECT_EQ(fakes.ui.dialogs[0].text, "Zip Error: Problem expanding data in memory. \r\n\r\n"
                                        "The path cannot be found");
    EXPECT_EQ(fakes.ui.dialogs[0].buttons,
              std::vector<platform::DialogButton>{platform::DialogButton::Abort});
}

} // namespace
