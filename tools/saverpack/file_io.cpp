#include "file_io.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

ToolError::ToolError(const fs::path& file, const std::string& problem)
    : std::runtime_error(displayPath(file) + ": " + problem) {}

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string displayPath(const fs::path& path) {
    return utf8Of(path);
}

namespace {

std::uint64_t regularFileSize(const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
        throw ToolError(path, "no such file");
    if (fs::is_directory(status))
        throw ToolError(path, "is a folder, not a file");
    if (!fs::is_regular_file(status))
        throw ToolError(path, "not a regular file");
    const std::uintmax_t size = fs::file_size(path, error);
    if (error)
        throw ToolError(path, "cannot be read: " + error.message());
    return size;
}

void refuseOverLimit(const fs::path& path, std::uint64_t size, std::uint64_t limit) {
    if (size > limit)
        throw ToolError(path, std::to_string(size) + " bytes, more than the " +
                                  std::to_string(limit) + " a file here may have");
}

Bytes readAll(OpenedFile& file) {
    Bytes bytes(static_cast<std::size_t>(file.size()));
    if (!file.read(0, bytes))
        throw ToolError(file.path(), "could not be read to its end");
    return bytes;
}

} // namespace

Bytes readWholeFile(const fs::path& path, std::uint64_t limit) {
    OpenedFile file = openFile(path, limit);
    return readAll(file);
}

std::ifstream openInputFile(const fs::path& path) {
    regularFileSize(path);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(path, "cannot be opened for reading");
    return in;
}

bool MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
        return false;
    if (!out.empty())
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

FileSource::FileSource(const fs::path& path) : size_(regularFileSize(path)) {
    stream_.open(path, std::ios::binary);
    if (!stream_)
        throw ToolError(path, "cannot be opened for reading");
}

bool FileSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    if (out.empty())
        return true;
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return stream_.good() && static_cast<std::size_t>(stream_.gcount()) == out.size();
}

bool RangeSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    return base_.read(offset_ + offset, out);
}

namespace {

// `inner` lies in `outer` or is it; both absolute and without links or dots.
bool isWithin(const fs::path& inner, const fs::path& outer) {
    auto in = inner.begin();
    for (const fs::path& part : outer) {
        if (part.empty()) // a trailing separator
            break;
        if (in == inner.end() || *in != part)
            return false;
        ++in;
    }
    return true;
}

// Whether `path`, read lexically, names a place inside `folder`.
bool namedInside(const fs::path& folder, const fs::path& path) {
    std::error_code error;
    const fs::path from = fs::absolute(folder, error).lexically_normal();
    const fs::path to = fs::absolute(path, error).lexically_normal();
    return !error && isWithin(to, from);
}

[[noreturn]] void refuseOutside(const fs::path& shown, const fs::path& target, bool isLink) {
    throw ToolError(shown, std::string(isLink ? "a symbolic link that leads" : "leads") +
                               " outside the saver's folder (to " + displayPath(target) +
                               "); not packed");
}

#if !defined(_WIN32)
class OwnedDescriptor {
  public:
    explicit OwnedDescriptor(int fd) : fd_(fd) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};
#endif

} // namespace

void checkStaysInside(const fs::path& folder, const fs::path& path) {
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error || !namedInside(folder, path))
        return; // a missing folder is reported where it is read
    const fs::path resolved = fs::weakly_canonical(path, error);
    if (error || isWithin(resolved, root))
        return; // what cannot be resolved (a loop of links) fails where it is read
    // The first link on the way that leads out is the one to name.
    fs::path shown = folder;
    for (const fs::path& part : fs::absolute(path).lexically_relative(fs::absolute(folder))) {
        shown /= part;
        if (!fs::is_symlink(fs::symlink_status(shown, error)))
            continue;
        const fs::path target = fs::weakly_canonical(shown, error);
        if (!error && !isWithin(target, root))
            refuseOutside(shown, target, true);
    }
    refuseOutside(path, resolved, false);
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : path_(std::move(other.path_)), file_(other.file_), size_(other.size_) {
#if defined(_WIN32)
    other.file_ = nullptr;
#else
    other.file_ = -1;
#endif
}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        file_ = other.file_;
        size_ = other.size_;
#if defined(_WIN32)
        other.file_ = nullptr;
#else
        other.file_ = -1;
#endif
    }
    return *this;
}

OpenedFile::~OpenedFile() {
    close();
}

#if defined(_WIN32)

void OpenedFile::close() {
    if (file_ != nullptr)
        CloseHandle(file_);
    file_ = nullptr;
}

bool OpenedFile::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file_, out.data() + done, piece, &got, &position) || got == 0)
            return false;
        done += got;
    }
    return true;
}

bool OpenedFile::keptItsSize() const {
    LARGE_INTEGER now{};
    return GetFileSizeEx(file_, &now) && static_cast<std::uint64_t>(now.QuadPart) == size_;
}

OpenedFile openFile(const fs::path& path, std::uint64_t limit) {
    regularFileSize(path); // says why a folder or a missing file is not read
    const HANDLE file =
        CreateFileW(path.wstring().c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw ToolError(path, "cannot be opened for reading");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        throw ToolError(path, "cannot be read");
    }
    OpenedFile opened(path, file, static_cast<std::uint64_t>(size.QuadPart));
    refuseOverLimit(path, opened.size(), limit);
    return opened;
}

OpenedFile openFileInside(const fs::path& folder, const fs::path& path, std::uint64_t limit) {
    checkStaysInside(folder, path);
    // Links are rare on Windows and need rights to make; the check above is
    // the one made.
    return openFile(path, limit);
}

#else

void OpenedFile::close() {
    if (file_ >= 0)
        ::close(file_);
    file_ = -1;
}

bool OpenedFile::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(file_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool OpenedFile::keptItsSize() const {
    struct stat now {};
    return ::fstat(file_, &now) == 0 && static_cast<std::uint64_t>(now.st_size) == size_;
}

namespace {

// Opens `path` without following a FIFO's open into a hang, and refuses
// anything but a regular file of at most `limit` bytes.
OpenedFile openRegular(const fs::path& path, std::uint64_t limit, struct stat& opened) {
    // Not blocking: a FIFO put in the file's place must not hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        regularFileSize(path); // says why, when it can
        throw ToolError(path, std::string("cannot be opened for reading: ") + std::strerror(errno));
    }
    OwnedDescriptor owned(fd);
    if (::fstat(fd, &opened) != 0 || S_ISDIR(opened.st_mode))
        throw ToolError(path, "is a folder, not a file");
    if (!S_ISREG(opened.st_mode))
        throw ToolError(path, "not a regular file");
    refuseOverLimit(path, static_cast<std::uint64_t>(opened.st_size), limit);
    return OpenedFile(path, owned.release(), static_cast<std::uint64_t>(opened.st_size));
}

} // namespace

OpenedFile openFile(const fs::path& path, std::uint64_t limit) {
    struct stat opened {};
    return openRegular(path, limit, opened);
}

OpenedFile openFileInside(const fs::path& folder, const fs::path& path, std::uint64_t limit) {
    checkStaysInside(folder, path);
    if (!namedInside(folder, path))
        return openFile(path, limit);
    struct stat opened {};
    OpenedFile file = openRegular(path, limit, opened);
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    const fs::path root = fs::canonical(folder, error);
    struct stat checked {};
    if (error || !isWithin(resolved, root) || ::stat(resolved.c_str(), &checked) != 0 ||
        checked.st_dev != opened.st_dev || checked.st_ino != opened.st_ino)
        throw ToolError(path, "was replaced while it was opened (a symbolic link put in its "
                              "way?); not packed");
    return file;
}

#endif

Bytes readFileInside(const fs::path& folder, const fs::path& path, std::uint64_t limit) {
    OpenedFile file = openFileInside(folder, path, limit);
    return readAll(file);
}

AtomicOutputFile::AtomicOutputFile(const fs::path& target, [[maybe_unused]] Permissions permissions)
    : target_(target) {
    if (target.filename().empty())
        throw ToolError(target, "names a folder, not an output file");
    std::error_code error;
    if (fs::is_directory(target, error))
        throw ToolError(target, "is a folder, not an output file");
    const fs::path folder = target.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error))
        throw ToolError(target, "its folder does not exist");

    // Appended piece by piece: GCC 12 warns falsely about "." + std::string.
    std::string prefix(1, '.');
    prefix += utf8Of(target.filename());
    prefix += '.';
#if defined(_WIN32)
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
        const fs::path candidate = folder / pathFromUtf8(prefix + std::to_string(random()) +
                                                         std::to_string(random()) + ".tmp");
        // CREATE_NEW fails on anything already there, a link included. Others
        // may read it: the finished installer is checked before it is renamed.
        const HANDLE made = CreateFileW(candidate.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made != INVALID_HANDLE_VALUE) {
            file_ = made;
            temporary_ = candidate;
        } else if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (file_ == nullptr)
        throw ToolError(target, "cannot write in its folder");
#else
    if (permissions == Permissions::ofTheTarget) {
        struct stat existing {};
        if (::stat(target.c_str(), &existing) != 0)
            throw ToolError(target, std::string("cannot be read: ") + std::strerror(errno));
        mode_ = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    std::string name = ((folder.empty() ? fs::path(".") : folder) / pathFromUtf8(prefix)).string();
    name += "XXXXXX.tmp";
    fd_ = ::mkostemps(name.data(), 4, O_CLOEXEC); // made 0600, O_EXCL
    if (fd_ < 0)
        throw ToolError(target, std::string("cannot write in its folder: ") + std::strerror(errno));
    temporary_ = name;
    if (folder.empty())
        temporary_ = temporary_.lexically_normal();
#endif
}

void AtomicOutputFile::closeFile() {
#if defined(_WIN32)
    if (file_ != nullptr)
        CloseHandle(file_);
    file_ = nullptr;
#else
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
#endif
}

AtomicOutputFile::~AtomicOutputFile() {
    closeFile();
    if (committed_ || temporary_.empty())
        return;
    std::error_code ignored;
    fs::remove(temporary_, ignored);
}

void AtomicOutputFile::write(std::span<const std::uint8_t> bytes) {
    writeAt(end_, bytes);
}

void AtomicOutputFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = offset + done;
#if defined(_WIN32)
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(file_, bytes.data() + done, piece, &wrote, &position) || wrote == 0)
            throw ToolError(target_, "writing failed (is the disk full?)");
#else
        const ssize_t wrote =
            ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            throw ToolError(target_, "writing failed (is the disk full?)");
#endif
        done += static_cast<std::size_t>(wrote);
    }
    end_ = std::max(end_, offset + bytes.size());
}

void AtomicOutputFile::commit() {
#if defined(_WIN32)
    const bool flushed = FlushFileBuffers(file_) != 0;
    const bool closed = CloseHandle(file_) != 0;
    file_ = nullptr;
    if (!flushed || !closed)
        throw ToolError(target_, "writing failed (is the disk full?)");
    if (!MoveFileExW(temporary_.wstring().c_str(), target_.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw ToolError(target_,
                        "cannot be replaced (error " + std::to_string(GetLastError()) + ")");
#else
    if (::fchmod(fd_, static_cast<mode_t>(mode_)) != 0 || ::fsync(fd_) != 0)
        throw ToolError(target_, std::string("writing failed: ") + std::strerror(errno));
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        throw ToolError(target_, "writing failed (is the disk full?)");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw ToolError(target_, std::string("cannot be replaced: ") + std::strerror(errno));
#endif
    committed_ = true;
}
