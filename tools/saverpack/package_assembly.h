// Turns a checked package description into the finished installer: reads
// every file it names, builds the saver data file and lays out the package
// behind the stub.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "package_builder.h"
#include "package_description.h"

struct AssembledInstaller {
    Bytes bytes;
    std::vector<std::string> warnings; // things that work, but maybe not as meant
};

// The plan must have its implode library set. Throws ToolError naming the
// file and the problem.
AssembledInstaller assembleInstaller(const PackagePlan& plan, std::span<const std::uint8_t> stub,
                                     const CompressionChoice& choice);
