// Reading a finished installer back: the header, every entry and, inside
// the saver data file, every table record and item. The file may be hostile:
// every offset and size is checked against the bytes that are really there
// before anything is read or allocated, and expansion stops one byte past the
// size a record claims.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "file_io.h"
#include "payload/package_records.h"
#include "progress.h"

struct ItemReport {
    std::size_t index = 0; // table slot, from 1
    FileTableRecord record;
    std::optional<ItemHeader> header; // for stored items whose header could be read
};

struct DataFileReport {
    std::uint64_t size = 0;
    std::int32_t fileCount = 0;
    std::int32_t saverKind = 0;
    std::vector<ItemReport> items;
};

struct PackageReport {
    std::uint64_t fileSize = 0;
    bool headerRead = false;
    InstallerHeader header;
    std::optional<DataFileReport> dataFile;
    std::vector<std::string> checks;   // what was verified and held
    std::vector<std::string> problems; // what the installer would refuse or trip over
};

enum class InspectionDepth {
    list,   // the header, the entries and the data file's table
    verify, // and every entry and item expanded and measured
};

// A verification reports each entry and data file it checks to `progress`.
PackageReport inspectPackage(ByteSource& package, InspectionDepth depth,
                             ProgressSink& progress = noProgress());

// The header fields, the entries and the data-file items as tables.
void printListing(const PackageReport& report, std::ostream& out);

// Expands one implode stream of `storedSize` bytes at `offset`, keeping at
// most `limit` + 1 bytes of output when `keep` is given.
struct Expansion {
    unsigned int result = 0; // implode::kResult...
    bool readFailed = false; // the stored bytes are not all there
    bool overflow = false;   // more output than `limit`
    std::uint64_t produced = 0;
};
Expansion expandStored(ByteSource& source, std::uint64_t offset, std::uint64_t storedSize,
                       std::uint64_t limit, Bytes* keep);

// What went wrong in an implode or explode run, for messages.
std::string describeImplodeResult(unsigned int result);
