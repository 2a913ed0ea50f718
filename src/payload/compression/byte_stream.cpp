#include "payload/compression/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

std::int64_t MemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || position_ >= static_cast<std::int64_t>(bytes_.size()))
        return 0;
    const std::int64_t n = std::min<std::int64_t>(count, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t MemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0)
        return 0;
    const auto end = static_cast<std::size_t>(position_ + count);
    if (bytes_.size() < end)
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ += count;
    return count;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == platform::SeekOrigin::Current)
        base = position_;
    else if (origin == platform::SeekOrigin::End)
        base = static_cast<std::int64_t>(bytes_.size());
    position_ = std::max<std::int64_t>(0, base + offset);
    return position_;
}

std::int64_t FileStream::Read(void* buffer, std::int64_t count) {
    std::int64_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < count) {
        const auto chunk = static_cast<std::uint32_t>(
            std::min<std::int64_t>(count - total, std::numeric_limits<std::int32_t>::max()));
        std::uint32_t got = 0;
        if (file_->read(out + total, chunk, got) != platform::kErrorNone || got == 0)
            break;
        total += got;
    }
    return total;
}

std::int64_t FileStream::Write(const void* buffer, std::int64_t count) {
    std::uint32_t written = 0;
    if (count <= 0 || count > std::numeric_limits<std::int32_t>::max())
        return 0;
    file_->write(buffer, static_cast<std::uint32_t>(count), written);
    return written;
}

std::int64_t FileStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
    std::uint64_t position = 0;
    if (file_->seek(offset, origin, position) != platform::kErrorNone)
        file_->seek(0, platform::SeekOrigin::Current, position);
    return static_cast<std::int64_t>(position);
}
