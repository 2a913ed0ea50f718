#include "package_builder.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

// One stream being made, given up once it reaches `limit` bytes.
struct Attempt {
    explicit Attempt(ByteSource& from) : source(from) {}
    ByteSource& source;
    std::uint64_t position = 0;
    std::size_t limit = 0;
    Bytes stream;
    bool givenUp = false;
    bool readFailed = false;
};

constexpr std::size_t kReadPiece = 64 * 1024;

unsigned int IMPLODE_CDECL readAttempt(char* buf, unsigned int* size, void* param) {
    auto& attempt = *static_cast<Attempt*>(param);
    if (attempt.givenUp || attempt.readFailed)
        return 0; // the compressor ends its stream early
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>({*size, kReadPiece, attempt.source.size() - attempt.position}));
    if (count == 0)
        return 0;
    if (!attempt.source.read(attempt.position,
                             std::span(reinterpret_cast<std::uint8_t*>(buf), count))) {
        attempt.readFailed = true;
        return 0;
    }
    attempt.position += count;
    return static_cast<unsigned int>(count);
}

void IMPLODE_CDECL writeAttempt(char* buf, unsigned int* size, void* param) {
    auto& attempt = *static_cast<Attempt*>(param);
    if (attempt.givenUp || *size >= attempt.limit - attempt.stream.size()) {
        attempt.givenUp = true;
        return;
    }
    attempt.stream.insert(attempt.stream.end(), buf, buf + *size);
}

} // namespace

Compression compressSmaller(ByteSource& source, const CompressionChoice& choice) {
    Compression result;
    if (source.size() == 0 || source.size() > SIZE_MAX)
        return result;
    std::vector<unsigned int> modes = {implode::kModeBinary};
    if (choice.tryAscii)
        modes.push_back(implode::kModeAscii);
    for (unsigned int mode : modes) {
        Attempt attempt(source);
        attempt.limit =
            result.stream ? result.stream->size() : static_cast<std::size_t>(source.size());
        attempt.stream.reserve(attempt.limit);
        implode::ImplodeSettings settings;
        settings.mode = mode;
        settings.dictSize = choice.dictionarySize;
        settings.parse = choice.parse;
        const unsigned int code =
            implode::implodeStream(readAttempt, writeAttempt, &attempt, settings);
        if (attempt.readFailed) {
            result.readFailed = true;
            result.stream.reset();
            return result;
        }
        if (code == implode::kResultOk && !attempt.givenUp)
            result.stream = std::move(attempt.stream);
    }
    return result;
}

StoredBytes storeBytes(std::span<const std::uint8_t> data, bool allowCompression,
                       const CompressionChoice& choice) {
    if (allowCompression) {
        MemorySource source(data);
        Compression compression = compressSmaller(source, choice);
        if (compression.stream)
            return {std::move(*compression.stream), true};
    }
    return {Bytes(data.begin(), data.end()), false};
}

Bytes buildDataFile(const DataFileContent& content, const CompressionChoice& choice,
                    ProgressSink& progress) {
    if (content.items.size() > static_cast<std::size_t>(kMaxDataFiles))
        throw std::invalid_argument("more than 1010 data files");
    std::uint64_t storedItems = 0;
    std::uint64_t itemBytes = 0;
    for (const DataItemContent& item : content.items) {
        storedItems += item.kind != kTableKindCopy ? 1 : 0;
        itemBytes += item.bytes.size();
    }
    ProgressStage stage(progress, "packing data files", storedItems, itemBytes);
    SettingsRecord settings = content.settings;
    settings.setFileCount(static_cast<std::int32_t>(content.items.size()));

    Bytes out(settings.bytes.begin(), settings.bytes.end());
    const std::size_t tableStart = out.size();
    out.resize(tableStart + content.items.size() * kFileTableRecordSize);

    for (std::size_t i = 0; i < content.items.size(); ++i) {
        const DataItemContent& item = content.items[i];
        FileTableRecord record;
        record.kind = item.kind;
        record.name = item.name;
        if (item.kind != kTableKindCopy) {
            if (out.size() > static_cast<std::size_t>(INT32_MAX) ||
                item.bytes.size() > static_cast<std::size_t>(INT32_MAX))
                throw std::length_error("the data file grows beyond 2 GB");
            record.itemOffset = static_cast<std::int32_t>(out.size());
            const StoredBytes stored = storeBytes(item.bytes, item.compress, choice);
            ItemHeader header;
            header.size = static_cast<std::int32_t>(item.bytes.size());
            header.compressed = stored.compressed ? 1 : 0;
            header.storedSize = static_cast<std::int32_t>(stored.bytes.size());
            const ItemHeaderBytes headerBytes = writeItemHeader(header);
            out.insert(out.end(), headerBytes.begin(), headerBytes.end());
            // An empty file has no stored bytes: the installer writes none.
            if (!item.bytes.empty())
                out.insert(out.end(), stored.bytes.begin(), stored.bytes.end());
            stage.advance(item.bytes.size());
        }
        const TableRecordBytes recordBytes = writeFileTableRecord(record);
        std::copy(recordBytes.begin(), recordBytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(tableStart + i * kFileTableRecordSize));
    }
    return out;
}

Bytes buildInstaller(std::span<const std::uint8_t> stub, std::int64_t imageSize,
                     const PackageContent& content, const CompressionChoice& choice,
                     ProgressSink& progress) {
    if (imageSize < 0 || static_cast<std::int64_t>(stub.size()) > imageSize)
        throw std::invalid_argument("the stub is larger than the program image");
    Bytes out(stub.begin(), stub.end());
    out.resize(static_cast<std::size_t>(imageSize), 0);
    const std::size_t headerAt = out.size();
    out.resize(headerAt + kInstallerHeaderSize);

    InstallerHeader header = content.header;
    header.entries = {};
    std::uint64_t entries = 0;
    std::uint64_t entryBytes = 0;
    for (const auto& entry : content.entries) {
        entries += entry ? 1 : 0;
        entryBytes += entry ? entry->bytes.size() : 0;
    }
    ProgressStage stage(progress, "packing entries", entries, entryBytes);

    for (std::size_t index = 0; index < kPackageEntryCount; ++index) {
        const auto& entry = content.entries[index];
        if (!entry)
            continue;
        // The installer refuses a stored size below 1.
        if (entry->bytes.empty())
            throw std::invalid_argument("entry " + std::to_string(index) + " has no bytes");
        if (entry->bytes.size() > static_cast<std::size_t>(INT32_MAX))
            throw std::length_error("entry " + std::to_string(index) + " is larger than 2 GB");
        const StoredBytes stored = storeBytes(entry->bytes, entry->compress, choice);
        if (out.size() + stored.bytes.size() > static_cast<std::size_t>(INT32_MAX))
            throw std::length_error("the installer grows beyond 2 GB");
        PackageEntry& record = header.entries[index];
        record.name = entry->name;
        record.kind = entry->kind;
        record.compressed = stored.compressed ? 1 : 0;
        record.expandedSize = static_cast<std::int32_t>(entry->bytes.size());
        record.firstByte = static_cast<std::int32_t>(out.size());
        record.lastByte = static_cast<std::int32_t>(out.size() + stored.bytes.size()) - 1;
        out.insert(out.end(), stored.bytes.begin(), stored.bytes.end());
        stage.advance(entry->bytes.size());
    }
    const HeaderBytes headerBytes = writeInstallerHeaderRecord(header);
    std::copy(headerBytes.begin(), headerBytes.end(),
              out.begin() + static_cast<std::ptrdiff_t>(headerAt));
    return out;
}
