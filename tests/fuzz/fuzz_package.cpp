// Feeds arbitrary bytes to the installer as its own package: the header, the
// entries, the saver data file and its items are read, checked and placed on
// a fake machine. Nothing may crash, hang, write outside the work and saver
// folders, or take a huge amount of memory.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/fake_platform.h"
#include "fakes/recording_view.h"
#include "implode/implode.h"
#include "install_steps.h"
#include "payload/installer_context.h"

namespace {

constexpr std::int64_t kStubSize = 64;
const std::string kWork = "C:\\W\\Vlx1\\";
const std::string kShared = "C:\\P\\Vellarmont\\";
const std::string kSystem = "C:\\S\\";
const std::string kNative = "C:\\N\\";

bool allowedPath(const std::string& key) {
    for (const std::string& root : {kWork, kShared, kSystem, kNative, std::string("C:\\D\\")}) {
        std::string upperRoot = root;
        for (char& c : upperRoot)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        upperRoot.pop_back();
        if (key.rfind(upperRoot, 0) == 0 || upperRoot.rfind(key, 0) == 0)
            return true;
    }
    return key == "C:";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    fake::RecordingView view(fakes.ui);
    InstallReporter reporter(platform, view);
    reporter.runMode = kQuietRunMode;
    InstallerContext context(platform, reporter);
    context.packageOffset = kStubSize;
    context.paths = {"C:\\WINDOWS\\", kSystem, kNative, kShared, "C:\\D\\", kWork};
    context.osClass = (size & 1) ? osclass::kWindows64 : osclass::kWindowsXp;
    for (const std::string& folder : {kWork, kShared, kSystem, kNative})
        fakes.files.addFolder(folder);
    fakes.system.moduleName = "C:\\D\\setup.exe";
    fakes.files.addFile(fakes.system.moduleName,
                        std::string(reinterpret_cast<const char*>(data), size));
    fakes.libraries.addLibrary(
        kWork + "impborl.dll",
        {{"_implode", reinterpret_cast<platform::ExportedFunction>(&implode::implode)},
         {"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)},
         {"_crc32", reinterpret_cast<platform::ExportedFunction>(&implode::crc32)}});

    setPackagePaths(context);
    if (teststeps::readPackageAndPrepareSaverFolder(context) == result::kOk) {
        extractPreview(context);
        teststeps::placeSaverFiles(context);
    }

    for (const std::string& path : fakes.files.allPaths()) {
        if (!allowedPath(path))
            std::abort(); // something was written where no package may write
    }
    return 0;
}
