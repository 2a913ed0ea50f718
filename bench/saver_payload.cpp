// Writes the installation benchmark's saver "Lagoon": a package description, the saver's own
// files (engine, preview, licence, document, three further files, settings record) and a data
// folder of exactly 1000 files and 52,428,800 bytes (50 MiB), three folders deep:
//   media\movies\hd\reef-tour.avi      one file of 20 MiB, movie frames that do not compress
//   scenes\<place>\<light>\NNNN.bmp|jpg  520 pictures, 17 MiB, headers and noise: no compression
//   text\<language>\<kind>\NNNN.txt|xml  280 texts, 6 MiB, words and markup: they compress
//   engine\<part>\<arch>\NNNN.dll|bin   199 programs and tables, 7 MiB: code-like bytes
// Every byte comes from one fixed-seed generator, so every run on every machine writes the same
// files. It also writes, as "tree", the saver folder a quiet installation leaves: the data
// folder's files with the three further files, the document and the settings record
// (saver.dat, which the installer writes with its own values, same size) beside them.
//
// Usage: saver_payload OUT_FOLDER
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kDataBytes = 50 * kMiB;
constexpr std::uint64_t kMovieBytes = 20 * kMiB;
constexpr std::uint64_t kSettingsBytes = 1240;

// splitmix64: small, fast and the same everywhere.
class Generator {
  public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A number in [0, bound).
    std::uint32_t below(std::uint32_t bound) {
        return static_cast<std::uint32_t>((next() >> 32) * bound >> 32);
    }
    void fill(std::uint8_t* out, std::size_t count) {
        while (count >= 8) {
            const std::uint64_t v = next();
            for (int i = 0; i < 8; ++i)
                out[i] = static_cast<std::uint8_t>(v >> (8 * i));
            out += 8;
            count -= 8;
        }
        const std::uint64_t v = next();
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

  private:
    std::uint64_t state_;
};

void putLe(Bytes& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// Pads or cuts to exactly `size` bytes, padding with noise.
void fitNoise(Bytes& out, std::size_t size, Generator& random) {
    const std::size_t had = out.size();
    out.resize(size);
    if (size > had)
        random.fill(out.data() + had, size - had);
}

Bytes bmpHeader(std::uint32_t fileSize) {
    const std::uint32_t pixels = fileSize > 54 ? fileSize - 54 : 0;
    const std::uint32_t width = 256;
    const std::uint32_t height = pixels / (width * 3) + 1;
    Bytes out;
    append(out, "BM");
    putLe(out, fileSize, 4);
    putLe(out, 0, 4);
    putLe(out, 54, 4);
    putLe(out, 40, 4);
    putLe(out, width, 4);
    putLe(out, height, 4);
    putLe(out, 1, 2);
    putLe(out, 24, 2);
    putLe(out, 0, 4);
    putLe(out, pixels, 4);
    putLe(out, 2835, 4);
    putLe(out, 2835, 4);
    putLe(out, 0, 8);
    return out;
}

// A bitmap or JPEG-like picture: a real header, then noise (compressed picture data).
Bytes picture(bool jpeg, std::size_t size, Generator& random) {
    Bytes out;
    if (jpeg) {
        const std::uint8_t soi[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',
                                    'F',  0x00, 0x01, 0x01, 0x00, 0x00, 0x48, 0x00, 0x48,
                                    0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00};
        out.assign(std::begin(soi), std::end(soi));
        fitNoise(out, size - 2, random);
        out.push_back(0xFF);
        out.push_back(0xD9);
    } else {
        out = bmpHeader(static_cast<std::uint32_t>(size));
        fitNoise(out, size, random);
    }
    return out;
}

// A movie of 64 KiB frames, each behind a RIFF chunk header.
Bytes movie(std::size_t size, Generator& random) {
    Bytes out;
    append(out, "RIFF");
    putLe(out, size - 8, 4);
    append(out, "AVI LIST");
    out.reserve(size);
    while (out.size() + 8 < size) {
        const std::size_t frame = std::min<std::size_t>(64 * 1024, size - out.size() - 8);
        append(out, "00dc");
        putLe(out, frame, 4);
        fitNoise(out, out.size() + frame, random);
    }
    fitNoise(out, size, random);
    return out;
}

constexpr std::array<std::string_view, 96> kWords = {
    "the",      "of",     "and",     "a",         "to",        "in",       "is",      "you",
    "that",     "it",     "for",     "on",        "with",      "as",       "are",     "this",
    "be",       "at",     "or",      "by",        "from",      "screen",   "saver",   "fish",
    "water",    "light",  "reef",    "coral",     "lagoon",    "wave",     "blue",    "deep",
    "shallow",  "school", "swims",   "slowly",    "bright",    "colours",  "sand",    "shell",
    "turtle",   "ray",    "current", "bubbles",   "surface",   "night",    "morning", "sun",
    "moon",     "tide",   "each",    "scene",     "shows",     "picture",  "setting", "choose",
    "speed",    "number", "display", "monitor",   "power",     "saving",   "when",    "your",
    "computer", "idle",   "minutes", "password",  "options",   "window",   "click",   "button",
    "will",     "can",    "not",     "more",      "than",      "one",      "two",     "three",
    "green",    "yellow", "orange",  "angelfish", "clownfish", "seahorse", "kelp",    "forest",
    "rocks",    "cave",   "warm",    "cold",      "quiet",     "sound",    "music",   "plays"};

// A word, the common ones more often (the product of two uniform picks).
std::string_view word(Generator& random) {
    const std::uint32_t a = random.below(kWords.size());
    const std::uint32_t b = random.below(kWords.size());
    return kWords[a * b / kWords.size()];
}

std::string sentence(Generator& random) {
    std::string text;
    const std::uint32_t count = 5 + random.below(12);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i != 0)
            text += ' ';
        text += word(random);
    }
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text + '.';
}

// Help text in paragraphs of lines up to 72 characters, or captions as XML.
Bytes text(bool xml, std::size_t size, Generator& random) {
    Bytes out;
    out.reserve(size + 256);
    if (xml) {
        append(out, "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\r\n<captions>\r\n");
        for (std::uint32_t id = 1; out.size() < size; ++id)
            append(out, "  <caption id=\"" + std::to_string(id) + "\" scene=\"" +
                            std::string(word(random)) + "\">" + sentence(random) +
                            "</caption>\r\n");
    } else {
        std::string line;
        while (out.size() < size) {
            for (std::uint32_t s = 2 + random.below(5); s != 0; --s) {
                const std::string next = sentence(random);
                std::size_t at = 0;
                while (at < next.size()) {
                    const std::size_t space = next.find(' ', at);
                    const std::string piece = next.substr(
                        at, space == std::string::npos ? std::string::npos : space - at);
                    at = space == std::string::npos ? next.size() : space + 1;
                    if (!line.empty() && line.size() + 1 + piece.size() > 72) {
                        append(out, line + "\r\n");
                        line.clear();
                    }
                    line += (line.empty() ? "" : " ") + piece;
                }
            }
            append(out, line + "\r\n\r\n");
            line.clear();
        }
    }
    out.resize(size);
    return out;
}

// Instruction-like byte patterns of 32-bit code: frames, moves, calls, tests and jumps with
// small displacements, behind an MZ/PE-like header; or a table of addresses and small numbers.
Bytes code(bool table, std::size_t size, Generator& random) {
    Bytes out;
    out.reserve(size + 32);
    if (table) {
        std::uint32_t address = 0x10001000 + random.below(0x1000) * 16;
        while (out.size() < size) {
            address += 4 + 4 * random.below(8);
            putLe(out, address, 4);
            putLe(out, random.below(64), 2);
            putLe(out, 0x8000 | random.below(16), 2);
        }
    } else {
        append(out, "MZ");
        putLe(out, 0x90, 2);
        out.resize(0x40, 0);
        append(out, "This program cannot be run in DOS mode.\r\r\n$");
        out.resize(0x80, 0);
        append(out, "PE");
        putLe(out, 0, 2);
        putLe(out, 0x14C, 2);
        out.resize(0x400, 0);
        while (out.size() < size) {
            const std::uint8_t local = static_cast<std::uint8_t>(4 * (1 + random.below(16)));
            const std::uint8_t frame[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, local, 0x53, 0x56, 0x57};
            out.insert(out.end(), std::begin(frame), std::end(frame));
            for (std::uint32_t n = 4 + random.below(24); n != 0; --n) {
                const std::uint8_t slot =
                    static_cast<std::uint8_t>(0x100 - 4 * (1 + random.below(8)));
                switch (random.below(9)) {
                case 0:
                    out.insert(out.end(), {0x8B, 0x45, slot});
                    break;
                case 1:
                    out.insert(out.end(), {0x89, 0x45, slot});
                    break;
                case 2:
                    out.insert(out.end(),
                               {0x8B, 0x4D, static_cast<std::uint8_t>(8 + 4 * random.below(4))});
                    break;
                case 3:
                    out.insert(out.end(), {0x6A, static_cast<std::uint8_t>(random.below(16))});
                    break;
                case 4:
                    out.push_back(0xE8);
                    putLe(out, 0xFFFFF000u + random.below(0x1000) * 4, 4);
                    break;
                case 5:
                    out.insert(out.end(), {0xFF, 0x15});
                    putLe(out, 0x10020000u + 4 * random.below(64), 4);
                    break;
                case 6:
                    out.insert(out.end(),
                               {0x85, 0xC0, 0x74, static_cast<std::uint8_t>(random.below(64))});
                    break;
                case 7:
                    out.insert(out.end(), {0x33, 0xC0});
                    break;
                default:
                    out.insert(out.end(),
                               {0x83, 0xC4, static_cast<std::uint8_t>(4 * random.below(8))});
                    break;
                }
            }
            const std::uint8_t leave[] = {0x5F, 0x5E, 0x5B, 0x8B, 0xE5, 0x5D, 0xC3};
            out.insert(out.end(), std::begin(leave), std::end(leave));
            while (out.size() % 16 != 0)
                out.push_back(0xCC);
        }
    }
    out.resize(size);
    return out;
}

// A 24-bit bitmap of a lagoon seen from above: sand, water and a reef, smooth enough to be a
// real preview.
Bytes previewBitmap() {
    constexpr std::uint32_t width = 160, height = 120;
    constexpr std::uint32_t row = (width * 3 + 3) & ~3u;
    Bytes out = bmpHeader(54 + row * height);
    for (std::uint32_t y = height; y-- > 0;) {
        const std::size_t start = out.size();
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t dx = x > 80 ? x - 80 : 80 - x, dy = y > 60 ? y - 60 : 60 - y;
            const std::uint32_t distance = dx * dx + dy * dy;
            std::uint8_t r = 30, g = 140, b = 200;
            if (distance > 3600) {
                r = 210, g = 190, b = 140;
            } else if (distance < 400 && (x / 6 + y / 6) % 3 == 0) {
                r = 240, g = 110, b = 90;
            } else {
                b = static_cast<std::uint8_t>(230 - distance / 40);
            }
            out.insert(out.end(), {b, g, r});
        }
        out.resize(start + row, 0);
    }
    return out;
}

class PayloadWriter {
  public:
    explicit PayloadWriter(fs::path root) : root_(std::move(root)) {}

    // Writes a file below the root (a path with '/'), and its copy in the tree where given.
    void write(const std::string& relative, const Bytes& bytes, const std::string& inTree = "") {
        save(root_ / relative, bytes);
        if (!inTree.empty())
            save(root_ / "tree" / inTree, bytes);
    }
    std::uint64_t dataFiles = 0, dataBytes = 0, largest = 0;
    void writeData(const std::string& relative, const Bytes& bytes) {
        write("data/" + relative, bytes, relative);
        ++dataFiles;
        dataBytes += bytes.size();
        largest = std::max<std::uint64_t>(largest, bytes.size());
    }

  private:
    static void save(const fs::path& path, const Bytes& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            throw fs::filesystem_error("cannot write", path,
                                       std::make_error_code(std::errc::io_error));
    }
    fs::path root_;
};

// Sizes for `count` files of one kind that add up to exactly `budget`: weights from 300 to
// 1700, so the largest is a few times the smallest.
std::vector<std::uint64_t> sizesFor(std::uint32_t count, std::uint64_t budget, Generator& random) {
    std::vector<std::uint64_t> weights(count);
    std::uint64_t sum = 0;
    for (auto& w : weights)
        sum += w = 300 + random.below(1401);
    std::vector<std::uint64_t> sizes(count);
    std::uint64_t given = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        given += sizes[i] = budget * weights[i] / sum;
    sizes.back() += budget - given;
    return sizes;
}

std::string number(std::uint32_t n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04u", n);
    return buffer;
}

constexpr std::string_view kDescription = R"({
  "saverTitle": "Lagoon",
  "installMode": "bitmap",
  "offerControlPanel": false,
  "preview": "files/preview.bmp",
  "licence": "files/licence.txt",
  "document": "files/Lagoon.txt",
  "engine": "files/Lagoon.scr",
  "furtherFiles": [
    "files/Lagoon.ini",
    "files/surf.wav",
    "files/credits.txt"
  ],
  "dataFile": {
    "settings": "files/settings.bin",
    "saverKind": 0,
    "files": [
      { "folder": "data" }
    ]
  }
}
)";

void writePayload(const fs::path& root) {
    Generator random(0x4C61676F6F6E2031ULL); // "Lagoon 1"
    PayloadWriter out(root);

    out.writeData("media/movies/hd/reef-tour.avi", movie(kMovieBytes, random));

    constexpr std::uint32_t kPictures = 520, kTexts = 280, kPrograms = 199;
    const std::uint64_t pictureBudget = 17 * kMiB, textBudget = 6 * kMiB;
    const std::uint64_t programBudget = kDataBytes - kMovieBytes - pictureBudget - textBudget;
    const std::array<std::string_view, 5> places = {"reef", "lagoon", "kelp", "wreck", "abyss"};
    const std::array<std::string_view, 4> lights = {"day", "dusk", "night", "deep"};
    const auto pictureSizes = sizesFor(kPictures, pictureBudget, random);
    for (std::uint32_t i = 0; i < kPictures; ++i) {
        const bool jpeg = i % 3 != 0;
        const std::string folder = "scenes/" + std::string(places[i % places.size()]) + "/" +
                                   std::string(lights[i / places.size() % lights.size()]) + "/";
        out.writeData(folder + number(i) + (jpeg ? ".jpg" : ".bmp"),
                      picture(jpeg, pictureSizes[i], random));
    }
    const std::array<std::string_view, 7> languages = {"en", "de", "fr", "es", "it", "nl", "pt"};
    const std::array<std::string_view, 2> textKinds = {"help", "captions"};
    const auto textSizes = sizesFor(kTexts, textBudget, random);
    for (std::uint32_t i = 0; i < kTexts; ++i) {
        const bool xml = i % 2 != 0;
        const std::string folder = "text/" + std::string(languages[i % languages.size()]) + "/" +
                                   std::string(textKinds[xml]) + "/";
        out.writeData(folder + number(i) + (xml ? ".xml" : ".txt"),
                      text(xml, textSizes[i], random));
    }
    const std::array<std::string_view, 4> parts = {"render", "audio", "physics", "ui"};
    const std::array<std::string_view, 2> arches = {"x86", "common"};
    const auto programSizes = sizesFor(kPrograms, programBudget, random);
    for (std::uint32_t i = 0; i < kPrograms; ++i) {
        const bool table = i % 4 == 3;
        const std::string folder = "engine/" + std::string(parts[i % parts.size()]) + "/" +
                                   std::string(arches[table]) + "/";
        out.writeData(folder + number(i) + (table ? ".bin" : ".dll"),
                      code(table, programSizes[i], random));
    }

    // The saver's own files. A quiet installation copies the document into the saver folder
    // but not the licence; the engine goes to the system folder.
    out.write("files/Lagoon.scr", code(false, 180 * 1024, random));
    out.write("files/preview.bmp", previewBitmap());
    out.write("files/licence.txt", text(false, 24 * 1024, random));
    out.write("files/Lagoon.txt", text(false, 6 * 1024, random), "Lagoon.txt");
    Bytes ini;
    append(ini, "[Lagoon]\r\nFish=24\r\nSpeed=3\r\nBubbles=1\r\nScene=reef\r\n");
    out.write("files/Lagoon.ini", ini, "Lagoon.ini");
    Bytes wave;
    append(wave, "RIFF");
    putLe(wave, 96 * 1024 - 8, 4);
    append(wave, "WAVEfmt ");
    putLe(wave, 16, 4);
    putLe(wave, 1, 2);
    putLe(wave, 1, 2);
    putLe(wave, 22050, 4);
    putLe(wave, 44100, 4);
    putLe(wave, 2, 2);
    putLe(wave, 16, 2);
    append(wave, "data");
    putLe(wave, 96 * 1024 - 44, 4);
    fitNoise(wave, 96 * 1024, random);
    out.write("files/surf.wav", wave, "surf.wav");
    out.write("files/credits.txt", text(false, 900, random), "credits.txt");
    Bytes settings;
    fitNoise(settings, kSettingsBytes, random);
    out.write("files/settings.bin", settings, "saver.dat");
    out.write("package.json", Bytes(kDescription.begin(), kDescription.end()));

    std::printf("data folder: %llu files, %llu bytes, largest %llu bytes\n",
                static_cast<unsigned long long>(out.dataFiles),
                static_cast<unsigned long long>(out.dataBytes),
                static_cast<unsigned long long>(out.largest));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: saver_payload OUT_FOLDER\n");
        return 2;
    }
    try {
        const fs::path root(argv[1]);
        if (fs::exists(root) && !fs::is_empty(root)) {
            std::fprintf(stderr, "saver_payload: %s exists and is not empty\n", argv[1]);
            return 1;
        }
        writePayload(root);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "saver_payload: %s\n", error.what());
        return 1;
    }
}
