#include "sample_packages.h"

#include "wine_test_support.h"

namespace winetest {

Bytes patternBytes(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + (i / 9 + i % 17) % 26);
    return out;
}

Bytes noiseBytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return out;
}

Bytes implodeLibraryBytes() {
    const std::string text = readFile(programFolder() + "impborl.dll");
    return Bytes(text.begin(), text.end());
}

PackageContent samplePackage(const std::string& title, const std::string& engineName,
                             const std::string& libraryName, const DataFileContent& data) {
    PackageContent content;
    content.header.installMode = installmode::kQuiet;
    content.header.saverTitle = title;
    content.entries[1] = {"impborl.dat", 4, false, implodeLibraryBytes()};
    content.entries[3] = {"preview.bmp", 4, true, patternBytes(5000, 'p')};
    content.entries[6] = {engineName, 2, true, patternBytes(60000, 'e')};
    content.entries[7] = {"helper.txt", 7, true, patternBytes(3000, 'h')};
    content.entries[8] = {"saver.pkg", 4, true, buildDataFile(data, {})};
    content.entries[9] = {libraryName, 3, true, patternBytes(7000, 'l')};
    content.entries[10] = {"notes.txt", 10, false, patternBytes(100, 'n')};
    return content;
}

Bytes sampleInstaller(const PackageContent& content) {
    return buildInstaller(Bytes(kSampleStubSize / 2, 'S'), kSampleStubSize, content, {});
}

} // namespace winetest
