#include "fakes/fake_platform.h"

#include <algorithm>
#include <stdexcept>

namespace fake {

using platform::WinError;
namespace attr = platform::attr;

namespace {

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

// What an open handle may do, and what it lets others do.
struct Access {
    bool read = false;
    bool write = false;
    bool shareRead = false;
    bool shareWrite = false;
};

Access accessOf(platform::OpenMode mode) {
    switch (mode) {
    case platform::OpenMode::ReadExisting:
        return {true, false, true, false};
    case platform::OpenMode::CreateAlways:
        return {false, true, true, false};
    case platform::OpenMode::ReadWriteAlways:
        return {true, true, true, false};
    case platform::OpenMode::ReadWriteExisting:
        return {true, true, true, true};
    }
    return {};
}

using OpenHandles = FakeFileSystem::OpenHandles;

// Whether a new handle with `access` may open a file with these handles.
bool sharingAllows(const OpenHandles& open, const Access& access) {
    return !(access.read && open.denyReaders > 0) && !(access.write && open.denyWriters > 0) &&
           (access.shareRead || open.readers == 0) && (access.shareWrite || open.writers == 0);
}

class FakeFile final : public platform::File {
  public:
    FakeFile(std::shared_ptr<std::string> data, std::shared_ptr<OpenHandles> handles,
             const Access& access)
        : data_(std::move(data)), handles_(std::move(handles)), access_(access) {
        count(+1);
    }
    ~FakeFile() override {
        if (handles_)
            count(-1);
    }
    FakeFile(const FakeFile&) = delete;
    FakeFile& operator=(const FakeFile&) = delete;

    WinError read(void* buffer, std::uint32_t size, std::uint32_t& read) override {
        read = 0;
        if (!handles_)
            return platform::kErrorInvalidHandle;
        if (handles_->readError != platform::kErrorNone) {
            if (position_ >= handles_->readableBytes)
                return handles_->readError;
            size = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(size, handles_->readableBytes - position_));
        }
        const std::uint64_t available = position_ < data_->size() ? data_->size() - position_ : 0;
        read = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
        std::copy_n(data_->data() + position_, read, static_cast<char*>(buffer));
        position_ += read;
        return platform::kErrorNone;
    }

    WinError write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
        written = 0;
        if (!handles_)
            return platform::kErrorInvalidHandle;
        if (data_->size() < position_ + size)
            data_->resize(position_ + size);
        std::copy_n(static_cast<const char*>(buffer), size, data_->data() + position_);
        position_ += size;
        written = size;
        return platform::kErrorNone;
    }

    WinError seek(std::int64_t offset, platform::SeekOrigin origin,
                  std::uint64_t& position) override {
        if (!handles_)
            return platform::kErrorInvalidHandle;
        std::int64_t base = 0;
        if (origin == platform::SeekOrigin::Current)
            base = static_cast<std::int64_t>(position_);
        else if (origin == platform::SeekOrigin::End)
            base = static_cast<std::int64_t>(data_->size());
        if (base + offset < 0)
            return 131; // ERROR_NEGATIVE_SEEK
        position_ = static_cast<std::uint64_t>(base + offset);
        position = position_;
        return platform::kErrorNone;
    }

    WinError size(std::uint64_t& size) override {
        if (!handles_)
            return platform::kErrorInvalidHandle;
        size = data_->size();
        return platform::kErrorNone;
    }

    WinError close() override {
        if (!handles_)
            return platform::kErrorInvalidHandle;
        const WinError answer = handles_->closeError;
        count(-1);
        handles_.reset();
        return answer;
    }

  private:
    void count(int step) {
        handles_->readers += access_.read ? step : 0;
        handles_->writers += access_.write ? step : 0;
        handles_->denyReaders += access_.shareRead ? 0 : step;
        handles_->denyWriters += access_.shareWrite ? 0 : step;
    }

    std::shared_ptr<std::string> data_;
    std::shared_ptr<OpenHandles> handles_; // null once closed
    Access access_;
    std::uint64_t position_ = 0;
};

// A file or folder held open by the installer: one handle that reads and
// shares reading (and, for a folder, writing), as the real hold does.
class FakeHeldPath final : public platform::HeldPath {
  public:
    FakeHeldPath(std::shared_ptr<std::string> data, std::shared_ptr<OpenHandles> handles,
                 const Access& access)
        : handle_(std::move(data), std::move(handles), access) {}

  private:
    FakeFile handle_;
};

constexpr Access kHoldFile{true, false, true, false};
constexpr Access kHoldFolder{true, false, true, true};

} // namespace

// ---------------------------------------------------------------- files

FakeFileSystem::FakeFileSystem() {
    addFolder("C:\\");
}

std::string FakeFileSystem::key(const std::string& path) {
    std::string k = upper(path);
    std::replace(k.begin(), k.end(), '/', '\\');
    while (!k.empty() && k.back() == '\\')
        k.pop_back();
    return k;
}

std::string FakeFileSystem::parentKey(const std::string& k) {
    const std::size_t separator = k.find_last_of('\\');
    return separator == std::string::npos ? std::string() : k.substr(0, separator);
}

std::string FakeFileSystem::reached(const std::string& path, bool followLast) const {
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.rfind("\\\\", 0) == 0;
    // Bare separators name a root and nothing in it; the search upwards of a
    // share path ends there.
    const bool root = !path.empty() && path.find_first_not_of("\\/") == std::string::npos;
    if (!drive && !share && !root)
        throw WorldMisused{"a relative path reached the file system: \"" + path + "\""};
    std::string k = key(path);
    // Each link on the way is replaced by its target, from the start again,
    // so that a target may hold links too; a loop of links ends somewhere.
    std::size_t from = 0;
    for (int hops = 0; hops < 40;) {
        const std::size_t end = k.find('\\', from);
        if (end == std::string::npos && !followLast)
            break;
        const auto it = nodes_.find(k.substr(0, end));
        if (it != nodes_.end() && it->second.isLink) {
            k = it->second.target + (end == std::string::npos ? std::string() : k.substr(end));
            from = 0;
            ++hops;
            continue;
        }
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return k;
}

FakeFileSystem::Node& FakeFileSystem::place(const std::string& k, const std::string& name) {
    const std::string parent = parentKey(k);
    if (!parent.empty() && !nodes_.count(parent))
        addFolder(parent);
    Node& node = nodes_[k];
    node.name = name;
    return node;
}

FakeFileSystem::Node* FakeFileSystem::find(const std::string& path) {
    const auto it = nodes_.find(reached(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

const FakeFileSystem::Node* FakeFileSystem::find(const std::string& path) const {
    const auto it = nodes_.find(reached(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::hasChildren(const std::string& k) const {
    const auto it = nodes_.upper_bound(k + "\\");
    return it != nodes_.end() && it->first.compare(0, k.size() + 1, k + "\\") == 0;
}

WinError FakeFileSystem::checkCreatable(const std::string& k) const {
    const std::string parent = parentKey(k);
    const auto it = nodes_.find(parent);
    if (parent.empty() || it == nodes_.end() || !it->second.isFolder)
        return platform::kErrorPathNotFound;
    if (it->second.accessDenied)
        return platform::kErrorAccessDenied;
    return platform::kErrorNone;
}

void FakeFileSystem::addFolder(const std::string& path, std::uint32_t attributes) {
    const std::string k = key(path);
    if (k.empty())
        return;
    Node& node = place(k, withoutTrailingSeparators(path));
    node.isFolder = true;
    node.attributes = attributes | attr::kDirectory;
}

std::string FakeFileSystem::withoutTrailingSeparators(const std::string& path) {
    std::string name = path;
    while (!name.empty() && (name.back() == '\\' || name.back() == '/'))
        name.pop_back();
    return name.substr(
        name.find_last_of("\\/") == std::string::npos ? 0 : name.find_last_of("\\/") + 1);
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content,
                             std::uint32_t attributes) {
    Node& node = place(key(path), withoutTrailingSeparators(path));
    node.isFolder = false;
    node.attributes = attributes;
    node.data = std::make_shared<std::string>(content);
}

void FakeFileSystem::addLink(const std::string& path, const std::string& target) {
    addFolder(path);
    Node& link = nodes_[key(path)];
    link.isLink = true;
    link.target = key(target);
}

void FakeFileSystem::holdOpen(const std::string& path, int attempts) {
    if (Node* node = find(path))
        node->heldOpen = attempts;
}

void FakeFileSystem::release(const std::string& path) {
    holdOpen(path, 0);
}

void FakeFileSystem::runAsProgram(const std::string& path) {
    if (Node* node = find(path))
        node->running = true;
}

void FakeFileSystem::denyAccess(const std::string& path) {
    if (Node* node = find(path))
        node->accessDenied = true;
}

void FakeFileSystem::failClosing(const std::string& path, WinError error) {
    if (Node* node = find(path))
        node->handles->closeError = error;
}

void FakeFileSystem::failReading(const std::string& path, std::uint64_t afterBytes,
                                 WinError error) {
    if (Node* node = find(path)) {
        node->handles->readableBytes = afterBytes;
        node->handles->readError = error;
    }
}

bool FakeFileSystem::exists(const std::string& path) const {
    return find(path) != nullptr;
}

std::string FakeFileSystem::content(const std::string& path) const {
    const Node* node = find(path);
    if (!node || node->isFolder)
        throw std::logic_error("no file at " + path);
    return *node->data;
}

std::uint32_t FakeFileSystem::attributesOf(const std::string& path) const {
    const Node* node = find(path);
    if (!node)
        throw std::logic_error("nothing at " + path);
    return node->attributes;
}

int FakeFileSystem::deleteAttempts(const std::string& path) const {
    const auto it = deleteAttempts_.find(key(path));
    return it == deleteAttempts_.end() ? 0 : it->second;
}

std::optional<platform::FolderSecurity> FakeFileSystem::securityOf(const std::string& path) const {
    const Node* node = find(path);
    return node ? node->security : std::nullopt;
}

int FakeFileSystem::openHandles(const std::string& path) const {
    const Node* node = find(path);
    return node ? node->handles->count() : 0;
}

std::vector<std::string> FakeFileSystem::allPaths() const {
    std::vector<std::string> paths;
    for (const auto& [k, node] : nodes_)
        paths.push_back(k);
    return paths;
}

std::optional<std::uint32_t> FakeFileSystem::attributes(const std::string& path) {
    const Node* node = find(path);
    if (!node)
        return std::nullopt;
    return node->attributes;
}

WinError FakeFileSystem::setAttributes(const std::string& path, std::uint32_t attributes) {
    Node* node = find(path);
    if (!node)
        return platform::kErrorFileNotFound;
    if (node->accessDenied)
        return platform::kErrorAccessDenied;
    if (node->isFolder)
        node->attributes = (attributes & ~attr::kNormal) | attr::kDirectory;
    else
        node->attributes = attributes == 0 ? attr::kNormal : attributes;
    return platform::kErrorNone;
}

// A file open in another program (one attempt fewer each time) or in the
// installer cannot be deleted or renamed: no handle shares deletion.
WinError FakeFileSystem::refuseWhileOpen(Node& node) {
    if (node.heldOpen != 0) {
        if (node.heldOpen > 0)
            --node.heldOpen;
        return platform::kErrorSharingViolation;
    }
    return node.handles->count() > 0 ? platform::kErrorSharingViolation : platform::kErrorNone;
}

WinError FakeFileSystem::deleteFile(const std::string& path) {
    const std::string k = reached(path);
    ++deleteAttempts_[key(path)];
    const auto it = nodes_.find(k);
    if (it == nodes_.end())
        return platform::kErrorFileNotFound;
    Node& node = it->second;
    if (node.isFolder || node.accessDenied || node.running || (node.attributes & attr::kReadOnly))
        return platform::kErrorAccessDenied;
    if (const WinError error = refuseWhileOpen(node))
        return error;
    nodes_.erase(it);
    return platform::kErrorNone;
}

WinError FakeFileSystem::createFolder(const std::string& path) {
    const std::string k = reached(path);
    if (nodes_.count(k))
        return platform::kErrorAlreadyExists;
    if (const WinError error = checkCreatable(k))
        return error;
    Node& node = place(k, withoutTrailingSeparators(path));
    node.isFolder = true;
    node.attributes = attr::kDirectory;
    return platform::kErrorNone;
}

WinError FakeFileSystem::removeFolder(const std::string& path) {
    const std::string k = reached(path);
    const auto it = nodes_.find(k);
    if (it == nodes_.end())
        return platform::kErrorFileNotFound;
    if (!it->second.isFolder)
        return kErrorDirectory;
    if (it->second.accessDenied || (it->second.attributes & attr::kReadOnly))
        return platform::kErrorAccessDenied;
    if (it->second.handles->count() > 0)
        return platform::kErrorSharingViolation; // held: no handle shares deletion
    // A link goes alone, whatever its target holds.
    if (!it->second.isLink && hasChildren(k))
        return platform::kErrorDirNotEmpty;
    nodes_.erase(it);
    return platform::kErrorNone;
}

WinError FakeFileSystem::copyFile(const std::string& source, const std::string& target,
                                  bool failIfExists) {
    const Node* from = find(source);
    if (!from)
        return platform::kErrorFileNotFound;
    if (from->isFolder || from->accessDenied)
        return platform::kErrorAccessDenied;
    if (from->heldOpen != 0 ||
        !sharingAllows(*from->handles, accessOf(platform::OpenMode::ReadExisting)))
        return platform::kErrorSharingViolation;
    const std::string k = reached(target);
    if (k == reached(source))
        return platform::kErrorSharingViolation;
    if (Node* to = find(target)) {
        if (failIfExists)
            return platform::kErrorFileExists;
        if (to->isFolder || to->accessDenied || (to->attributes & attr::kReadOnly))
            return platform::kErrorAccessDenied;
        if (to->heldOpen != 0 || to->handles->count() > 0)
            return platform::kErrorSharingViolation;
    } else if (const WinError error = checkCreatable(k)) {
        return error;
    }
    const std::string data = *from->data;
    const std::uint32_t attributes = from->attributes | attr::kArchive;
    Node& copy = place(k, withoutTrailingSeparators(target));
    copy.isFolder = false;
    copy.attributes = attributes & ~attr::kNormal;
    copy.data = std::make_shared<std::string>(data);
    return platform::kErrorNone;
}

WinError FakeFileSystem::moveFile(const std::string& source, const std::string& target) {
    const std::string from = reached(source);
    const auto it = nodes_.find(from);
    if (it == nodes_.end())
        return platform::kErrorFileNotFound;
    Node& node = it->second;
    if (node.accessDenied)
        return platform::kErrorAccessDenied;
    if (const WinError error = refuseWhileOpen(node))
        return error;
    const std::string to = reached(target);
    if (nodes_.count(to))
        return platform::kErrorAlreadyExists;
    if (const WinError error = checkCreatable(to))
        return error;
    const std::string inside = from + "\\";
    if (to.compare(0, inside.size(), inside) == 0)
        return platform::kErrorSharingViolation; // a folder into itself
    // A folder with an open file anywhere inside it stays where it is.
    for (auto child = nodes_.upper_bound(inside);
         child != nodes_.end() && child->first.compare(0, inside.size(), inside) == 0; ++child)
        if (child->second.heldOpen != 0 || child->second.handles->count() > 0)
            return platform::kErrorAccessDenied;
    std::vector<std::pair<std::string, Node>> moved;
    moved.emplace_back(to, std::move(node));
    moved.back().second.name = withoutTrailingSeparators(target);
    nodes_.erase(it);
    for (auto child = nodes_.upper_bound(inside);
         child != nodes_.end() && child->first.compare(0, inside.size(), inside) == 0;) {
        moved.emplace_back(to + child->first.substr(from.size()), std::move(child->second));
        child = nodes_.erase(child);
    }
    for (auto& [k, moving] : moved)
        nodes_.emplace(k, std::move(moving));
    return platform::kErrorNone;
}

WinError FakeFileSystem::deleteAtRestart(const std::string& path) {
    if (restartDeletionError != platform::kErrorNone)
        return restartDeletionError;
    if (!find(path))
        return platform::kErrorFileNotFound;
    deletedAtRestart_.push_back(key(path));
    return platform::kErrorNone;
}

std::vector<platform::FolderEntry> FakeFileSystem::listFolder(const std::string& pattern) {
    std::vector<platform::FolderEntry> entries;
    const std::string k = reached(pattern.substr(0, pattern.find_last_of('\\') + 1), true);
    const auto folder = nodes_.find(k);
    if (folder == nodes_.end() || !folder->second.isFolder)
        return entries;
    if (parentKey(k) != "") {
        entries.push_back({".", true, false});
        entries.push_back({"..", true, false});
    }
    for (const auto& [childKey, node] : nodes_) {
        if (parentKey(childKey) == k)
            entries.push_back({node.name, node.isFolder, node.isLink});
    }
    return entries;
}

std::unique_ptr<platform::File> FakeFileSystem::openFile(const std::string& path,
                                                         platform::OpenMode mode, WinError& error) {
    const std::string k = reached(path);
    const Access access = accessOf(mode);
    Node* node = find(path);
    error = platform::kErrorNone;
    if (node) {
        if (node->isFolder || node->accessDenied)
            error = platform::kErrorAccessDenied;
        else if (node->heldOpen != 0 || !sharingAllows(*node->handles, access))
            error = platform::kErrorSharingViolation;
        else if (access.write && (node->attributes & attr::kReadOnly))
            error = platform::kErrorAccessDenied;
    } else if (mode == platform::OpenMode::ReadExisting ||
               mode == platform::OpenMode::ReadWriteExisting) {
        error = checkCreatable(k) == platform::kErrorPathNotFound ? platform::kErrorPathNotFound
                                                                  : platform::kErrorFileNotFound;
    } else {
        error = checkCreatable(k);
    }
    if (error != platform::kErrorNone)
        return nullptr;
    if (!node) {
        node = &place(k, withoutTrailingSeparators(path));
        node->isFolder = false;
        node->attributes = attr::kArchive;
        node->data = std::make_shared<std::string>();
    } else if (mode == platform::OpenMode::CreateAlways) {
        node->data = std::make_shared<std::string>();
    }
    return std::make_unique<FakeFile>(node->data, node->handles, access);
}

std::unique_ptr<platform::HeldPath>
FakeFileSystem::createHeldFolder(const std::string& path,
                                 const std::optional<platform::FolderSecurity>& security,
                                 WinError& error) {
    error = createFolder(path);
    if (error != platform::kErrorNone)
        return nullptr;
    Node& node = nodes_[reached(path)];
    node.security = security;
    return std::make_unique<FakeHeldPath>(nullptr, node.handles, kHoldFolder);
}

std::unique_ptr<platform::HeldPath> FakeFileSystem::holdFile(const std::string& path,
                                                             WinError& error) {
    WinError opened = platform::kErrorNone;
    if (!openFile(path, platform::OpenMode::ReadExisting, opened)) {
        error = opened;
        return nullptr;
    }
    Node& node = *find(path);
    error = platform::kErrorNone;
    return std::make_unique<FakeHeldPath>(node.data, node.handles, kHoldFile);
}

std::string FakeFileSystem::shortPathName(const std::string& path) {
    const auto it = shortNames.find(upper(path));
    return it == shortNames.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------- system

FakeSystemInfo::FakeSystemInfo() {
    environment["WINDIR"] = "C:\\WINDOWS";
    environment["SYSTEMROOT"] = "C:\\WINDOWS";
    setSpecialFolder(5, "C:\\Documents and Settings\\User\\My Documents");
    setSpecialFolder(26, "C:\\Documents and Settings\\User\\Application Data");
    setSpecialFolder(28, "C:\\Documents and Settings\\User\\Local Settings\\Application Data");
    setSpecialFolder(35, "C:\\Documents and Settings\\All Users\\Application Data");
}

void FakeSystemInfo::setSpecialFolder(int csidl, const std::string& path) {
    specialFolders[csidl] = platform::SpecialFolderLookup{true, path};
}

std::optional<std::string> FakeSystemInfo::environmentVariable(const std::string& name) {
    const auto it = environment.find(upper(name));
    if (it == environment.end())
        return std::nullopt;
    return it->second;
}

std::optional<platform::OsVersion> FakeSystemInfo::versionInfo() {
    ++versionQueries;
    return version;
}

platform::SpecialFolderLookup FakeSystemInfo::specialFolderLocation(int csidl) {
    const auto it = specialFolders.find(csidl);
    return it == specialFolders.end() ? platform::SpecialFolderLookup{} : it->second;
}

std::optional<std::string> FakeSystemInfo::folderPath(int csidl) {
    ++folderPathQueries;
    const auto it = folderPaths.find(csidl);
    if (it == folderPaths.end())
        return std::nullopt;
    return it->second;
}

std::string FakeSystemInfo::lowerCase(std::string_view text) {
    // Windows-1252, as CharLowerBuffA does it in a western code page.
    std::string lowered(text);
    for (char& c : lowered) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
            c = static_cast<char>(b + 0x20);
        else if (b == 0x8A || b == 0x8C || b == 0x8E)
            c = static_cast<char>(b + 0x10);
        else if (b == 0x9F)
            c = static_cast<char>(0xFF);
    }
    return lowered;
}

int FakeSystemInfo::compareText(std::string_view a, std::string_view b) {
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

std::string FakeSystemInfo::errorMessageText(std::int32_t code) {
    const auto it = errorTexts.find(code);
    return it == errorTexts.end() ? std::string() : it->second;
}

platform::FileVersionLookup FakeSystemInfo::fileVersion(const std::string& path) {
    const auto it = fileVersions.find(upper(path));
    return it == fileVersions.end() ? platform::FileVersionLookup{} : it->second;
}

void useWindows9x(FakeFileSystem& files, FakeSystemInfo& system,
                  const platform::OsVersion& version) {
    system.version = version;
    system.wow64 = platform::Wow64Answer::ExportMissing;
    system.environment.erase("SYSTEMROOT");
    system.environment["WINDIR"] = "C:\\WINDOWS";
    system.systemDir = "C:\\WINDOWS\\SYSTEM";
    system.setSpecialFolder(5, "C:\\My Documents");
    system.setSpecialFolder(26, "C:\\WINDOWS\\Application Data");
    system.setSpecialFolder(28, "C:\\WINDOWS\\Local Settings\\Application Data");
    system.setSpecialFolder(35, "C:\\WINDOWS\\All Users\\Application Data");
    for (const int present : {5, 26, 28})
        files.addFolder(*system.specialFolders[present].path);
    files.addFolder(system.systemDir);
}

// ---------------------------------------------------------------- user interface

bool FakeUserInterface::armTimer(std::function<void()> fire) {
    if (timerFails)
        return false;
    ++pausesStarted;
    timer_ = std::move(fire);
    return true;
}

void FakeUserInterface::duringPause(int pause, std::function<void()> action) {
    pauseActions_.emplace(pause, std::move(action));
}

platform::DialogButton
FakeUserInterface::messageDialog(platform::DialogKind kind, const std::string& text,
                                 const std::vector<platform::DialogButton>& buttons) {
    dialogs.push_back({kind, text, buttons});
    if (!answers.empty()) {
        const platform::DialogButton answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons.empty() ? platform::DialogButton::Ok : buttons.front();
}

void FakeUserInterface::handleNextMessage() {
    ++messagesHandled;
    const auto action = pauseActions_.find(pausesStarted);
    if (action != pauseActions_.end()) {
        const std::function<void()> run = std::move(action->second);
        pauseActions_.erase(action);
        run();
        return;
    }
    if (queuedMessages > 0) {
        --queuedMessages;
        return;
    }
    if (!timer_)
        throw WorldMisused{"waiting for a message that never comes"};
    const std::function<void()> fire = std::move(timer_);
    timer_ = nullptr;
    fire();
}

std::int32_t FakeShell::startProgram(const std::string& program, const std::string& parameters,
                                     platform::ShowMode show) {
    startedPrograms.push_back({program, parameters, show});
    std::int32_t answer = 42;
    if (!startAnswers.empty()) {
        answer = startAnswers.front();
        startAnswers.pop_front();
    }
    if (answer > 32 && onStart)
        onStart(startedPrograms.back());
    return answer;
}

} // namespace fake
