// Every call through the seam fails once: a whole installation is run once
// per call number N, with call N failing (an error that fits its kind, or a
// raised exception), in each way the installer is run. Every run must end,
// and either install the saver whole or tell the user; a run that did not
// install leaves nothing behind, and no run writes outside its folders.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "app/installer_form.h"
#include "fakes/fault_injection.h"
#include "fakes/recording_installer_view.h"
#include "package_fixture.h"
#include "system/uninstall_entry.h"

namespace {

using namespace packagetest;
using platform::RegistryRoot;

const std::string kLocal = "C:\\Documents and Settings\\User\\Local Settings\\Application Data\\";
const std::string kWorkRoot = kLocal + "Vellarmont\\Vlx";
const std::string kCommon = "C:\\Documents and Settings\\All Users\\Application Data\\";
const std::string kSaverRoot = kCommon + "Vellarmont\\";
const std::string kSaverFolder = kSaverRoot + "Aqua5405\\";
const std::string kStartup = "C:\\Documents and Settings\\User\\Start Menu\\Programs\\Startup\\";
const std::string kTitle = "Aquarium Screen Saver";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return std::toupper(a) == std::toupper(b); });
}

struct Mode {
    const char* name;
    std::uint8_t installMode;
    std::vector<std::string> arguments;
    Bytes installer; // laid out once
};

PackageContent sweptPackage(std::uint8_t installMode) {
    DataFileContent data;
    data.items.push_back({"fish.swf", 0, true, compressible(3000, 'f')});
    data.items.push_back({"img\\deep\\a.jpg", 0, false, bytesOf("stored picture")});
    PackageContent content = standardPackage(data);
    content.header.installMode = installMode;
    content.header.offerControlPanel = 1;
    if (installMode == installmode::kMovie)
        content.entries[entry::kPreview] = entryOf("preview.swf", 4, bytesOf("not a movie"));
    if (installMode == installmode::kBitmap) {
        content.header.hasLicence = 1;
        content.entries[entry::kLicence] = entryOf("licence.rtf", 4, compressible(300, 'l'));
    }
    return content;
}

// What one run did.
struct Outcome {
    bool ended = false;      // closed, the application ended
    bool completed = false;  // the saver is installed whole and the run said so
    bool told = false;       // an error was shown, or a quiet run exited non-zero
    bool statusTold = false; // the open window's status line shows the failure
    std::vector<std::string> leftOver;
    std::vector<std::string> writtenOutside;
    std::optional<fake::FaultCountdown::Call> failed;
    int calls = 0;
    std::int32_t exitCode = -1;
    std::string workFolder;
    std::uint8_t runMode = 0;
    std::vector<std::string> dialogs;
};

// A 64-bit Windows with the installer on it, a launcher and the player.
class SweptRun {
  public:
    SweptRun(const Mode& mode, fake::FaultCountdown& countdown)
        : mode_(mode), countdown_(countdown) {
        fakes.files.addFolder(kSystem);
        fakes.files.addFolder(kNative);
        fakes.files.addFolder(kLocal);
        fakes.files.addFolder(kCommon);
        fakes.files.addFolder(kStartup);
        fakes.system.setSpecialFolder(7, kStartup);
        fakes.system.environment["SYSTEMROOT"] = "C:\\WINDOWS";
        fakes.system.wow64 = platform::Wow64Answer::Yes;
        fakes.players.install("WIN 10,0,12,36");
        fakes.libraries.addLibrary(
            kWorkRoot + "1\\impborl.dll",
            {{"_implode", reinterpret_cast<platform::ExportedFunction>(&implode::implode)},
             {"_explode", reinterpret_cast<platform::ExportedFunction>(&implode::explode)},
             {"_crc32", reinterpret_cast<platform::ExportedFunction>(&implode::crc32)}});
        fakes.files.addFile(kExe, textOf(mode.installer));
    }

    Outcome run(const PackageContent& content) {
        std::vector<std::string> arguments = mode_.arguments;
        arguments.insert(arguments.begin(), "/l=" + std::to_string(launcher_));
        Outcome outcome;
        try {
            TInstallerForm installer(platform_, view_, arguments, kExe);
            installer.context().packageOffset = kStubSize;
            installer.FormCreate();
            // The user installs from a window that waits ready (a movie
            // whose file cannot be seen is played as it is), and closes it
            // when the installation failed: its status line told why.
            if (!installer.closed()) {
                recording_.events->installBtnClick();
                if (!installer.closed()) {
                    const auto& status = recording_.form->labCopying;
                    outcome.statusTold = status.visible &&
                                         (status.caption.rfind("Install failed. Error: ", 0) == 0 ||
                                          status.caption.rfind("Installation Aborted: ", 0) == 0);
                    recording_.events->cancelBtnClick();
                }
            }
            outcome.ended = installer.closed() && recording_.terminatedWith.has_value();
            outcome.runMode = installer.runMode();
            outcome.workFolder = installer.context().paths.workDir;
        } catch (const fake::RunawayRun&) {
            outcome.ended = false;
        } catch (const fake::WorldMisused&) {
            outcome.ended = false; // it would wait for ever
        } catch (const std::exception&) {
            outcome.ended = false; // nothing may leave the installer's handlers
        }
        outcome.calls = countdown_.count();
        outcome.failed = countdown_.failed;
        judge(content, outcome);
        return outcome;
    }

    fake::FakePlatform fakes;

  private:
    void judge(const PackageContent& content, Outcome& outcome) {
        const std::string engine = kSystem + "Aqua5405.scr";
        const std::string& engineBytes = textOf(content.entries[entry::kEngine]->bytes);
        // Whole: the engine and the saver's files. Two steps are left out on
        // purpose, as their outcome never changes the installation's result:
        // the engine's copy in the native system folder, and the uninstall
        // entry (the saver itself works without either).
        const auto holds = [&](const std::string& path, const std::string& bytes) {
            return fakes.files.fileExists(path) && fakes.files.content(path) == bytes;
        };
        const bool installed = holds(engine, engineBytes) &&
                               holds(kSaverFolder + "fish.swf", textOf(compressible(3000, 'f'))) &&
                               holds(kSaverFolder + "img\\deep\\a.jpg", "stored picture") &&
                               fakes.files.fileExists(kSaverFolder + "more.txt") &&
                               fakes.files.fileExists(kSaverFolder + "saver.dat");
        const auto exitCode = recording_.terminatedWith.value_or(-1);
        outcome.exitCode = exitCode;
        bool errorShown = false;
        for (const auto& dialog : fakes.ui.dialogs) {
            outcome.dialogs.push_back(dialog.text);
            errorShown = errorShown || dialog.kind != platform::DialogKind::Confirmation;
        }
        // A dialog whose showing failed was still the run's attempt to tell.
        if (outcome.failed && outcome.failed->kind == fake::CallKind::Dialog &&
            outcome.failed->what.find("open the screen saver control panel?") == std::string::npos)
            errorShown = true;
        outcome.completed = installed && exitCode == 0;
        outcome.told = errorShown || outcome.statusTold || exitCode != 0;

        const std::string failedPath =
            outcome.failed ? outcome.failed->what.substr(outcome.failed->what.find(' ') + 1) : "";
        // Clean-up deletes each thing once: a delete that itself fails leaves
        // its target (and the folders above it) in place.
        const auto spared = [&](const std::string& path) {
            if (!outcome.failed || !startsWith(failedPath, path))
                return false;
            const std::string& what = outcome.failed->what;
            for (const char* removal :
                 {"deleteFile ", "removeFolder ", "listFolder ", "setAttributes ", "deleteKey "})
                if (what.rfind(removal, 0) == 0)
                    return true;
            return false;
        };
        if (!outcome.completed) {
            for (const std::string& path :
                 {kSaverFolder, engine, kNative + "Aqua5405.scr", outcome.workFolder})
                if (!path.empty() && fakes.files.exists(path) && !spared(path))
                    outcome.leftOver.push_back(path);
            const std::string key = uninstallKeyPath(kTitle);
            for (const auto root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser})
                if (fakes.registry.keyExists(root, key) && !spared(key))
                    outcome.leftOver.push_back("uninstall entry");
        }
        for (const std::string& path : faulty_.changedPaths()) {
            // A work folder that cannot be made is tried under the next number.
            const bool inside = startsWith(path, kWorkRoot) || startsWith(path, kSaverFolder) ||
                                startsWith(path, kSystem) || startsWith(path, kNative) ||
                                // the folders above the two folders, made on the way
                                startsWith(kWorkRoot, path) || startsWith(kSaverFolder, path) ||
                                // the installer's own start-up shortcut, removed at start
                                startsWith(path, kStartup) ||
                                // copying the installer into the work folder gives the
                                // source normal attributes first, as every copy does
                                path == kExe;
            if (!inside)
                outcome.writtenOutside.push_back(path);
        }
    }

    const Mode& mode_;
    fake::FaultCountdown& countdown_;
    fake::FaultyPlatform faulty_{fakes, countdown_};
    platform::Platform platform_ = faulty_.platform();
    fake::RecordingInstallerView recording_{fakes.ui};
    fake::FaultyView view_{recording_, countdown_};
    platform::WindowHandle launcher_ = fakes.messaging.addWindow("Launcher");
};

struct Tally {
    int calls = 0;
    int runs = 0;
    int leftBehind = 0;
    int silent = 0;
    int stuck = 0;
};

// Sweeps call 1, 2, ... until a run makes fewer calls than the one it was
// to fail; every run is judged.
Tally sweep(Mode& mode, bool raise) {
    const PackageContent content = sweptPackage(mode.installMode);
    mode.installer = layOut(content);
    Tally tally;
    for (int n = 1;; ++n) {
        fake::FaultCountdown countdown;
        countdown.failAt = n;
        countdown.raise = raise;
        SweptRun machine(mode, countdown);
        const Outcome outcome = machine.run(content);
        if (outcome.calls < n)
            break;
        ++tally.runs;
        tally.calls = outcome.calls;
        const std::string at = std::string(mode.name) + (raise ? ", raised" : "") + ", call " +
                               std::to_string(n) + ": " + outcome.failed->what;
        if (!outcome.ended) {
            ++tally.stuck;
            ADD_FAILURE() << at << ": the run did not end";
        }
        if (!outcome.completed && !outcome.told) {
            ++tally.silent;
            ADD_FAILURE() << at << ": not installed, and nobody was told";
        }
        if (!outcome.leftOver.empty() || !outcome.writtenOutside.empty()) {
            ++tally.leftBehind;
            ADD_FAILURE() << at << ": left " << ::testing::PrintToString(outcome.leftOver)
                          << ", wrote outside " << ::testing::PrintToString(outcome.writtenOutside);
        }
    }
    return tally;
}

TEST(FaultSweep, EveryFailingCallEndsTheRunToldAndClean) {
    Mode modes[] = {
        {"interactive", installmode::kBitmap, {}, {}},
        {"quiet", installmode::kQuiet, {}, {}},
        {"/q", installmode::kBitmap, {"/q"}, {}},
        {"without preview", installmode::kMovie, {}, {}},
    };
    std::string line = "fault sweep, calls per mode:";
    Tally all;
    for (Mode& mode : modes) {
        for (const bool raise : {false, true}) {
            const Tally tally = sweep(mode, raise);
            if (!raise)
                line += std::string(" ") + mode.name + " " + std::to_string(tally.calls) + ",";
            all.runs += tally.runs;
            all.leftBehind += tally.leftBehind;
            all.silent += tally.silent;
            all.stuck += tally.stuck;
        }
    }
    line += " runs " + std::to_string(all.runs) + " (errors and raised); left something behind " +
            std::to_string(all.leftBehind) + ", ended silently " + std::to_string(all.silent) +
            ", did not end " + std::to_string(all.stuck);
    std::printf("%s\n", line.c_str());
    EXPECT_EQ(all.leftBehind, 0);
    EXPECT_EQ(all.silent, 0);
    EXPECT_EQ(all.stuck, 0);
}

TEST(FaultSweep, ARaisedErrorWhileInstallingCleansUpAndRestoresTheRunMode) {
    const struct {
        const char* what;
        std::uint8_t installMode;
        std::int32_t exitCode;
        std::vector<std::string> dialogs;
    } cases[] = {
        {"quiet", installmode::kQuiet, -421, {}},
        {"interactive",
         installmode::kBitmap,
         0,
         {"Installer file is corrupted. Vellarmont Error: -421. "}},
        {"without preview",
         installmode::kMovie,
         0,
         {"Installer file is corrupted. Vellarmont Error: -421. "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mode mode{c.what, c.installMode, {}, {}};
        const PackageContent content = sweptPackage(c.installMode);
        mode.installer = layOut(content);
        // The first write of a data-file item into the saver folder raises.
        fake::FaultCountdown logged;
        logged.logCalls = true;
        SweptRun(mode, logged).run(content);
        const auto write = std::find_if(logged.calls.begin(), logged.calls.end(), [](auto& call) {
            return call.what.rfind("write " + kSaverFolder, 0) == 0;
        });
        ASSERT_NE(write, logged.calls.end());
        fake::FaultCountdown countdown;
        countdown.failAt = static_cast<int>(write - logged.calls.begin()) + 1;
        countdown.raise = true;
        const Outcome outcome = SweptRun(mode, countdown).run(content);
        EXPECT_TRUE(outcome.ended);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.dialogs, c.dialogs);
        EXPECT_EQ(outcome.runMode, c.installMode);
        EXPECT_EQ(outcome.leftOver, std::vector<std::string>{});
    }
}

} // namespace
