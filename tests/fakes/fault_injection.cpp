#include "fakes/fault_injection.h"

#include <array>

namespace fake {

using platform::WinError;

bool FaultCountdown::fails(CallKind kind, std::string_view operation, std::string_view subject) {
    ++count_;
    if (count_ > limit)
        throw RunawayRun{};
    // The second failing call fails again whenever it is repeated.
    const auto whatOf = [&] {
        std::string what(operation);
        if (!subject.empty())
            what += " " + std::string(subject);
        return what;
    };
    const bool repeated = failedAgain && count_ > failAgainAt && failedAgain->what == whatOf();
    const bool failing =
        count_ == failAt || (failAgainAt != 0 && count_ == failAgainAt) || repeated;
    if (logCalls || failing) {
        Call call{kind, whatOf()};
        if (count_ == failAt)
            failed = call;
        else if (failing && !repeated)
            failedAgain = call;
        if (logCalls)
            calls.push_back(std::move(call));
    }
    if (!failing)
        return false;
    if (raise)
        throw InjectedFault();
    return true;
}

WinError FaultCountdown::fileError() const {
    constexpr std::array<WinError, 4> errors{platform::kErrorAccessDenied,
                                             platform::kErrorSharingViolation, 112,
                                             platform::kErrorFileNotFound};
    return errors[static_cast<std::size_t>(count_) % errors.size()];
}

namespace {

class FaultyFile final : public platform::File {
  public:
    FaultyFile(std::unique_ptr<platform::File> inner, FaultCountdown& countdown, std::string path)
        : inner_(std::move(inner)), countdown_(countdown), path_(std::move(path)) {}

    WinError read(void* buffer, std::uint32_t size, std::uint32_t& read) override {
        if (countdown_.fails(CallKind::File, "read", path_)) {
            read = 0;
            return countdown_.fileError();
        }
        return inner_->read(buffer, size, read);
    }
    WinError write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
        if (countdown_.fails(CallKind::File, "write", path_)) {
            written = 0;
            return countdown_.fileError();
        }
        return inner_->write(buffer, size, written);
    }
    WinError seek(std::int64_t offset, platform::SeekOrigin origin,
                  std::uint64_t& position) override {
        if (countdown_.fails(CallKind::File, "seek", path_))
            return countdown_.fileError();
        return inner_->seek(offset, origin, position);
    }
    WinError size(std::uint64_t& size) override {
        if (countdown_.fails(CallKind::File, "size", path_))
            return countdown_.fileError();
        return inner_->size(size);
    }
    WinError close() override {
        // The handle goes whatever the answer.
        const bool failing = countdown_.fails(CallKind::File, "close", path_);
        const WinError error = inner_->close();
        return failing ? countdown_.fileError() : error;
    }

  private:
    std::unique_ptr<platform::File> inner_;
    FaultCountdown& countdown_;
    std::string path_;
};

class FaultyFileSystem final : public platform::FileSystem {
  public:
    FaultyFileSystem(platform::FileSystem& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}

    std::vector<std::string> changed;

    std::optional<std::uint32_t> attributes(const std::string& path) override {
        if (countdown_.fails(CallKind::File, "attributes", path))
            return std::nullopt;
        return inner_.attributes(path);
    }
    WinError setAttributes(const std::string& path, std::uint32_t attributes) override {
        changed.push_back(path);
        if (countdown_.fails(CallKind::File, "setAttributes", path))
            return countdown_.fileError();
        return inner_.setAttributes(path, attributes);
    }
    WinError deleteFile(const std::string& path) override {
        changed.push_back(path);
        if (countdown_.fails(CallKind::File, "deleteFile", path))
            return countdown_.fileError();
        return inner_.deleteFile(path);
    }
    WinError createFolder(const std::string& path) override {
        changed.push_back(path);
        if (countdown_.fails(CallKind::File, "createFolder", path))
            return countdown_.fileError();
        return inner_.createFolder(path);
    }
    WinError removeFolder(const std::string& path) override {
        changed.push_back(path);
        if (countdown_.fails(CallKind::File, "removeFolder", path))
            return countdown_.fileError();
        return inner_.removeFolder(path);
    }
    WinError copyFile(const std::string& source, const std::string& target,
                      bool failIfExists) override {
        changed.push_back(target);
        if (countdown_.fails(CallKind::File, "copyFile", target))
            return countdown_.fileError();
        return inner_.copyFile(source, target, failIfExists);
    }
    WinError moveFile(const std::string& source, const std::string& target) override {
        changed.push_back(source);
        changed.push_back(target);
        if (countdown_.fails(CallKind::File, "moveFile", source))
            return countdown_.fileError();
        return inner_.moveFile(source, target);
    }
    WinError deleteAtRestart(const std::string& path) override {
        if (countdown_.fails(CallKind::File, "deleteAtRestart", path))
            return countdown_.fileError();
        return inner_.deleteAtRestart(path);
    }
    std::vector<platform::FolderEntry> listFolder(const std::string& pattern) override {
        if (countdown_.fails(CallKind::File, "listFolder", pattern))
            return {};
        return inner_.listFolder(pattern);
    }
    std::unique_ptr<platform::File> openFile(const std::string& path, platform::OpenMode mode,
                                             WinError& error) override {
        if (mode != platform::OpenMode::ReadExisting)
            changed.push_back(path);
        if (countdown_.fails(CallKind::File, "openFile", path)) {
            error = countdown_.fileError();
            return nullptr;
        }
        auto file = inner_.openFile(path, mode, error);
        if (!file)
            return nullptr;
        return std::make_unique<FaultyFile>(std::move(file), countdown_, path);
    }
    std::string shortPathName(const std::string& path) override {
        if (countdown_.fails(CallKind::File, "shortPathName", path))
            return {};
        return inner_.shortPathName(path);
    }
    std::unique_ptr<platform::HeldPath>
    createHeldFolder(const std::string& path,
                     const std::optional<platform::FolderSecurity>& security,
                     WinError& error) override {
        changed.push_back(path);
        if (countdown_.fails(CallKind::File, "createHeldFolder", path)) {
            error = countdown_.fileError();
            return nullptr;
        }
        return inner_.createHeldFolder(path, security, error);
    }
    std::unique_ptr<platform::HeldPath> holdFile(const std::string& path,
                                                 WinError& error) override {
        if (countdown_.fails(CallKind::File, "holdFile", path)) {
            error = countdown_.fileError();
            return nullptr;
        }
        return inner_.holdFile(path, error);
    }

  private:
    platform::FileSystem& inner_;
    FaultCountdown& countdown_;
};

// The system's queries; the pure text functions cannot fail and are not counted.
class FaultySystemInfo final : public platform::SystemInfo {
  public:
    FaultySystemInfo(platform::SystemInfo& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}

    std::optional<std::string> environmentVariable(const std::string& name) override {
        if (countdown_.fails(CallKind::System, "environmentVariable", name))
            return std::nullopt;
        return inner_.environmentVariable(name);
    }
    std::string systemDirectory() override {
        if (countdown_.fails(CallKind::System, "systemDirectory"))
            return {};
        return inner_.systemDirectory();
    }
    std::optional<platform::OsVersion> versionInfo() override {
        if (countdown_.fails(CallKind::System, "versionInfo"))
            return std::nullopt;
        return inner_.versionInfo();
    }
    platform::Wow64Answer queryWow64() override {
        if (countdown_.fails(CallKind::System, "queryWow64"))
            return platform::Wow64Answer::CallFailed;
        return inner_.queryWow64();
    }
    std::string moduleFileName() override {
        if (countdown_.fails(CallKind::System, "moduleFileName"))
            return {};
        return inner_.moduleFileName();
    }
    platform::SpecialFolderLookup specialFolderLocation(int csidl) override {
        if (countdown_.fails(CallKind::System, "specialFolderLocation", std::to_string(csidl)))
            return {};
        return inner_.specialFolderLocation(csidl);
    }
    std::optional<std::string> folderPath(int csidl) override {
        if (countdown_.fails(CallKind::System, "folderPath", std::to_string(csidl)))
            return std::nullopt;
        return inner_.folderPath(csidl);
    }
    std::string lowerCase(std::string_view text) override { return inner_.lowerCase(text); }
    int compareText(std::string_view a, std::string_view b) override {
        return inner_.compareText(a, b);
    }
    std::string errorMessageText(std::int32_t code) override {
        if (countdown_.fails(CallKind::System, "errorMessageText"))
            return {};
        return inner_.errorMessageText(code);
    }
    platform::FileVersionLookup fileVersion(const std::string& path) override {
        if (countdown_.fails(CallKind::System, "fileVersion", path))
            return {platform::VersionResource::Unreadable, {}};
        return inner_.fileVersion(path);
    }
    std::optional<std::string> loadString(unsigned id) override {
        if (countdown_.fails(CallKind::System, "loadString", std::to_string(id)))
            return std::nullopt;
        return inner_.loadString(id);
    }
    // A token that cannot be read counts as elevated, as the real query has it.
    bool runsElevated() override {
        if (countdown_.fails(CallKind::System, "runsElevated"))
            return true;
        return inner_.runsElevated();
    }

  private:
    platform::SystemInfo& inner_;
    FaultCountdown& countdown_;
};

class FaultyUserInterface final : public platform::UserInterface {
  public:
    FaultyUserInterface(platform::UserInterface& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}

    // A dialog that cannot be made answers its last button, as the system's
    // dialog call does when it fails.
    platform::DialogButton
    messageDialog(platform::DialogKind kind, const std::string& text,
                  const std::vector<platform::DialogButton>& buttons) override {
        if (countdown_.fails(CallKind::Dialog, "messageDialog", text))
            return buttons.empty() ? platform::DialogButton::Ok : buttons.back();
        return inner_.messageDialog(kind, text, buttons);
    }
    void messageBox(const std::string& text) override {
        if (!countdown_.fails(CallKind::Dialog, "messageBox", text))
            inner_.messageBox(text);
    }
    void sleep(std::uint32_t milliseconds) override {
        if (!countdown_.fails(CallKind::Pause, "sleep"))
            inner_.sleep(milliseconds);
    }
    void handleNextMessage() override {
        if (!countdown_.fails(CallKind::Pause, "handleNextMessage"))
            inner_.handleNextMessage();
    }
    void bringApplicationToFront() override {
        if (!countdown_.fails(CallKind::Pause, "bringApplicationToFront"))
            inner_.bringApplicationToFront();
    }
    void processPendingMessages() override {
        if (!countdown_.fails(CallKind::Pause, "processPendingMessages"))
            inner_.processPendingMessages();
    }

  private:
    platform::UserInterface& inner_;
    FaultCountdown& countdown_;
};

class FaultyLibrary final : public platform::LoadedLibrary {
  public:
    FaultyLibrary(std::unique_ptr<platform::LoadedLibrary> inner, FaultCountdown& countdown)
        : inner_(std::move(inner)), countdown_(countdown) {}
    platform::ExportedFunction find(const char* exportName) override {
        if (countdown_.fails(CallKind::Library, "find", exportName))
            return nullptr;
        return inner_->find(exportName);
    }

  private:
    std::unique_ptr<platform::LoadedLibrary> inner_;
    FaultCountdown& countdown_;
};

class FaultyLibraryLoader final : public platform::LibraryLoader {
  public:
    FaultyLibraryLoader(platform::LibraryLoader& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}
    std::unique_ptr<platform::LoadedLibrary> load(const std::string& path,
                                                  WinError& error) override {
        if (countdown_.fails(CallKind::Library, "load", path)) {
            error = platform::kErrorModNotFound;
            return nullptr;
        }
        auto library = inner_.load(path, error);
        if (!library)
            return nullptr;
        return std::make_unique<FaultyLibrary>(std::move(library), countdown_);
    }
    std::unique_ptr<platform::LoadedLibrary> loadSystemLibrary(const std::string& name,
                                                               WinError& error) override {
        if (countdown_.fails(CallKind::Library, "loadSystemLibrary", name)) {
            error = platform::kErrorModNotFound;
            return nullptr;
        }
        auto library = inner_.loadSystemLibrary(name, error);
        if (!library)
            return nullptr;
        return std::make_unique<FaultyLibrary>(std::move(library), countdown_);
    }

  private:
    platform::LibraryLoader& inner_;
    FaultCountdown& countdown_;
};

class FaultyShell final : public platform::Shell {
  public:
    FaultyShell(platform::Shell& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}
    void openDocument(const std::string& path) override {
        if (!countdown_.fails(CallKind::Shell, "openDocument", path))
            inner_.openDocument(path);
    }
    std::int32_t startProgram(const std::string& program, const std::string& parameters,
                              platform::ShowMode show) override {
        if (countdown_.fails(CallKind::Shell, "startProgram", program))
            return platform::kErrorFileNotFound;
        return inner_.startProgram(program, parameters, show);
    }

  private:
    platform::Shell& inner_;
    FaultCountdown& countdown_;
};

class FaultyRegistryKey final : public platform::RegistryKey {
  public:
    FaultyRegistryKey(std::unique_ptr<platform::RegistryKey> inner, FaultCountdown& countdown,
                      std::string path)
        : inner_(std::move(inner)), countdown_(countdown), path_(std::move(path)) {}
    WinError setString(const std::string& name, const std::string& value) override {
        if (countdown_.fails(CallKind::Registry, "setString", path_ + "\\" + name))
            return platform::kErrorAccessDenied;
        return inner_->setString(name, value);
    }
    WinError deleteValue(const std::string& name) override {
        if (countdown_.fails(CallKind::Registry, "deleteValue", path_ + "\\" + name))
            return platform::kErrorAccessDenied;
        return inner_->deleteValue(name);
    }
    WinError readString(const std::string& name, std::string& value) override {
        if (countdown_.fails(CallKind::Registry, "readString", path_ + "\\" + name))
            return platform::kErrorAccessDenied;
        return inner_->readString(name, value);
    }

  private:
    std::unique_ptr<platform::RegistryKey> inner_;
    FaultCountdown& countdown_;
    std::string path_;
};

class FaultyRegistry final : public platform::Registry {
  public:
    FaultyRegistry(platform::Registry& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}
    std::unique_ptr<platform::RegistryKey>
    createKey(platform::RegistryRoot root, const std::string& path, WinError& error) override {
        return wrap(countdown_.fails(CallKind::Registry, "createKey", path)
                        ? nullptr
                        : inner_.createKey(root, path, error),
                    path, error);
    }
    std::unique_ptr<platform::RegistryKey>
    openKey(platform::RegistryRoot root, const std::string& path, WinError& error) override {
        return wrap(countdown_.fails(CallKind::Registry, "openKey", path)
                        ? nullptr
                        : inner_.openKey(root, path, error),
                    path, error);
    }
    WinError deleteKey(platform::RegistryRoot root, const std::string& path) override {
        if (countdown_.fails(CallKind::Registry, "deleteKey", path))
            return platform::kErrorAccessDenied;
        return inner_.deleteKey(root, path);
    }

  private:
    // A failed call answers access denied; a key that came is counted too.
    std::unique_ptr<platform::RegistryKey> wrap(std::unique_ptr<platform::RegistryKey> key,
                                                const std::string& path, WinError& error) {
        if (!key) {
            if (error == platform::kErrorNone)
                error = platform::kErrorAccessDenied;
            return nullptr;
        }
        return std::make_unique<FaultyRegistryKey>(std::move(key), countdown_, path);
    }

    platform::Registry& inner_;
    FaultCountdown& countdown_;
};

class FaultyMessaging final : public platform::Messaging {
  public:
    FaultyMessaging(platform::Messaging& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}
    platform::WindowHandle findWindowByTitle(const std::string& title) override {
        if (countdown_.fails(CallKind::Messaging, "findWindowByTitle", title))
            return platform::kNoWindow;
        return inner_.findWindowByTitle(title);
    }
    void clickDialogButton(platform::WindowHandle dialog, int controlId) override {
        if (!countdown_.fails(CallKind::Messaging, "clickDialogButton"))
            inner_.clickDialogButton(dialog, controlId);
    }
    std::int32_t sendCopyData(platform::WindowHandle target, platform::WindowHandle sender,
                              std::uint32_t dwData, const void* data, std::uint32_t size) override {
        if (countdown_.fails(CallKind::Messaging, "sendCopyData"))
            return 0;
        return inner_.sendCopyData(target, sender, dwData, data, size);
    }
    void postMessage(platform::WindowHandle target, std::uint32_t message, std::uint32_t wParam,
                     std::int32_t lParam) override {
        if (!countdown_.fails(CallKind::Messaging, "postMessage"))
            inner_.postMessage(target, message, wParam, lParam);
    }

  private:
    platform::Messaging& inner_;
    FaultCountdown& countdown_;
};

// A failing player call is a failing HRESULT: nothing read, nothing set.
class FaultyPlayer final : public platform::PlayerControl {
  public:
    FaultyPlayer(std::unique_ptr<platform::PlayerControl> inner, FaultCountdown& countdown)
        : inner_(std::move(inner)), countdown_(countdown) {}
    std::optional<std::string> getVariable(const std::string& name) override {
        if (countdown_.fails(CallKind::Player, "getVariable", name))
            return std::nullopt;
        return inner_->getVariable(name);
    }
    bool setProperty(std::int32_t dispatchId, const platform::DispatchValue& value) override {
        if (countdown_.fails(CallKind::Player, "setProperty", std::to_string(dispatchId)))
            return false;
        return inner_->setProperty(dispatchId, value);
    }
    bool callMethod(const std::string& name,
                    const std::vector<platform::DispatchValue>& arguments) override {
        if (countdown_.fails(CallKind::Player, "callMethod", name))
            return false;
        return inner_->callMethod(name, arguments);
    }
    bool doVerb(std::int32_t verb) override {
        if (countdown_.fails(CallKind::Player, "doVerb", std::to_string(verb)))
            return false;
        return inner_->doVerb(verb);
    }

  private:
    std::unique_ptr<platform::PlayerControl> inner_;
    FaultCountdown& countdown_;
};

class FaultyPlayerControls final : public platform::PlayerControls {
  public:
    FaultyPlayerControls(platform::PlayerControls& inner, FaultCountdown& countdown)
        : inner_(inner), countdown_(countdown) {}
    std::unique_ptr<platform::PlayerControl> create() override {
        if (countdown_.fails(CallKind::Player, "create"))
            return nullptr;
        return wrap(inner_.create());
    }
    platform::PlayerCreation createInWindow(platform::WindowHandle parent, int width, int height,
                                            platform::PlayerEventHandler onEvent) override {
        if (countdown_.fails(CallKind::Player, "createInWindow"))
            return {};
        platform::PlayerCreation creation =
            inner_.createInWindow(parent, width, height, std::move(onEvent));
        creation.control = wrap(std::move(creation.control));
        return creation;
    }

  private:
    std::unique_ptr<platform::PlayerControl> wrap(std::unique_ptr<platform::PlayerControl> player) {
        if (!player)
            return nullptr;
        return std::make_unique<FaultyPlayer>(std::move(player), countdown_);
    }

    platform::PlayerControls& inner_;
    FaultCountdown& countdown_;
};

} // namespace

struct FaultyPlatform::Parts {
    FaultyFileSystem files;
    FaultySystemInfo system;
    FaultyUserInterface ui;
    FaultyLibraryLoader libraries;
    FaultyShell shell;
    FaultyRegistry registry;
    FaultyMessaging messaging;
    FaultyPlayerControls players;
};

FaultyPlatform::FaultyPlatform(FakePlatform& fakes, FaultCountdown& countdown)
    : parts_(std::make_unique<Parts>(Parts{{fakes.files, countdown},
                                           {fakes.system, countdown},
                                           {fakes.ui, countdown},
                                           {fakes.libraries, countdown},
                                           {fakes.shell, countdown},
                                           {fakes.registry, countdown},
                                           {fakes.messaging, countdown},
                                           {fakes.players, countdown}})) {}

FaultyPlatform::~FaultyPlatform() = default;

platform::Platform FaultyPlatform::platform() {
    Parts& p = *parts_;
    return platform::Platform{p.files, p.system,   p.ui,        p.libraries,
                              p.shell, p.registry, p.messaging, p.players};
}

const std::vector<std::string>& FaultyPlatform::changedPaths() const {
    return parts_->files.changed;
}

namespace {

// The movie panel's window: a failing call leaves the panel as it was, and
// its queries answer what a window that could not be made answers.
class FaultyPanelWindow final : public platform::PanelWindow {
  public:
    FaultyPanelWindow(std::unique_ptr<platform::PanelWindow> inner, FaultCountdown& countdown)
        : inner_(std::move(inner)), countdown_(countdown) {}

    platform::WindowHandle handle() override {
        return fails("handle") ? platform::kNoWindow : inner_->handle();
    }
    int width() override { return fails("width") ? 0 : inner_->width(); }
    int height() override { return fails("height") ? 0 : inner_->height(); }
    bool visible() override { return !fails("visible") && inner_->visible(); }
    void setSize(int width, int height) override {
        if (!fails("setSize"))
            inner_->setSize(width, height);
    }
    void setColor(std::uint32_t color) override {
        if (!fails("setColor"))
            inner_->setColor(color);
    }
    void fillParent() override {
        if (!fails("fillParent"))
            inner_->fillParent();
    }
    void setOuterBevel(platform::PanelBevel bevel) override {
        if (!fails("setOuterBevel"))
            inner_->setOuterBevel(bevel);
    }
    void setBevelWidth(int width) override {
        if (!fails("setBevelWidth"))
            inner_->setBevelWidth(width);
    }
    void invalidate() override {
        if (!fails("invalidate"))
            inner_->invalidate();
    }

  private:
    // A panel whose window could not be made answers every call as failed.
    bool fails(const char* operation) {
        return countdown_.fails(CallKind::Panel, operation) || !inner_;
    }

    std::unique_ptr<platform::PanelWindow> inner_;
    FaultCountdown& countdown_;
};

} // namespace

void FaultyView::setEvents(InstallerWindowEvents& events) {
    countdown_.fails(CallKind::View, "setEvents");
    inner_.setEvents(events);
}

layout::FrameSizes FaultyView::installerFrames() {
    return countdown_.fails(CallKind::View, "installerFrames") ? layout::FrameSizes{}
                                                               : inner_.installerFrames();
}

layout::NonClientSize FaultyView::preparingFrame() {
    return countdown_.fails(CallKind::View, "preparingFrame") ? layout::NonClientSize{}
                                                              : inner_.preparingFrame();
}

layout::Size FaultyView::screenSize() {
    return countdown_.fails(CallKind::View, "screenSize") ? layout::Size{} : inner_.screenSize();
}

void FaultyView::renderPreparingWindow(const layout::PreparingWindowLayout& window) {
    if (!countdown_.fails(CallKind::View, "renderPreparingWindow", window.Label1.caption))
        inner_.renderPreparingWindow(window);
}

void FaultyView::renderInstallerWindow(const layout::InstallerFormLayout& form) {
    if (!countdown_.fails(CallKind::View, "renderInstallerWindow", form.labCopying.caption))
        inner_.renderInstallerWindow(form);
}

void FaultyView::showInstallerWindow() {
    if (!countdown_.fails(CallKind::View, "showInstallerWindow"))
        inner_.showInstallerWindow();
}

void FaultyView::setApplicationTitle(const std::string& title) {
    if (!countdown_.fails(CallKind::View, "setApplicationTitle", title))
        inner_.setApplicationTitle(title);
}

platform::WindowHandle FaultyView::installerWindow() {
    return countdown_.fails(CallKind::View, "installerWindow") ? platform::kNoWindow
                                                               : inner_.installerWindow();
}

bool FaultyView::loadPicture(const std::string& path, std::string& error) {
    if (countdown_.fails(CallKind::View, "loadPicture", path)) {
        error = "Bitmap image is not valid";
        return false;
    }
    return inner_.loadPicture(path, error);
}

bool FaultyView::loadLicence(const std::string& path) {
    if (countdown_.fails(CallKind::View, "loadLicence", path))
        return false;
    return inner_.loadLicence(path);
}

std::unique_ptr<platform::PanelWindow> FaultyView::createMoviePanel() {
    if (countdown_.fails(CallKind::View, "createMoviePanel"))
        return std::make_unique<FaultyPanelWindow>(nullptr, countdown_);
    return std::make_unique<FaultyPanelWindow>(inner_.createMoviePanel(), countdown_);
}

bool FaultyView::enablePauseTimer(std::uint32_t intervalMilliseconds) {
    if (countdown_.fails(CallKind::View, "enablePauseTimer"))
        return false;
    return inner_.enablePauseTimer(intervalMilliseconds);
}

bool FaultyView::pauseTimerEnabled() const {
    return !countdown_.fails(CallKind::View, "pauseTimerEnabled") && inner_.pauseTimerEnabled();
}

void FaultyView::showHourglass(bool shown) {
    if (!countdown_.fails(CallKind::View, "showHourglass"))
        inner_.showHourglass(shown);
}

bool FaultyView::applicationActive() {
    return !countdown_.fails(CallKind::View, "applicationActive") && inner_.applicationActive();
}

void FaultyView::terminate(std::int32_t exitCode) {
    countdown_.fails(CallKind::View, "terminate", std::to_string(exitCode));
    inner_.terminate(exitCode);
}

} // namespace fake
