// Writes valid packages and implode streams as the fuzzers' starting corpus.
//   make_seeds PACKAGE_FOLDER EXPLODE_FOLDER
#include <fstream>
#include <string>

#include "package_builder.h"

namespace {

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + (i / 5 + i % 11) % 23);
    return out;
}

void save(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string packages = argv[1], streams = argv[2];
    for (int variant = 0; variant < 3; ++variant) {
        DataFileContent data;
        data.settings.setSaverKind(variant == 2 ? kSaverKindCopiesMovie : 0);
        data.items.push_back({"a.txt", 0, true, pattern(300, 'a')});
        data.items.push_back({"img\\b.bin", 0, variant == 1, pattern(120, 'b')});
        data.items.push_back({"c.txt", kTableKindCopy, true, {}});
        PackageContent content;
        content.header.installMode = variant == 0 ? installmode::kBitmap : installmode::kJpeg;
        content.header.hasDocument = variant == 1;
        content.header.saverTitle = variant == 0 ? "Aquarium Screen Saver" : "fish";
        content.entries[1] = {"impborl.dat", 4, false, text("MZ")};
        content.entries[3] = {"p.bmp", 4, true, pattern(200, 'p')};
        content.entries[5] = {"doc.txt", 4, true, pattern(90, 'd')};
        content.entries[6] = {"Aqua5405.scr", 2, true, pattern(400, 'e')};
        content.entries[7] = {"lib.bin", 3, true, pattern(100, 'l')};
        content.entries[8] = {"d.dat", 7, variant != 2, buildDataFile(data, {})};
        content.entries[9] = {"x.txt", 1, false, text("x")};
        content.entries[10] = {"y.txt", 10, true, pattern(80, 'y')};
        save(packages + "/package" + std::to_string(variant), buildInstaller({}, 64, content, {}));
    }
    const Bytes sample = pattern(2000, 'q');
    for (unsigned int mode : {implode::kModeBinary, implode::kModeAscii}) {
        for (unsigned int window : {1024u, 2048u, 4096u}) {
            implode::ImplodeSettings settings{mode, window, implode::Parse::fast};
            Bytes stream = implode::implodeBuffer(sample, settings).stream;
            stream.insert(stream.begin(), static_cast<std::uint8_t>(window / 64));
            save(streams + "/stream" + std::to_string(mode) + "_" + std::to_string(window), stream);
        }
    }
    return 0;
}
