// Benchmark of our implode library against StormLib's implode/explode, run side by side on
// one corpus in one process. Prints ratios (ours / StormLib), never bare times alone.
//
// The corpus (at least 20 MB) is taken from files found on any Debian machine, by sorted
// path so that a machine gives the same corpus every run, and topped up with generated
// data where a kind of file runs short:
//   text          documentation, licences, headers            ASCII mode
//   executables   ELF programs from /usr/bin                  binary mode
//   compressed    .gz files from /usr/share/doc               binary mode
//   pictures      PNG/JPEG/BMP files, plus generated bitmaps  binary mode
// Every item is one stream with a 4096-byte window, as the packer makes them.
//
// Usage: implode_bench [path to libstorm.so]
#include "implode/implode.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kMaxItem = 2 * kMiB;
constexpr std::size_t kStormWorkArea = 64 * 1024;
constexpr int kRepeats = 3;

struct Item {
    std::string kind;
    unsigned mode;
    Bytes data;
};

// ---- corpus ------------------------------------------------------------------------------

Bytes readPrefix(const fs::path& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(limit);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::vector<fs::path> listFiles(const fs::path& root,
                                const std::function<bool(const fs::path&)>& wanted) {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code statError;
        if (it->is_regular_file(statError) && !it->is_symlink(statError) && wanted(it->path())) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool hasExtension(const fs::path& path, std::initializer_list<const char*> extensions) {
    const std::string ext = path.extension().string();
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const char* e) { return ext == e; });
}

// Adds files (in order) until `quota` bytes of this kind are in; returns the bytes added.
std::size_t addFiles(std::vector<Item>& items, const std::string& kind, unsigned mode,
                     const std::vector<fs::path>& files, std::size_t quota,
                     const std::function<bool(const Bytes&)>& accept = {}) {
    std::size_t total = 0;
    for (const fs::path& file : files) {
        if (total >= quota) {
            break;
        }
        Bytes data = readPrefix(file, std::min(kMaxItem, quota - total));
        if (data.size() < 64 || (accept && !accept(data))) {
            continue;
        }
        total += data.size();
        items.push_back({kind, mode, std::move(data)});
    }
    return total;
}

std::string generatedText(std::mt19937& rng, std::size_t size) {
    static constexpr std::array<const char*, 32> kWords{
        "the",    "screen",  "saver", "window", "of",      "and",     "install", "a",
        "file",   "package", "to",    "player", "error",   "folder",  "is",      "with",
        "system", "setup",   "in",    "data",   "colour",  "picture", "message", "for",
        "user",   "version", "not",   "be",     "options", "display", "when",    "it"};
    std::string text;
    while (text.size() < size) {
        text += kWords[rng() % kWords.size()];
        const unsigned r = rng() % 20;
        text += r == 0 ? ".\n" : r == 1 ? ", " : " ";
    }
    text.resize(size);
    return text;
}

Bytes generatedCode(std::mt19937& rng, std::size_t size) {
    Bytes bytes;
    std::vector<Bytes> snippets;
    for (int i = 0; i < 64; ++i) {
        Bytes snippet(4 + rng() % 12);
        for (auto& b : snippet) {
            b = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng());
        }
        snippets.push_back(snippet);
    }
    while (bytes.size() < size) {
        const Bytes& s = snippets[rng() % snippets.size()];
        bytes.insert(bytes.end(), s.begin(), s.end());
        const std::uint32_t address = 0x401000 + rng() % 0x8000;
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
        }
    }
    bytes.resize(size);
    return bytes;
}

Bytes generatedNoise(std::mt19937& rng, std::size_t size) {
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng() >> 24);
    }
    return bytes;
}

// A 24-bit bitmap (rows of BGR pixels) with gradients, bands and a little noise, the kind
// of picture screen savers carry.
Bytes generatedBitmap(std::mt19937& rng, unsigned width, unsigned height) {
    Bytes bytes;
    bytes.reserve(std::size_t{width} * height * 3);
    const unsigned band = 8 + rng() % 40;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width; ++x) {
            const bool inBand = (x / band + y / band) % 5 == 0;
            const unsigned noise = rng() % 4;
            bytes.push_back(static_cast<std::uint8_t>(inBand ? 200 : (x * 255 / width) + noise));
            bytes.push_back(static_cast<std::uint8_t>(inBand ? 40 : (y * 255 / height)));
            bytes.push_back(static_cast<std::uint8_t>(((x + y) / 4) & 0xF0));
        }
    }
    return bytes;
}

void topUp(std::vector<Item>& items, const std::string& kind, unsigned mode, std::size_t have,
           std::size_t quota, const std::function<Bytes(std::size_t)>& make) {
    while (have < quota) {
        Bytes data = make(std::min(kMaxItem / 2, quota - have));
        have += data.size();
        items.push_back({kind + " (generated)", mode, std::move(data)});
    }
}

std::vector<Item> buildCorpus() {
    std::vector<Item> items;
    std::mt19937 rng(1997);

    const auto isText = [](const Bytes& data) {
        return std::all_of(data.begin(), data.end(), [](std::uint8_t b) {
            return b == '\n' || b == '\t' || b == '\r' || (b >= 0x20 && b < 0x7F);
        });
    };
    std::vector<fs::path> texts =
        listFiles("/usr/share/common-licenses", [](auto&) { return true; });
    for (auto& file : listFiles("/usr/share/doc", [](const fs::path& p) {
             return p.filename() == "copyright" || hasExtension(p, {".txt", ".md", ".html"});
         })) {
        texts.push_back(file);
    }
    for (auto& file :
         listFiles("/usr/include", [](const fs::path& p) { return hasExtension(p, {".h"}); })) {
        texts.push_back(file);
    }
    std::size_t have = addFiles(items, "text", implode::kModeAscii, texts, 6 * kMiB, isText);
    topUp(items, "text", implode::kModeAscii, have, 6 * kMiB, [&](std::size_t size) {
        const std::string text = generatedText(rng, size);
        return Bytes(text.begin(), text.end());
    });

    const auto isElf = [](const Bytes& data) {
        return data.size() > 4 && std::memcmp(data.data(),
                                              "\x7F"
                                              "ELF",
                                              4) == 0;
    };
    have = addFiles(items, "executables", implode::kModeBinary,
                    listFiles("/usr/bin", [](auto&) { return true; }), 6 * kMiB, isElf);
    topUp(items, "executables", implode::kModeBinary, have, 6 * kMiB,
          [&](std::size_t size) { return generatedCode(rng, size); });

    have = addFiles(
        items, "compressed", implode::kModeBinary,
        listFiles("/usr/share/doc", [](const fs::path& p) { return hasExtension(p, {".gz"}); }),
        4 * kMiB);
    topUp(items, "compressed", implode::kModeBinary, have, 4 * kMiB,
          [&](std::size_t size) { return generatedNoise(rng, size); });

    have = addFiles(items, "pictures", implode::kModeBinary,
                    listFiles("/usr/share",
                              [](const fs::path& p) {
                                  return hasExtension(p, {".png", ".jpg", ".jpeg", ".bmp", ".gif"});
                              }),
                    2 * kMiB);
    topUp(items, "pictures", implode::kModeBinary, have, 2 * kMiB,
          [&](std::size_t) { return generatedBitmap(rng, 320, 240); });
    for (int i = 0; i < 6; ++i) {
        items.push_back(
            {"bitmaps (generated)", implode::kModeBinary, generatedBitmap(rng, 640 - 64 * i, 400)});
    }
    return items;
}

// ---- callbacks ---------------------------------------------------------------------------

struct Pipe {
    const std::uint8_t* input;
    std::size_t size;
    std::size_t pos;
    std::uint8_t* output;
    std::size_t written;
    std::size_t capacity;
};

unsigned int readPipe(char* buf, unsigned int* size, void* param) {
    auto& pipe = *static_cast<Pipe*>(param);
    const std::size_t count = std::min<std::size_t>(*size, pipe.size - pipe.pos);
    std::memcpy(buf, pipe.input + pipe.pos, count);
    pipe.pos += count;
    return static_cast<unsigned int>(count);
}

void writePipe(char* buf, unsigned int* size, void* param) {
    auto& pipe = *static_cast<Pipe*>(param);
    const std::size_t count = std::min<std::size_t>(*size, pipe.capacity - pipe.written);
    std::memcpy(pipe.output + pipe.written, buf, count);
    pipe.written += count;
}

// ---- the two libraries -------------------------------------------------------------------

using ImplodeFn = unsigned int (*)(ImplodeReadFn, ImplodeWriteFn, char*, void*, unsigned int*,
                                   unsigned int*);
using ExplodeFn = unsigned int (*)(ImplodeReadFn, ImplodeWriteFn, char*, void*);

struct Coder {
    const char* name;
    std::function<unsigned(Pipe&, unsigned mode)> implode;
    std::function<unsigned(Pipe&)> explode;
};

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct ImplodeRun {
    std::size_t outBytes = 0;
    double seconds = 0;
    std::vector<Bytes> streams;
};

ImplodeRun implodeAll(const std::vector<Item>& items,
                      const std::function<unsigned(Pipe&, unsigned)>& implode, int repeats) {
    ImplodeRun run;
    Bytes out(kMaxItem * 2);
    run.seconds = 1e30;
    for (int r = 0; r < repeats; ++r) {
        run.streams.clear();
        run.outBytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const Item& item : items) {
            Pipe pipe{item.data.data(), item.data.size(), 0, out.data(), 0, out.size()};
            if (implode(pipe, item.mode) != 0) {
                std::fprintf(stderr, "implode failed\n");
                std::exit(1);
            }
            run.outBytes += pipe.written;
            run.streams.emplace_back(out.begin(), out.begin() + pipe.written);
        }
        run.seconds = std::min(run.seconds, seconds(std::chrono::steady_clock::now() - start));
    }
    return run;
}

// Expands every stream once; checks the output; returns the time taken.
double explodeAll(const std::vector<Item>& items, const std::vector<Bytes>& streams,
                  const std::function<unsigned(Pipe&)>& explode, const char* what) {
    Bytes out(kMaxItem + 1024);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < items.size(); ++i) {
        Pipe pipe{streams[i].data(), streams[i].size(), 0, out.data(), 0, out.size()};
        const unsigned result = explode(pipe);
        if (result != 0 || pipe.written != items[i].data.size() ||
            std::memcmp(out.data(), items[i].data.data(), pipe.written) != 0) {
            std::fprintf(stderr, "%s: item %zu did not expand to its original\n", what, i);
            std::exit(1);
        }
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

} // namespace

int main(int argc, char** argv) {
    const char* stormPath = argc > 1 ? argv[1] : IMPLODE_BENCH_STORM_LIBRARY;
    std::unique_ptr<void, int (*)(void*)> storm(dlopen(stormPath, RTLD_NOW | RTLD_LOCAL), dlclose);
    if (!storm) {
        std::fprintf(stderr, "cannot load StormLib from %s (install libstorm-dev)\n", stormPath);
        return 1;
    }
    const auto stormImplode = reinterpret_cast<ImplodeFn>(dlsym(storm.get(), "implode"));
    const auto stormExplode = reinterpret_cast<ExplodeFn>(dlsym(storm.get(), "explode"));
    if (stormImplode == nullptr || stormExplode == nullptr) {
        std::fprintf(stderr, "StormLib lacks implode/explode\n");
        return 1;
    }

    const std::vector<Item> items = buildCorpus();
    std::size_t total = 0;
    std::vector<std::pair<std::string, std::size_t>> kinds;
    for (const Item& item : items) {
        total += item.data.size();
        auto it =
            std::find_if(kinds.begin(), kinds.end(), [&](auto& k) { return k.first == item.kind; });
        if (it == kinds.end()) {
            kinds.push_back({item.kind, item.data.size()});
        } else {
            it->second += item.data.size();
        }
    }
    std::printf("corpus: %zu items, %.1f MB\n", items.size(), total / 1e6);
    for (const auto& [kind, bytes] : kinds) {
        std::printf("  %-22s %8.2f MB\n", kind.c_str(), bytes / 1e6);
    }

    std::vector<char> stormArea(kStormWorkArea);
    std::vector<char> implodeArea(implode::kImplodeWorkAreaSize);
    std::vector<char> explodeArea(implode::kExplodeWorkAreaSize);

    auto stormImplodeItem = [&](Pipe& pipe, unsigned mode) {
        unsigned int type = mode;
        unsigned int size = 4096;
        return stormImplode(readPipe, writePipe, stormArea.data(), &pipe, &type, &size);
    };
    auto oursFast = [&](Pipe& pipe, unsigned mode) {
        return implode::implode(readPipe, writePipe, implodeArea.data(), &pipe, mode, 4096);
    };
    auto oursBest = [&](Pipe& pipe, unsigned mode) {
        return implode::implodeStream(readPipe, writePipe, &pipe,
                                      {mode, 4096, implode::Parse::best});
    };
    auto stormExplodeItem = [&](Pipe& pipe) {
        return stormExplode(readPipe, writePipe, stormArea.data(), &pipe);
    };
    auto oursExplode = [&](Pipe& pipe) {
        return implode::explode(readPipe, writePipe, explodeArea.data(), &pipe);
    };

    const ImplodeRun stormRun = implodeAll(items, stormImplodeItem, kRepeats);
    const ImplodeRun fastRun = implodeAll(items, oursFast, kRepeats);
    const ImplodeRun bestRun = implodeAll(items, oursBest, 1);

    // Both decoders expand the same streams: StormLib's and ours (fast). The four runs take
    // turns in each repeat, so that a busy spell on the machine falls on all of them alike;
    // the best time of each counts.
    double stormExplodeStorm = 1e30;
    double oursExplodeStorm = 1e30;
    double stormExplodeOurs = 1e30;
    double oursExplodeOurs = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        stormExplodeStorm =
            std::min(stormExplodeStorm,
                     explodeAll(items, stormRun.streams, stormExplodeItem, "StormLib explode"));
        oursExplodeStorm = std::min(
            oursExplodeStorm, explodeAll(items, stormRun.streams, oursExplode, "our explode"));
        stormExplodeOurs =
            std::min(stormExplodeOurs,
                     explodeAll(items, fastRun.streams, stormExplodeItem, "StormLib explode"));
        oursExplodeOurs = std::min(oursExplodeOurs,
                                   explodeAll(items, fastRun.streams, oursExplode, "our explode"));
    }
    explodeAll(items, bestRun.streams, oursExplode, "our explode (best parse)");

    const double mb = total / 1e6;
    std::printf("\nimplode (window 4096; text in ASCII mode, the rest binary)\n");
    std::printf("  %-18s %12s %8s %10s\n", "", "bytes out", "ratio", "MB/s");
    auto line = [&](const char* name, const ImplodeRun& run) {
        std::printf("  %-18s %12zu %7.2f%% %10.1f\n", name, run.outBytes,
                    100.0 * run.outBytes / total, mb / run.seconds);
    };
    line("StormLib", stormRun);
    line("ours, fast parse", fastRun);
    line("ours, best parse", bestRun);
    std::printf("\n  by kind, bytes out          StormLib   fast/Storm   best/Storm\n");
    for (const auto& [kind, bytes] : kinds) {
        std::size_t sizes[3] = {0, 0, 0};
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].kind == kind) {
                sizes[0] += stormRun.streams[i].size();
                sizes[1] += fastRun.streams[i].size();
                sizes[2] += bestRun.streams[i].size();
            }
        }
        std::printf("  %-22s %14zu %12.4f %12.4f\n", kind.c_str(), sizes[0],
                    double(sizes[1]) / double(sizes[0]), double(sizes[2]) / double(sizes[0]));
    }

    std::printf("\nexplode (MB/s of output)\n");
    std::printf("  %-26s %10s %10s\n", "streams from", "StormLib", "ours");
    std::printf("  %-26s %10.1f %10.1f\n", "StormLib's implode", mb / stormExplodeStorm,
                mb / oursExplodeStorm);
    std::printf("  %-26s %10.1f %10.1f\n", "our fast implode", mb / stormExplodeOurs,
                mb / oursExplodeOurs);

    const double explodeRatio =
        (stormExplodeStorm + stormExplodeOurs) / (oursExplodeStorm + oursExplodeOurs);
    std::printf("\nratios, ours / StormLib (same run)\n");
    std::printf("  explode throughput            %6.3f  (target >= 3.0)\n", explodeRatio);
    std::printf("  implode size, fast parse      %6.4f  (target <= 1.0)\n",
                double(fastRun.outBytes) / double(stormRun.outBytes));
    std::printf("  implode size, best parse      %6.4f  (target <= 0.97)\n",
                double(bestRun.outBytes) / double(stormRun.outBytes));
    std::printf("  implode throughput, fast      %6.3f  (target >= 1.0)\n",
                stormRun.seconds / fastRun.seconds);
    std::printf("  implode throughput, best      %6.3f\n", stormRun.seconds / bestRun.seconds);
    return 0;
}
