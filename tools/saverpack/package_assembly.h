// Turns a checked package description into the finished installer: reads
// every file it names, builds the saver data file and lays out the package
// behind the stub.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "package_builder.h"
#include "package_description.h"
#include "progress.h"

struct AssembledInstaller {
    Bytes bytes;
    std::vector<std::string> warnings; // things that work, but maybe not as meant
};

// The plan must have its implode library set. The package goes behind an
// image of `imageSize` bytes (the product's, unless a test program reads its
// package elsewhere). Each data file and entry packed is reported to
// `progress`. Throws ToolError naming the file and the problem.
AssembledInstaller assembleInstaller(const PackagePlan& plan, std::span<const std::uint8_t> stub,
                                     const CompressionChoice& choice,
                                     std::int64_t imageSize = INSTALLER_SIZE_IN_BYTES,
                                     ProgressSink& progress = noProgress());
