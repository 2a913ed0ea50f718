#include "flash/swf_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>

#include "base/trace.h"
#include "payload/compression/zlib_stream.h"
#include "system/file_operations.h"
#include "system/installer_paths.h"

namespace {

// The codes of the seam that mean "the file ended first" become the reader's
// own; every other failure of a read is the system's error, passed on.
ResultCode readFailure(platform::WinError error) {
    return error == platform::kErrorShortRead ? result::kSwfEndsEarly
                                              : static_cast<ResultCode>(error);
}

// An open movie read from its start, counting the bytes consumed.
class MovieFile {
  public:
    explicit MovieFile(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}

    ResultCode read(void* buffer, std::uint32_t size) {
        if (const platform::WinError error = platform::readExactly(*file_, buffer, size))
            return readFailure(error);
        position_ += size;
        return result::kOk;
    }

    // Reads and drops `size` bytes, a block at a time.
    ResultCode skip(std::uint32_t size) {
        std::array<std::uint8_t, kSwfCopyBlock> block;
        while (size > 0) {
            const std::uint32_t piece = std::min<std::uint32_t>(size, block.size());
            if (const ResultCode code = read(block.data(), piece))
                return code;
            size -= piece;
        }
        return result::kOk;
    }

    std::uint64_t position() const { return position_; }

  private:
    std::unique_ptr<platform::File> file_;
    std::uint64_t position_ = 0;
};

// `count` bits of `bytes` from bit `first` on, bit 0 being the most
// significant bit of the first byte.
std::uint32_t bitField(std::span<const std::uint8_t> bytes, std::uint32_t first,
                       std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t bit = first; bit < first + count; ++bit)
        value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1u);
    return value;
}

// The compressed segment as the zlib stream's source. It notes when the
// stream asked for more bytes than the segment holds, which only a stream
// that has not reached its end does, and a failing read of the file.
class SegmentSource final : public ByteStream {
  public:
    explicit SegmentSource(platform::File& file) : file_(file) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (count <= 0)
            return 0;
        std::uint32_t got = 0;
        const auto wanted = static_cast<std::uint32_t>(
            std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
        if (const platform::WinError error = file_.read(buffer, wanted, got)) {
            error_ = error;
            return 0;
        }
        if (got == 0)
            ranDry_ = true;
        return got;
    }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override {
        std::uint64_t position = 0;
        if (const platform::WinError error = file_.seek(offset, origin, position))
            error_ = error;
        return static_cast<std::int64_t>(position);
    }

    bool ranDry() const { return ranDry_; }
    platform::WinError error() const { return error_; }

  private:
    platform::File& file_;
    bool ranDry_ = false;
    platform::WinError error_ = platform::kErrorNone;
};

std::unique_ptr<platform::File> openForWriting(platform::FileSystem& files,
                                               const std::string& path) {
    platform::WinError error = platform::kErrorNone;
    auto file = files.openFile(path, platform::OpenMode::CreateAlways, error);
    if (!file)
        trace("cannot create " + path + ":", static_cast<std::int64_t>(error));
    return file;
}

// Copies everything behind the movie's header into the segment file.
ResultCode copyCompressedSegment(platform::File& movie, platform::File& segment) {
    std::array<std::uint8_t, kSwfCopyBlock> block;
    for (;;) {
        std::uint32_t got = 0;
        if (const platform::WinError error = movie.read(block.data(), block.size(), got))
            return static_cast<ResultCode>(error);
        if (got == 0)
            return result::kOk;
        if (platform::writeAll(segment, block.data(), got) != platform::kErrorNone)
            return result::kSwfTempFileFailed;
    }
}

// Writes the expanded movie: "FWS", the compressed movie's version and file
// length, then the expansion of the segment.
ResultCode writeExpandedMovie(platform::FileSystem& files, const std::string& segmentPath,
                              const std::string& expandedPath,
                              const std::array<std::uint8_t, kSwfHeaderSize>& header) {
    platform::WinError error = platform::kErrorNone;
    trace("creating filestream");
    const auto segment = files.openFile(segmentPath, platform::OpenMode::ReadExisting, error);
    if (!segment)
        return result::kSwfTempFileFailed;
    SegmentSource source(*segment);
    TZDecompressionStream stream(source);

    const auto expanded = openForWriting(files, expandedPath);
    if (!expanded)
        return result::kSwfTempFileFailed;
    std::array<std::uint8_t, kSwfHeaderSize> fwsHeader = header;
    std::copy_n(kSwfUncompressedSignature, 3, fwsHeader.begin());
    trace("BlockWrite");
    if (platform::writeAll(*expanded, fwsHeader.data(), kSwfHeaderSize) != platform::kErrorNone)
        return result::kSwfTempFileFailed;

    // The expansion is kept whole, even where it runs past the length in
    // the header (the reader looks no further than that length); only a
    // movie beyond the cap is refused.
    std::uint64_t size = kSwfHeaderSize;
    std::array<std::uint8_t, kSwfCopyBlock> block;
    for (;;) {
        const std::int64_t got = stream.Read(block.data(), block.size());
        if (source.error() != platform::kErrorNone)
            return result::kSwfTempFileFailed;
        if (got <= 0)
            break;
        if (size + static_cast<std::uint64_t>(got) > kMaxExpandedMovieSize) {
            trace("expanded movie longer than", static_cast<std::int64_t>(kMaxExpandedMovieSize));
            return result::kSwfExpandedTooLarge;
        }
        if (platform::writeAll(*expanded, block.data(), static_cast<std::uint32_t>(got)) !=
            platform::kErrorNone)
            return result::kSwfTempFileFailed;
        size += static_cast<std::uint64_t>(got);
    }
    if (source.ranDry()) {
        trace("zlib stream ends early");
        return result::kSwfBadCompression;
    }
    trace("CloseFile");
    return result::kOk;
}

ResultCode inflateMovie(platform::Platform& platform, const std::string& swfFilename,
                        SwfMovieInfo& movie) {
    if (movie.swfTempFolder.empty()) {
        std::string folder;
        if (const ResultCode code = makeUniqueWorkFolder(platform, kSwfTempFolderPrefix, folder))
            return code;
        movie.swfTempFolder = folder;
    }
    if (!platform.files.fileExists(swfFilename))
        return result::kOk;

    platform::WinError error = platform::kErrorNone;
    std::array<std::uint8_t, kSwfHeaderSize> header{};
    const std::string segmentPath = movie.swfTempFolder + kCompressedSegmentName;
    {
        const auto source =
            platform.files.openFile(swfFilename, platform::OpenMode::ReadExisting, error);
        if (!source)
            return static_cast<ResultCode>(error);
        if (const platform::WinError readError =
                platform::readExactly(*source, header.data(), kSwfHeaderSize))
            return readFailure(readError);
        trace("AssignFile");
        const auto segment = openForWriting(platform.files, segmentPath);
        if (!segment)
            return result::kSwfTempFileFailed;
        if (const ResultCode code = copyCompressedSegment(*source, *segment))
            return code;
    } // both files are closed here
    return writeExpandedMovie(platform.files, segmentPath, movie.swfTempFolder + kExpandedMovieName,
                              header);
}

ResultCode readMovie(platform::Platform& platform, const std::string& path, SwfMovieInfo& movie) {
    movie.bgRed = movie.bgGreen = movie.bgBlue = 0;
    movie.allowScale = kScriptFlagTrue;
    movie.fullScreen = kScriptFlagTrue;
    movie.swfVersion = 0;
    if (!platform.files.fileExists(path))
        return result::kOk;

    platform::WinError error = platform::kErrorNone;
    auto opened = platform.files.openFile(path, platform::OpenMode::ReadExisting, error);
    if (!opened)
        return static_cast<ResultCode>(error);
    MovieFile file(std::move(opened));

    std::array<std::uint8_t, 4> bytes{};
    if (const ResultCode code = file.read(bytes.data(), 3))
        return code;
    if (!std::equal(bytes.begin(), bytes.begin() + 3, kSwfUncompressedSignature))
        return result::kNotSwfMovie;
    if (const ResultCode code = file.read(&movie.swfVersion, 1))
        return code;
    if (movie.swfVersion > kHighestSwfVersion)
        return result::kSwfVersionTooHigh;
    if (movie.swfVersion < kLowestSwfVersion)
        return result::kSwfVersionTooLow;
    if (const ResultCode code = file.read(bytes.data(), 4))
        return code;
    const std::uint32_t fileLength = convertBytesToDecimal(bytes);

    // The frame rectangle: Nbits, then Xmin, Xmax, Ymin and Ymax of Nbits each.
    std::array<std::uint8_t, 17> rect{}; // (5 + 4 * 31) bits at most
    if (const ResultCode code = file.read(rect.data(), 1))
        return code;
    const std::uint32_t nbits = rect[0] >> 3;
    const std::uint32_t rectSize = (5 + 4 * nbits + 7) / 8;
    if (const ResultCode code = file.read(rect.data() + 1, rectSize - 1))
        return code;
    movie.frameWidth = static_cast<std::int32_t>(bitField(rect, 5 + nbits, nbits) / 20);
    movie.frameHeight = static_cast<std::int32_t>(bitField(rect, 5 + 3 * nbits, nbits) / 20);
    if (const ResultCode code = file.skip(4)) // frame rate and frame count
        return code;

    std::array<std::uint8_t, 2> tagHeader{};
    std::uint32_t tagCode = 0;
    std::uint32_t tagLength = 0;
    if (const ResultCode code = file.read(tagHeader.data(), 2))
        return code;
    const auto decode = [&] {
        const bool background = isBackgroundColorTag(tagHeader, tagCode, tagLength);
        trace("tagNumber:", tagCode);
        trace("tagLength:", tagLength);
        return background;
    };
    while (!decode()) {
        if (tagCode == kTagEnd) {
            trace("tagNumber = 0");
            return result::kOk;
        }
        if (tagLength == kTagLongLength) {
            trace("tagLength = 63");
            if (const ResultCode code = file.read(bytes.data(), 4))
                return code;
            tagLength = convertBytesToDecimal(bytes);
            trace("after convertBytesToDecimal tagLength:", tagLength);
            if (tagLength > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
                return result::kSwfTagTooLong;
        }
        if (const ResultCode code = file.skip(tagLength))
            return code;
        trace("read tag");
        if (const ResultCode code = file.read(tagHeader.data(), 2))
            return code;
    }

    // SetBackgroundColor: red, green and blue in its first three bytes.
    if (tagLength < 3)
        return result::kSwfBackgroundTooShort;
    std::array<std::uint8_t, kTagLongLength> body{};
    if (const ResultCode code = file.read(body.data(), tagLength))
        return code;
    movie.bgRed = body[0];
    movie.bgGreen = body[1];
    movie.bgBlue = body[2];

    const std::int64_t left =
        static_cast<std::int64_t>(fileLength) - static_cast<std::int64_t>(file.position());
    if (left <= 0)
        return result::kSwfNoScriptWindow;
    const auto count = static_cast<std::uint32_t>(std::min<std::int64_t>(kScriptFlagWindow, left));
    std::array<std::uint8_t, kScriptFlagWindow> window;
    if (const ResultCode code = file.read(window.data(), count))
        return code;
    const std::span<const std::uint8_t> scripts(window.data(), count);
    movie.allowScale = findScriptFlag("ALLOWSCALE", scripts);
    movie.fullScreen = findScriptFlag("fullScreen", scripts);
    return result::kOk;
}

// Runs one of the reader's operations with its trace points. The zlib stream
// raises its failures, and an allocation may fail; both become result codes
// here, so nothing leaves the reader by an exception.
template <typename Operation> ResultCode traced(const char* name, Operation operation) {
    trace(name);
    ResultCode code = result::kOk;
    try {
        code = operation();
    } catch (const EZLibError& error) {
        trace("zlib:", error.what());
        code = result::kSwfBadCompression;
    } catch (const std::bad_alloc&) {
        code = static_cast<ResultCode>(platform::kErrorNotEnoughMemory);
    }
    trace(name, code);
    return code;
}

} // namespace

ResultCode readSWFFileFormatType(platform::Platform& platform, const std::string& swfFilename,
                                 SwfMovieInfo& movie) {
    return traced("readSWFFileFormatType", [&]() -> ResultCode {
        if (!platform.files.fileExists(swfFilename))
            return result::kOk;
        platform::WinError error = platform::kErrorNone;
        const auto file =
            platform.files.openFile(swfFilename, platform::OpenMode::ReadExisting, error);
        if (!file)
            return static_cast<ResultCode>(error);
        // A file of fewer than three bytes has no signature at all.
        std::array<char, 3> signature{};
        std::uint32_t got = 0;
        while (got < signature.size()) {
            std::uint32_t part = 0;
            if (const platform::WinError readError =
                    file->read(signature.data() + got, signature.size() - got, part))
                return static_cast<ResultCode>(readError);
            if (part == 0)
                break;
            got += part;
        }
        movie.swfSignature.assign(signature.data(), got);
        if (movie.swfSignature != kSwfUncompressedSignature &&
            movie.swfSignature != kSwfCompressedSignature)
            return result::kNotSwfMovie;
        trace("readSWFFileFormatType: successful");
        return result::kOk;
    });
}

ResultCode inflateSWFFileToTempFile(platform::Platform& platform, const std::string& swfFilename,
                                    SwfMovieInfo& movie) {
    const bool folderWasThere = !movie.swfTempFolder.empty();
    const ResultCode code = traced("inflateSWFFileToTempFile",
                                   [&] { return inflateMovie(platform, swfFilename, movie); });
    // A failed expansion leaves nothing half written: both temporary files
    // go, and so does a folder that was made for this movie alone.
    if (code != result::kOk && !movie.swfTempFolder.empty()) {
        if (folderWasThere) {
            platform.files.deleteFile(movie.swfTempFolder + kCompressedSegmentName);
            platform.files.deleteFile(movie.swfTempFolder + kExpandedMovieName);
        } else {
            deleteFolderTree(platform.files, movie.swfTempFolder);
            movie.swfTempFolder.clear();
        }
    }
    return code;
}

ResultCode readSWFFile_FWS_Format(platform::Platform& platform, const std::string& path,
                                  SwfMovieInfo& movie) {
    return traced("readSWFFile_FWS_Format", [&] { return readMovie(platform, path, movie); });
}

bool isBackgroundColorTag(std::span<const std::uint8_t, 2> header, std::uint32_t& tagCode,
                          std::uint32_t& tagLength) {
    const std::uint32_t value = header[0] | (static_cast<std::uint32_t>(header[1]) << 8);
    tagCode = value >> 6;
    tagLength = value & 63u;
    return tagCode == kTagSetBackgroundColor;
}

std::uint32_t convertBytesToDecimal(std::span<const std::uint8_t, 4> bytes) {
    return bytes[0] | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::int32_t findScriptFlag(std::string_view name, std::span<const std::uint8_t> window) {
    const auto lower = [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    };
    if (window.size() < name.size() + 2)
        return kScriptFlagNotFound;
    const std::size_t lastStart = window.size() - name.size() - 2;
    for (std::size_t start = 0; start <= lastStart; ++start) {
        std::size_t i = 0;
        while (i < name.size() && lower(window[start + i]) == lower(name[i]))
            ++i;
        if (i < name.size())
            continue;
        // Behind the name: the string's terminating zero, then the value.
        switch (lower(window[start + name.size() + 1])) {
        case 'f':
            return kScriptFlagFalse;
        case 't':
            return kScriptFlagTrue;
        default:
            return kScriptFlagOtherValue;
        }
    }
    return kScriptFlagNotFound;
}
