// Byte streams with read, write and seek, over memory or an open file.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform.h"

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Reads up to `count` bytes; returns how many arrived (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) = 0;
    std::int64_t Position() { return Seek(0, platform::SeekOrigin::Current); }
};

class MemoryStream final : public ByteStream {
  public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t position_ = 0;
};

// A stream over an open file; a failing read or write counts as no bytes.
class FileStream final : public ByteStream {
  public:
    explicit FileStream(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;

  private:
    std::unique_ptr<platform::File> file_;
};
