#include "payload/package_records.h"

#include <algorithm>
#include <cstring>

namespace {

// Header field offsets.
constexpr std::size_t kTitleOffset = 6;
constexpr std::size_t kEntriesOffset = 72;
// Entry field offsets.
constexpr std::size_t kEntryFirstByte = 256;
constexpr std::size_t kEntryLastByte = 260;
constexpr std::size_t kEntryKind = 264;
constexpr std::size_t kEntryCompressed = 268;
constexpr std::size_t kEntryReserved = 272;
constexpr std::size_t kEntryExpandedSize = 276;
// Settings record fields.
constexpr std::size_t kFileCountOffset = 212;
constexpr std::size_t kSaverKindOffset = 1208;
// File table record fields.
constexpr std::size_t kTableNameOffset = 2;
constexpr std::size_t kTableItemOffset = 260;
// Item header fields.
constexpr std::size_t kItemSize = 8;
constexpr std::size_t kItemStoredSize = 12;
constexpr std::size_t kItemCompressed = 16;

static_assert(kEntriesOffset + kPackageEntryCount * kPackageEntrySize == kInstallerHeaderSize);

// A NUL-padded text field: the bytes up to the first NUL, or the whole field.
std::string paddedText(const std::uint8_t* field, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(field);
    return std::string(begin, std::find(begin, begin + size, '\0'));
}

void putText(std::uint8_t* field, std::size_t size, const std::string& text) {
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

} // namespace

std::int32_t readInt32(const std::uint8_t* bytes) {
    const std::uint32_t value =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void writeInt32(std::uint8_t* bytes, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

PackageEntry readPackageEntry(std::span<const std::uint8_t, kPackageEntrySize> bytes) {
    PackageEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(bytes.data() + 1), bytes[0]);
    entry.firstByte = readInt32(bytes.data() + kEntryFirstByte);
    entry.lastByte = readInt32(bytes.data() + kEntryLastByte);
    entry.kind = readInt32(bytes.data() + kEntryKind);
    entry.compressed = bytes[kEntryCompressed];
    entry.reserved = readInt32(bytes.data() + kEntryReserved);
    entry.expandedSize = readInt32(bytes.data() + kEntryExpandedSize);
    return entry;
}

EntryBytes writePackageEntry(const PackageEntry& entry) {
    EntryBytes bytes{};
    const std::size_t length = std::min(entry.name.size(), kEntryNameField);
    bytes[0] = static_cast<std::uint8_t>(length);
    std::memcpy(bytes.data() + 1, entry.name.data(), length);
    writeInt32(bytes.data() + kEntryFirstByte, entry.firstByte);
    writeInt32(bytes.data() + kEntryLastByte, entry.lastByte);
    writeInt32(bytes.data() + kEntryKind, entry.kind);
    bytes[kEntryCompressed] = entry.compressed;
    writeInt32(bytes.data() + kEntryReserved, entry.reserved);
    writeInt32(bytes.data() + kEntryExpandedSize, entry.expandedSize);
    return bytes;
}

InstallerHeader
readInstallerHeaderRecord(std::span<const std::uint8_t, kInstallerHeaderSize> bytes) {
    InstallerHeader header;
    header.installMode = bytes[0];
    header.hasLicence = bytes[1];
    header.hasDocument = bytes[2];
    header.carriesFlashInstaller = bytes[3];
    header.flashAXInstallerVersion = bytes[4];
    header.offerControlPanel = bytes[5];
    header.saverTitle = paddedText(bytes.data() + kTitleOffset, kSaverTitleField);
    for (std::size_t i = 0; i < kPackageEntryCount; ++i) {
        header.entries[i] = readPackageEntry(
            bytes.subspan(kEntriesOffset + i * kPackageEntrySize).first<kPackageEntrySize>());
    }
    return header;
}

HeaderBytes writeInstallerHeaderRecord(const InstallerHeader& header) {
    HeaderBytes bytes{};
    bytes[0] = header.installMode;
    bytes[1] = header.hasLicence;
    bytes[2] = header.hasDocument;
    bytes[3] = header.carriesFlashInstaller;
    bytes[4] = header.flashAXInstallerVersion;
    bytes[5] = header.offerControlPanel;
    putText(bytes.data() + kTitleOffset, kSaverTitleField, header.saverTitle);
    for (std::size_t i = 0; i < kPackageEntryCount; ++i) {
        const EntryBytes entry = writePackageEntry(header.entries[i]);
        std::copy(entry.begin(), entry.end(),
                  bytes.begin() + kEntriesOffset + i * kPackageEntrySize);
    }
    return bytes;
}

std::int32_t SettingsRecord::fileCount() const {
    return readInt32(bytes.data() + kFileCountOffset);
}
void SettingsRecord::setFileCount(std::int32_t count) {
    writeInt32(bytes.data() + kFileCountOffset, count);
}
std::int32_t SettingsRecord::saverKind() const {
    return readInt32(bytes.data() + kSaverKindOffset);
}
void SettingsRecord::setSaverKind(std::int32_t kind) {
    writeInt32(bytes.data() + kSaverKindOffset, kind);
}

FileTableRecord readFileTableRecord(std::span<const std::uint8_t, kFileTableRecordSize> bytes) {
    FileTableRecord record;
    record.kind = bytes[0];
    record.name = paddedText(bytes.data() + kTableNameOffset, kTableNameField);
    record.itemOffset = readInt32(bytes.data() + kTableItemOffset);
    return record;
}

TableRecordBytes writeFileTableRecord(const FileTableRecord& record) {
    TableRecordBytes bytes{};
    bytes[0] = record.kind;
    putText(bytes.data() + kTableNameOffset, kTableNameField, record.name);
    writeInt32(bytes.data() + kTableItemOffset, record.itemOffset);
    return bytes;
}

ItemHeader readItemHeader(std::span<const std::uint8_t, kItemHeaderSize> bytes) {
    ItemHeader header;
    header.size = readInt32(bytes.data() + kItemSize);
    header.storedSize = readInt32(bytes.data() + kItemStoredSize);
    header.compressed = readInt32(bytes.data() + kItemCompressed);
    return header;
}

ItemHeaderBytes writeItemHeader(const ItemHeader& header) {
    ItemHeaderBytes bytes{};
    writeInt32(bytes.data() + kItemSize, header.size);
    writeInt32(bytes.data() + kItemStoredSize, header.storedSize);
    writeInt32(bytes.data() + kItemCompressed, header.compressed);
    return bytes;
}
