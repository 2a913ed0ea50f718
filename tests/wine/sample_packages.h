// Packages for the Wine tests, laid out by the packaging tool's builder and
// carrying our real impborl.dll as entry 1.
#pragma once

#include <string>

#include "package_builder.h"

namespace winetest {

constexpr std::int64_t kSampleStubSize = 4096;

// Bytes of a given size that compress well, or not at all.
Bytes patternBytes(std::size_t size, std::uint8_t seed);
Bytes noiseBytes(std::size_t size, std::uint32_t seed);

// The impborl.dll built next to the test programs.
Bytes implodeLibraryBytes();

// A package with every entry an installation needs. The engine is named
// `engineName`; `libraryName` (kind 3) lands as a .dll in the shared folder.
PackageContent samplePackage(const std::string& title, const std::string& engineName,
                             const std::string& libraryName, const DataFileContent& data);

// The installer file: a stub of kSampleStubSize bytes and the package.
Bytes sampleInstaller(const PackageContent& content);

} // namespace winetest
