// Writes valid packages and implode streams as the fuzzers' starting corpus,
// and SWF movies when a third folder is named.
//   make_seeds PACKAGE_FOLDER EXPLODE_FOLDER [SWF_FOLDER]
#include <zlib.h>

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

// Small movies: uncompressed and compressed, with the tags the reader acts on.
void saveSwfSeeds(const std::string& folder) {
    const auto le32 = [](std::uint32_t v) {
        return Bytes{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                     std::uint8_t(v >> 24)};
    };
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts)
            out.insert(out.end(), part.begin(), part.end());
        return out;
    };
    // A 550 by 400 rectangle (Nbits 15), frame rate 12, one frame.
    const Bytes frame = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F,
                         0xA0, 0x00, 0x00, 0x0C, 0x01, 0x00};
    const Bytes end = {0x00, 0x00};
    const Bytes background = {0x43, 0x02, 0x10, 0x20, 0x30};
    const Bytes longTag = join({{0xFF, 0x02}, le32(100), pattern(100, 's')});
    const Bytes scripts = text(std::string("ALLOWSCALE\0false\0fullScreen\0true\0", 33));
    const Bytes bodies[] = {
        join({frame, end}),
        join({frame, {0x40, 0x00}, background, scripts, pattern(300, 'f')}),
        join({frame, longTag, {0x40, 0x00}, background, pattern(40, 'g'), scripts}),
    };
    int n = 0;
    for (const Bytes& body : bodies) {
        const Bytes length = le32(static_cast<std::uint32_t>(8 + body.size()));
        save(folder + "/fws" + std::to_string(n), join({text("FWS"), {9}, length, body}));
        uLongf size = compressBound(static_cast<uLong>(body.size()));
        Bytes packed(size);
        compress(packed.data(), &size, body.data(), static_cast<uLong>(body.size()));
        packed.resize(size);
        save(folder + "/cws" + std::to_string(n), join({text("CWS"), {9}, length, packed}));
        ++n;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
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
            // fuzz_explode's two bytes that choose its read sizes.
            stream.insert(stream.begin(), {static_cast<std::uint8_t>(window / 64),
                                           static_cast<std::uint8_t>(window / 1024)});
            save(streams + "/stream" + std::to_string(mode) + "_" + std::to_string(window), stream);
        }
    }
    if (argc == 4)
        saveSwfSeeds(argv[3]);
    return 0;
}
