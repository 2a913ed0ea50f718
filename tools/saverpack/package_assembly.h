// Turns a checked package description into the finished installer: packs
// every file it names on a pool of workers, builds the saver data file and
// writes the package behind the stub, each file in its place as it is done.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file_io.h"
#include "package_builder.h"
#include "package_description.h"
#include "progress.h"

struct PackingOptions {
    CompressionChoice choice;
    // Files compressed at once; the installer is the same for any number.
    unsigned int workers = 1;
    // Where the header goes: the product's image size, unless a test
    // program reads its package elsewhere.
    std::int64_t imageSize = INSTALLER_SIZE_IN_BYTES;
    ProgressSink* progress = &noProgress(); // each file packed is reported here
};

struct WrittenInstaller {
    std::uint64_t size = 0;
    std::vector<std::string> warnings; // things that work, but maybe not as meant
};

// The number of workers when none is asked for: one per core.
unsigned int defaultPackingWorkers();

// Writes the installer to `out`, which it leaves uncommitted. The plan must
// have its implode library set. Each file is opened once (a file of the
// saver through openFileInside) and streamed to its place; the bytes held
// at once stay within a fixed budget or, for one large file, twice its size.
// Throws ToolError naming the file and the problem; what `out` holds then is
// not an installer.
WrittenInstaller writeInstaller(const PackagePlan& plan, std::span<const std::uint8_t> stub,
                                const PackingOptions& options, AtomicOutputFile& out);
