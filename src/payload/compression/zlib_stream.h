// A forward-only byte stream over the zlib inflater, reading its compressed
// bytes from a source stream.
#pragma once

#include <zlib.h>

#include <array>
#include <stdexcept>
#include <string>

#include "payload/compression/byte_stream.h"

class EZLibError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class EZDecompressionError : public EZLibError {
  public:
    using EZLibError::EZLibError;
};

// The text for a zlib code; negative codes raise EZDecompressionError with it
// and the others come back to the caller.
int checkZlibCode(int code);

class TCustomZStream : public ByteStream {
  public:
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

  protected:
    explicit TCustomZStream(ByteStream& source);
    ~TCustomZStream() override = default;

    ByteStream& source_;
    std::int64_t sourcePosition_;
    z_stream zstream_{};
};

class TZDecompressionStream final : public TCustomZStream {
  public:
    // The source stands at the first byte of the zlib stream.
    explicit TZDecompressionStream(ByteStream& source);
    ~TZDecompressionStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Always raises: the stream only reads.
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Only forward moves that can be read, a rewind to 0, and the end.
    std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;

  private:
    static constexpr std::size_t kInputBufferSize = 65536;
    static constexpr std::int64_t kSkipPiece = 8192;

    void skipForward(std::int64_t distance);

    std::array<unsigned char, kInputBufferSize> input_{};
    int lastCode_ = Z_OK;
};
