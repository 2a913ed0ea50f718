// saverpack.exe under Wine: from the same description it writes the installer
// that the Linux build's saverpack writes, byte for byte, with Windows paths
// and non-ASCII names on its command line, and that installer installs the
// saver quietly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file_io.h"
#include "installer_fixture.h"
#include "package_assembly.h"
#include "package_description.h"

namespace winetest {
namespace {

namespace fs = std::filesystem;

// saverpack.exe, the 32-bit installer.exe and impborl.dll beside it, and the
// Linux saverpack's reference.exe (tools/saverpack/host_reference.cmake).
fs::path checkFolder() {
    return (pathFromUtf8(programFolder()) / SAVERPACK_CHECK_FOLDER).lexically_normal();
}

// examples/aquarium of the checkout, reached through Wine's drive Z:.
fs::path exampleFolder() {
    std::string folder = "Z:" EXAMPLE_FOLDER;
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return pathFromUtf8(folder);
}

std::string fileText(const fs::path& file) {
    const Bytes bytes = readWholeFile(file);
    return std::string(bytes.begin(), bytes.end());
}

struct Handle {
    HANDLE handle;
    ~Handle() { CloseHandle(handle); }
};

// A fresh folder below the temporary folder, removed with everything in it
// (names in any script) when the object goes.
struct WorkFolder {
    WorkFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    const fs::path path =
        fs::temp_directory_path() / ("saverpack_" + std::to_string(GetCurrentProcessId()));
};

struct ToolRun {
    DWORD exitCode = ~0u;
    std::string output; // standard output and errors
};

// Runs checkFolder()'s saverpack.exe through the wide API on UTF-8
// arguments (none holds a quote or ends with a backslash).
ToolRun runSaverpack(const WorkFolder& work, const std::vector<std::string>& args) {
    std::wstring line = L"\"" + (checkFolder() / "saverpack.exe").wstring() + L"\"";
    for (const std::string& arg : args)
        line += L" \"" + pathFromUtf8(arg).wstring() + L"\"";
    const fs::path outputFile = work.path / "saverpack.out";
    ToolRun run;
    {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        const Handle output{CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output.handle;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &started)) {
            ADD_FAILURE() << "saverpack.exe did not start: " << GetLastError();
            return run;
        }
        const Handle process{started.hProcess}, thread{started.hThread};
        EXPECT_EQ(WaitForSingleObject(process.handle, scaledWait(60000)), WAIT_OBJECT_0);
        GetExitCodeProcess(process.handle, &run.exitCode);
    }
    run.output = fileText(outputFile);
    return run;
}

// The reference installer; a failure naming what is missing when the build
// could not make it.
Bytes referenceInstaller() {
    const fs::path missing = checkFolder() / "missing.txt";
    if (fs::exists(missing)) {
        ADD_FAILURE() << "no reference installer from the Linux saverpack: " << fileText(missing);
        return {};
    }
    return readWholeFile(checkFolder() / "reference.exe");
}

TEST(SaverpackExe, WritesTheInstallerTheLinuxBuildWrites) {
    const Bytes reference = referenceInstaller();
    ASSERT_FALSE(reference.empty());
    WorkFolder work;
    // A copy of the example below a non-ASCII folder, its description naming
    // files with backslashes.
    const fs::path copy = work.path / u8"Écran de veille ✓";
    fs::copy(exampleFolder(), copy, fs::copy_options::recursive);
    std::string description = fileText(copy / "package.json");
    for (std::size_t at; (at = description.find("files/")) != std::string::npos;)
        description.replace(at, 6, "files\\\\");
    std::ofstream(copy / "package.json", std::ios::binary) << description;
    ASSERT_EQ(utf8Of(work.path).substr(1, 2), ":\\") << "a path with a drive letter";

    const struct {
        const char* what;
        std::string description;
        std::string output;
        std::vector<std::string> options;
    } cases[] = {
        {"the example through drive Z:, installer.exe and impborl.dll beside saverpack.exe",
         utf8Of(exampleFolder() / "package.json"),
         utf8Of(work.path / "Aquarium.exe"),
         {}},
        {"a non-ASCII copy, --stub and --library",
         utf8Of(copy / "package.json"),
         utf8Of(work.path / u8"Économiseur ✓.exe"),
         {"--stub", utf8Of(checkFolder() / "installer.exe"), "--library",
          utf8Of(checkFolder() / "impborl.dll")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"build", c.description, "-o", c.output};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun built = runSaverpack(work, args);
        EXPECT_EQ(built.exitCode, 0u) << built.output;
        const std::string size = c.output + ": " + std::to_string(reference.size()) + " bytes";
        EXPECT_NE(built.output.find(size), std::string::npos) << built.output;
        const Bytes written = readWholeFile(pathFromUtf8(c.output));
        EXPECT_EQ(written.size(), reference.size());
        EXPECT_TRUE(written == reference) << "differs from the Linux saverpack's installer";

        const ToolRun listed = runSaverpack(work, {"list", c.output});
        EXPECT_EQ(listed.exitCode, 0u) << listed.output;
        EXPECT_EQ(listed.output.substr(0, listed.output.find_first_of("\r\n")), c.output);
        const ToolRun verified = runSaverpack(work, {"verify", c.output});
        EXPECT_EQ(verified.exitCode, 0u) << verified.output;
        EXPECT_NE(verified.output.find(c.output + ": verified"), std::string::npos)
            << verified.output;
    }
}

// The example's saver installed by a test, removed again with the stand-in
// player registration.
struct InstalledAquarium {
    InstalledAquarium() { standin::removePlayerRegistration(); }
    ~InstalledAquarium() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallKeyPath(title).c_str());
        DeleteFileA(engine.c_str());
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        standin::removePlayerRegistration();
    }

    const std::string title = "Aquarium";
    const std::string engine = systemFolder() + "Aquarium.scr";
    platform::win32::Win32Platform win32;
    platform::Platform platform = win32.platform();
    const fs::path folder = pathFromUtf8(folderOf(CSIDL_COMMON_APPDATA) + "Vellarmont\\" +
                                         getCodedShortFilenameForScreensaver(platform, title));
};

TEST(SaverpackExe, ItsInstallerInstallsQuietly) {
    ASSERT_FALSE(referenceInstaller().empty());
    WorkFolder work;
    const fs::path description = exampleFolder() / "package.json";
    const fs::path installer = work.path / "Aquarium.exe";
    const ToolRun built =
        runSaverpack(work, {"build", utf8Of(description), "-o", utf8Of(installer)});
    ASSERT_EQ(built.exitCode, 0u) << built.output;
    if (sizeof(void*) != 4) {
        // The 32-bit installer cannot run where only the 64-bit twin runs:
        // the same package goes behind the twin's own installer.exe (and
        // carries the twin's impborl.dll, which that installer loads).
        PackagePlan plan = readPackageDescription(description);
        setImplodeLibrary(plan, pathFromUtf8(programFolder() + "impborl.dll"));
        const Bytes stub = readWholeFile(pathFromUtf8(programFolder() + "installer.exe"));
        PackingOptions options;
        options.imageSize = static_cast<std::int64_t>(stub.size());
        AtomicOutputFile file(installer);
        writeInstaller(plan, stub, options, file);
        file.commit();
    }

    InstalledAquarium saver;
    ASSERT_EQ(standin::registerPlayer(standin::playerPath(standin::PlayerBuild::Default)), 0u);
    ChildProcess run(utf8Of(installer), "/q");
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.wait(scaledWait(90000)), 0u);

    // Every file in place with the bytes it was packed from (saver.dat and
    // the copy the installer makes come from no file of the example).
    const struct {
        const char* placed;
        const char* source;
    } files[] = {
        {"Aquarium.ini", "files\\Aquarium.ini"},
        {"Aquarium.txt", "files\\Aquarium.txt"},
        {"bubbles.wav", "files\\bubbles.wav"},
        {"credits.txt", "files\\credits.txt"},
        {"fish\\angelfish-school.bmp", nullptr},
        {"fish\\angelfish.bmp", "data\\fish\\angelfish.bmp"},
        {"fish\\clownfish.bmp", "data\\fish\\clownfish.bmp"},
        {"plants.txt", "data\\plants.txt"},
        {"saver.dat", nullptr},
        {"scenes\\lagoon.txt", "data\\scenes\\lagoon.txt"},
        {"scenes\\reef.txt", "data\\scenes\\reef.txt"},
    };
    std::vector<std::string> expected;
    for (const auto& file : files) {
        expected.push_back(file.placed);
        if (file.source != nullptr) {
            EXPECT_TRUE(readWholeFile(saver.folder / file.placed) ==
                        readWholeFile(exampleFolder() / file.source))
                << file.placed;
        }
    }
    std::vector<std::string> placed;
    std::error_code error;
    for (fs::recursive_directory_iterator it(saver.folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file())
            placed.push_back(utf8Of(it->path().lexically_relative(saver.folder)));
    }
    std::sort(placed.begin(), placed.end());
    EXPECT_EQ(placed, expected);
    EXPECT_TRUE(fs::exists(pathFromUtf8(saver.engine)) &&
                readWholeFile(pathFromUtf8(saver.engine)) ==
                    readWholeFile(exampleFolder() / "files" / "Aquarium.scr"));
    EXPECT_TRUE(uninstallEntryExists(saver.title));
}

} // namespace
} // namespace winetest
