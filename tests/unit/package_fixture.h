// A fake machine with an installer on it, for the package reading and
// extraction tests: folders set up as the installer's paths, our implode
// library registered as "impborl.dll" in the work folder, and packages laid
// out by the packaging tool's builder behind a small stub.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fakes/fake_platform.h"
#include "fakes/recording_view.h"
#include "implode/implode.h"
#include "install_steps.h"
#include "package_builder.h"
#include "payload/entry_destinations.h"
#include "payload/installer_context.h"
#include "payload/package_reading.h"

namespace packagetest {

constexpr std::int64_t kStubSize = 512;
const std::string kExe = "C:\\Downloads\\setup.exe";
const std::string kWork = "C:\\Local\\Vellarmont\\Vlx1\\";
const std::string kSystem = "C:\\WINDOWS\\system32\\";
const std::string kNative = "C:\\WINDOWS\\Sysnative\\";
const std::string kShared = "C:\\ProgramData\\Vellarmont\\";

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
inline std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Repetitive text of a given size: compresses well.
inline Bytes compressible(std::size_t size, char seed = 'a') {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + (i / 7 + i % 13) % 20);
    return out;
}

inline EntryContent entryOf(std::string name, std::int32_t kind, Bytes bytes,
                            bool compress = true) {
    return EntryContent{std::move(name), kind, compress, std::move(bytes)};
}

// A package with every entry the installation needs: library, preview,
// engine, further files, and a data file with the given items.
inline PackageContent standardPackage(const DataFileContent& data,
                                      const CompressionChoice& choice = {}) {
    PackageContent content;
    content.header.installMode = installmode::kBitmap;
    content.header.saverTitle = "Aquarium Screen Saver";
    content.entries[1] = entryOf("impborl.dat", 4, bytesOf("MZ library stand-in"), false);
    content.entries[3] = entryOf("preview.bmp", 4, compressible(3000, 'p'));
    content.entries[6] = entryOf("Aqua5405.scr", 2, compressible(20000, 'e'));
    content.entries[7] = entryOf("helper.txt", 7, compressible(500, 'h'));
    content.entries[8] = entryOf("aquarium.dat", 4, buildDataFile(data, choice));
    content.entries[9] = entryOf("extra.txt", 1, compressible(700, 'x'));
    content.entries[10] = entryOf("more.txt", 10, compressible(900, 'm'));
    return content;
}

inline Bytes stub() {
    Bytes bytes(kStubSize / 2, 'S');
    return bytes; // padded by the builder
}

inline Bytes layOut(const PackageContent& content, const CompressionChoice& choice = {}) {
    return buildInstaller(stub(), kStubSize, content, choice);
}

struct PackageFixture : ::testing::Test {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::RecordingView view{fakes.ui};
    InstallReporter reporter{platform, view};
    InstallerContext context{platform, reporter};

    PackageFixture() {
        context.packageOffset = kStubSize;
        context.paths.windowsDir = "C:\\WINDOWS\\";
        context.paths.systemDir = kSystem;
        context.paths.nativeSystemDir = kNative;
        context.paths.sharedSaverRoot = kShared;
        context.paths.exeDir = "C:\\Downloads\\";
        context.paths.workDir = kWork;
        context.osClass = osclass::kWindowsXp;
        fakes.files.addFolder(kWork);
        fakes.files.addFolder(kSystem);
        fakes.files.addFolder(kNative);
        fakes.files.addFolder(kShared);
        fakes.system.moduleName = kExe;
        registerLibrary();
    }

    // Our implode library answers for "impborl.dll" in the work folder.
    void registerLibrary() {
        fakes.libraries.addLibrary(
            kWork + "impborl.dll",
            {{"_implode", reinterpret_cast<platform::ExportedFunction>(&implode::implode)},
             {"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)},
             {"_crc32", reinterpret_cast<platform::ExportedFunction>(&implode::crc32)}});
    }

    // Puts the installer on the machine and reads it as the installer does,
    // up to the saver paths.
    ResultCode install(const Bytes& installer) {
        fakes.files.addFile(kExe, textOf(installer));
        setPackagePaths(context);
        return teststeps::readPackageAndPrepareSaverFolder(context);
    }

    std::string saverFolder() const { return kShared + "Aqua5405\\"; }
    std::string fileText(const std::string& path) const { return fakes.files.content(path); }
    std::vector<std::string> dialogTexts() const {
        std::vector<std::string> texts;
        for (const auto& dialog : fakes.ui.dialogs)
            texts.push_back(dialog.text);
        return texts;
    }
};

} // namespace packagetest
