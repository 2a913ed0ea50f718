// Lays out an installer: the stub padded to the program-image size, the
// header, and the stored bytes of every entry; and the saver data file with
// its settings record, file table and items. Files are compressed with our
// implode unless that does not make them smaller.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_io.h"
#include "implode/implode.h"
#include "payload/package_records.h"
#include "progress.h"

struct CompressionChoice {
    implode::Parse parse = implode::Parse::fast;
    unsigned int dictionarySize = implode::kDictionary4K;
    bool tryAscii = true; // also try the ASCII literal mode and keep the smaller stream
};

// The stored form of one file.
struct StoredBytes {
    Bytes bytes;
    bool compressed = false;
};

// The implode stream of what `source` holds, when that is smaller; none
// when it is not (the bytes are then stored as they are). Each literal mode
// tried is given up as soon as its stream is no smaller than the best so
// far, so bytes that do not shrink are not compressed to their end, and the
// memory taken stays below twice the source's size. `readFailed`: the
// source did not give all of its bytes.
struct Compression {
    std::optional<Bytes> stream;
    bool readFailed = false;
};
Compression compressSmaller(ByteSource& source, const CompressionChoice& choice);

// The implode stream of `data` when it is smaller than `data`, else `data`.
StoredBytes storeBytes(std::span<const std::uint8_t> data, bool allowCompression,
                       const CompressionChoice& choice);

struct EntryContent {
    std::string name;
    std::int32_t kind = 0;
    bool compress = true;
    Bytes bytes;
};

struct PackageContent {
    // The flags and the title; buildInstaller fills in the entry records.
    InstallerHeader header;
    std::array<std::optional<EntryContent>, kPackageEntryCount> entries;
};

struct DataItemContent {
    std::string name;      // relative to the saver folder
    std::uint8_t kind = 0; // kTableKindCopy: a copy the installer makes; no item stored
    bool compress = true;
    Bytes bytes;
};

struct DataFileContent {
    SettingsRecord settings; // fileCount is set from the items
    std::vector<DataItemContent> items;
};

// Both report each item or entry they pack to `progress`.
Bytes buildDataFile(const DataFileContent& content, const CompressionChoice& choice,
                    ProgressSink& progress = noProgress());

// The finished installer; `imageSize` is where the header goes (the stub is
// padded with zeros up to it and must not be larger).
Bytes buildInstaller(std::span<const std::uint8_t> stub, std::int64_t imageSize,
                     const PackageContent& content, const CompressionChoice& choice,
                     ProgressSink& progress = noProgress());
