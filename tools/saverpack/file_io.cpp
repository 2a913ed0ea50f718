#include "file_io.h"

#include <cstring>
#include <random>
#include <system_error>

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

} // namespace

Bytes readWholeFile(const fs::path& path, std::uint64_t limit) {
    const std::uint64_t size = regularFileSize(path);
    if (size > limit)
        throw ToolError(path, std::to_string(size) + " bytes, more than the " +
                                  std::to_string(limit) + " a file here may have");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(path, "cannot be opened for reading");
    Bytes bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uint64_t>(in.gcount()) != size)
        throw ToolError(path, "could not be read to its end");
    return bytes;
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

AtomicOutputFile::AtomicOutputFile(const fs::path& target) : target_(target) {
    if (target.filename().empty())
        throw ToolError(target, "names a folder, not an output file");
    std::error_code error;
    if (fs::is_directory(target, error))
        throw ToolError(target, "is a folder, not an output file");
    const fs::path folder = target.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error))
        throw ToolError(target, "its folder does not exist");

    std::random_device random;
    for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
        // Appended piece by piece: GCC 12 warns falsely about "." + std::string.
        std::string name(1, '.');
        name += utf8Of(target.filename());
        name += '.';
        name += std::to_string(random() % 1000000);
        name += ".tmp";
        const fs::path candidate = folder / pathFromUtf8(name);
        if (!fs::exists(candidate, error))
            temporary_ = candidate;
    }
    if (temporary_.empty())
        throw ToolError(target, "no free name for a temporary file beside it");
    stream_.open(temporary_, std::ios::binary | std::ios::trunc);
    if (!stream_) {
        temporary_.clear();
        throw ToolError(target, "cannot write in its folder");
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (committed_ || temporary_.empty())
        return;
    stream_.close();
    std::error_code ignored;
    fs::remove(temporary_, ignored);
}

void AtomicOutputFile::write(std::span<const std::uint8_t> bytes) {
    stream_.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    if (!stream_)
        throw ToolError(target_, "writing failed (is the disk full?)");
}

void AtomicOutputFile::commit() {
    stream_.flush();
    stream_.close();
    if (stream_.fail())
        throw ToolError(target_, "writing failed (is the disk full?)");
    std::error_code error;
    fs::rename(temporary_, target_, error);
    if (error)
        throw ToolError(target_, "cannot be replaced: " + error.message());
    committed_ = true;
}
