// The records of the package behind the installer's program image and of the
// saver data file, with their exact byte layouts (little-endian, signed
// 32-bit integers, single-byte ANSI texts). One reader and one writer each,
// shared by the installer and the packaging tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The byte size of the installer's program image: the package starts here.
constexpr std::int32_t INSTALLER_SIZE_IN_BYTES = 698368;

constexpr std::size_t kInstallerHeaderSize = 3152;
constexpr std::size_t kPackageEntrySize = 280;
constexpr std::size_t kPackageEntryCount = 11; // indices 0 to 10
constexpr std::size_t kSettingsRecordSize = 1240;
constexpr std::size_t kFileTableRecordSize = 264;
constexpr std::size_t kItemHeaderSize = 44;

constexpr std::size_t kSaverTitleField = 64;
constexpr std::size_t kEntryNameField = 255;
constexpr std::size_t kTableNameField = 256;
constexpr std::int32_t kMaxDataFiles = 1010;

// Entry indices by role.
namespace entry {
constexpr std::size_t kFirstFile = 1; // the implode library, "impborl.dat"
constexpr std::size_t kFlashInstaller = 2;
constexpr std::size_t kPreview = 3;
constexpr std::size_t kLicence = 4;
constexpr std::size_t kDocument = 5;
constexpr std::size_t kEngine = 6;
constexpr std::size_t kDataFile = 8;
constexpr std::size_t kLast = 10;
} // namespace entry

// Install modes of the header.
namespace installmode {
constexpr std::uint8_t kBitmap = 1;
constexpr std::uint8_t kMovie = 2;
constexpr std::uint8_t kMovieToo = 3;
constexpr std::uint8_t kQuiet = 4;
constexpr std::uint8_t kJpeg = 8;
} // namespace installmode

struct PackageEntry {
    std::string name; // empty: the entry is absent
    std::int32_t firstByte = 0;
    std::int32_t lastByte = 0; // inclusive
    std::int32_t kind = 0;
    std::uint8_t compressed = 0;
    std::int32_t reserved = 0; // carried, not read by the installer
    std::int32_t expandedSize = 0;

    bool present() const { return !name.empty(); }
    // lastByte - firstByte + 1, computed without overflow.
    std::int64_t storedSize() const { return static_cast<std::int64_t>(lastByte) - firstByte + 1; }
};

struct InstallerHeader {
    std::uint8_t installMode = 0;
    std::uint8_t hasLicence = 0;
    std::uint8_t hasDocument = 0;
    std::uint8_t carriesFlashInstaller = 0;
    std::uint8_t flashAXInstallerVersion = 0;
    std::uint8_t offerControlPanel = 0;
    std::string saverTitle; // up to 64 bytes, NUL padding removed
    std::array<PackageEntry, kPackageEntryCount> entries;
};

// The saver's settings: opaque to the installer but for two fields.
struct SettingsRecord {
    std::array<std::uint8_t, kSettingsRecordSize> bytes{};

    std::int32_t fileCount() const;
    void setFileCount(std::int32_t count);
    std::int32_t saverKind() const;
    void setSaverKind(std::int32_t kind);
};

constexpr std::int32_t kSaverKindCopiesMovie = 3;
constexpr std::uint8_t kTableKindCopy = 3;

struct FileTableRecord {
    std::uint8_t kind = 0;
    std::string name; // relative to the saver folder; empty: skipped
    std::int32_t itemOffset = 0;
};

struct ItemHeader {
    std::int32_t size = 0;       // 0: no file is written
    std::int32_t storedSize = 0; // stored bytes of a compressed item
    std::int32_t compressed = 0;

    // The number of stored bytes that follow the header.
    std::int32_t bytesFollowing() const { return compressed != 0 ? storedSize : size; }
};

using HeaderBytes = std::array<std::uint8_t, kInstallerHeaderSize>;
using EntryBytes = std::array<std::uint8_t, kPackageEntrySize>;
using TableRecordBytes = std::array<std::uint8_t, kFileTableRecordSize>;
using ItemHeaderBytes = std::array<std::uint8_t, kItemHeaderSize>;

InstallerHeader
readInstallerHeaderRecord(std::span<const std::uint8_t, kInstallerHeaderSize> bytes);
HeaderBytes writeInstallerHeaderRecord(const InstallerHeader& header);

PackageEntry readPackageEntry(std::span<const std::uint8_t, kPackageEntrySize> bytes);
EntryBytes writePackageEntry(const PackageEntry& entry);

FileTableRecord readFileTableRecord(std::span<const std::uint8_t, kFileTableRecordSize> bytes);
TableRecordBytes writeFileTableRecord(const FileTableRecord& record);

ItemHeader readItemHeader(std::span<const std::uint8_t, kItemHeaderSize> bytes);
ItemHeaderBytes writeItemHeader(const ItemHeader& header);

// Little-endian signed 32-bit fields.
std::int32_t readInt32(const std::uint8_t* bytes);
void writeInt32(std::uint8_t* bytes, std::int32_t value);
