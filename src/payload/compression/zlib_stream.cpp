#include "payload/compression/zlib_stream.h"

#include <vector>

namespace {

constexpr const char* kInvalidOperation = "Invalid ZStream operation!";

const char* zlibCodeText(int code) {
    switch (code) {
    case Z_NEED_DICT:
        return "need dictionary";
    case Z_STREAM_END:
        return "stream end";
    case Z_OK:
        return "";
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "";
    }
}

} // namespace

int checkZlibCode(int code) {
    if (code < 0)
        throw EZDecompressionError(zlibCodeText(code));
    return code;
}

TCustomZStream::TCustomZStream(ByteStream& source)
    : source_(source), sourcePosition_(source.Position()) {}

TZDecompressionStream::TZDecompressionStream(ByteStream& source) : TCustomZStream(source) {
    zstream_.next_in = input_.data();
    zstream_.avail_in = 0;
    checkZlibCode(inflateInit(&zstream_));
}

TZDecompressionStream::~TZDecompressionStream() {
    inflateEnd(&zstream_);
}

std::int64_t TZDecompressionStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0)
        return 0;
    zstream_.next_out = static_cast<Bytef*>(buffer);
    zstream_.avail_out = static_cast<uInt>(count);
    if (source_.Position() != sourcePosition_)
        source_.Seek(sourcePosition_, platform::SeekOrigin::Begin);

    while (zstream_.avail_out > 0 && lastCode_ != Z_STREAM_END) {
        if (zstream_.avail_in == 0) {
            const std::int64_t got = source_.Read(input_.data(), kInputBufferSize);
            if (got <= 0)
                break;
            zstream_.next_in = input_.data();
            zstream_.avail_in = static_cast<uInt>(got);
            sourcePosition_ = source_.Position();
        }
        lastCode_ = checkZlibCode(inflate(&zstream_, Z_NO_FLUSH));
        if (lastCode_ == Z_NEED_DICT) {
            // No dictionary is ever set: the stream cannot go on, and
            // asking again would only loop.
            lastCode_ = Z_STREAM_END;
            zstream_.avail_in = 0;
        }
    }

    if (lastCode_ == Z_STREAM_END && zstream_.avail_in > 0) {
        // Give the bytes behind the zlib stream back to the source.
        sourcePosition_ =
            source_.Seek(sourcePosition_ - zstream_.avail_in, platform::SeekOrigin::Begin);
        zstream_.avail_in = 0;
    }
    return count - zstream_.avail_out;
}

std::int64_t TZDecompressionStream::Write(const void*, std::int64_t) {
    throw EZDecompressionError(kInvalidOperation);
}

void TZDecompressionStream::skipForward(std::int64_t distance) {
    std::vector<unsigned char> piece(kSkipPiece);
    while (distance > 0) {
        const std::int64_t got = Read(piece.data(), std::min(distance, kSkipPiece));
        if (got <= 0)
            break;
        distance -= got;
    }
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
    const auto delivered = [this] { return static_cast<std::int64_t>(zstream_.total_out); };
    if (offset == 0 && origin == platform::SeekOrigin::Begin) {
        checkZlibCode(inflateReset(&zstream_));
        zstream_.next_in = input_.data();
        zstream_.avail_in = 0;
        lastCode_ = Z_OK;
        sourcePosition_ = source_.Seek(0, platform::SeekOrigin::Begin);
    } else if ((offset >= 0 && origin == platform::SeekOrigin::Current) ||
               (origin == platform::SeekOrigin::Begin && offset > delivered())) {
        skipForward(origin == platform::SeekOrigin::Begin ? offset - delivered() : offset);
    } else if (offset == 0 && origin == platform::SeekOrigin::End) {
        std::vector<unsigned char> piece(kSkipPiece);
        while (Read(piece.data(), kSkipPiece) > 0) {
        }
    } else {
        throw EZDecompressionError(kInvalidOperation);
    }
    return delivered();
}
