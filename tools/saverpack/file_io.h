// Files as the packaging tool uses them: whole-file reads with the file's
// name in every failure, bounded reads from a package on disk, and output
// that appears under its final name only once it is complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A failure that the tool reports as "FILE: problem".
class ToolError : public std::runtime_error {
  public:
    ToolError(const std::filesystem::path& file, const std::string& problem);
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// Paths from and to UTF-8 text, the tool's text everywhere: the command
// line, descriptions and messages. (On Windows a path built from a plain
// std::string would read it in the ANSI code page.)
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8Of(const std::filesystem::path& path);

// The path as it is shown in messages, in UTF-8.
std::string displayPath(const std::filesystem::path& path);

// The whole file. Refuses a missing file, a folder, a file that cannot be
// read and one larger than `limit` bytes.
Bytes readWholeFile(const std::filesystem::path& path, std::uint64_t limit = UINT32_MAX);

// The file opened for reading; refuses what readWholeFile refuses.
std::ifstream openInputFile(const std::filesystem::path& path);

// Random access to bytes that may come from a hostile file: every read is
// checked against the size first.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `out` from `offset` on; false when the bytes are not all there.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
  public:
    explicit FileSource(const std::filesystem::path& path);
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    std::ifstream stream_;
    std::uint64_t size_ = 0;
};

// A part of another source, seen as a source of its own.
class RangeSource final : public ByteSource {
  public:
    RangeSource(ByteSource& base, std::uint64_t offset, std::uint64_t size)
        : base_(base), offset_(offset), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    ByteSource& base_;
    std::uint64_t offset_;
    std::uint64_t size_;
};

// A file opened for reading, with the size it had when it was opened: its
// bytes are read at any offset below that size, from any one thread at a
// time. A read that comes up short means the file has shrunk since.
class OpenedFile final : public ByteSource {
  public:
    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile() override;

    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    // Whether the file still has the size it was opened with.
    bool keptItsSize() const;
    const std::filesystem::path& path() const { return path_; }

#if defined(_WIN32)
    using Native = void*; // a HANDLE
#else
    using Native = int; // a file descriptor
#endif
    // Takes over `file`, open for reading, of `size` bytes.
    OpenedFile(const std::filesystem::path& path, Native file, std::uint64_t size)
        : path_(path), file_(file), size_(size) {}

  private:
    void close();

    std::filesystem::path path_;
    Native file_;
    std::uint64_t size_;
};

// The file opened for reading; refuses what readWholeFile refuses.
OpenedFile openFile(const std::filesystem::path& path, std::uint64_t limit = UINT32_MAX);

// The rule for what the packer packs: `path`, once every symbolic link on
// its way is followed, lies inside `folder` (the saver's folder), compared
// part by part ("/a/saver2" is not inside "/a/saver"). A path that names a
// place outside `folder` without any link on its way is the description's
// own explicit choice and is not checked. Throws ToolError naming the first
// link below `folder` that leads outside: "FOLDER/link: a symbolic link that
// leads outside the saver's folder (to /target); not packed".
void checkStaysInside(const std::filesystem::path& folder, const std::filesystem::path& path);

// openFile for a file of the saver: checkStaysInside first, and then again
// on the file as it was opened (on Linux its device and inode against the
// resolved path's), so that a link put in place in between is refused too.
OpenedFile openFileInside(const std::filesystem::path& folder, const std::filesystem::path& path,
                          std::uint64_t limit = UINT32_MAX);

// The whole of a file of the saver, opened as openFileInside opens it.
Bytes readFileInside(const std::filesystem::path& folder, const std::filesystem::path& path,
                     std::uint64_t limit = UINT32_MAX);

// Output written to a temporary file in the target's folder and renamed to
// the target by commit(). The temporary file is made new under a random name
// (mkstemp; on Windows CREATE_NEW), never opened through a link, and flushed
// to the disk before the rename. Without a commit, the destructor removes
// it, so a failure leaves nothing half-written behind.
class AtomicOutputFile {
  public:
    enum class Permissions {
        usual,      // what a new file gets: 0666 less the umask
        ofTheTarget // the existing target's (an installer signed in place)
    };

    explicit AtomicOutputFile(const std::filesystem::path& target,
                              Permissions permissions = Permissions::usual);
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
    ~AtomicOutputFile();

    void write(std::span<const std::uint8_t> bytes);
    // Writes from `offset` on, over bytes written before; write() goes on
    // after the furthest byte written.
    void writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    void commit();
    const std::filesystem::path& temporaryPath() const { return temporary_; }
    std::uint64_t size() const { return end_; }

  private:
    void closeFile();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
#if defined(_WIN32)
    void* file_ = nullptr; // a HANDLE
#else
    int fd_ = -1;
    unsigned mode_ = 0;
#endif
    std::uint64_t end_ = 0; // where write() goes on
    bool committed_ = false;
};
