// The binding to the implode library, "impborl.dll", loaded at run time from
// a folder: TCompressor expands one implode stream into a file through the
// library's explode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result_codes.h"
#include "platform/library_loader.h"
#include "platform/platform.h"

constexpr const char* kImplodeLibraryName = "impborl.dll";

// The explode work area: one per installer, shared by every expansion, so two
// expansions never run at the same time.
constexpr std::size_t kExplodeWorkAreaSize = 12596;
using ExplodeWorkArea = std::array<char, kExplodeWorkAreaSize>;

// The library's calling contract (cdecl).
extern "C" {
using ImplodeReadCallback = unsigned int (*)(char* buffer, unsigned int* size, void* param);
using ImplodeWriteCallback = void (*)(char* buffer, unsigned int* size, void* param);
using ExplodeFunction = unsigned int (*)(ImplodeReadCallback read, ImplodeWriteCallback write,
                                         char* workArea, void* param);
}

class TCompressor {
  public:
    // Loads the library from `folder`, by its full path only: an empty folder
    // makes a compressor that is not usable, as the system's library search
    // would look in folders others can write. Never fails: usable() tells
    // whether it can expand.
    TCompressor(platform::Platform& platform, const std::string& folder, ExplodeWorkArea& workArea);
    virtual ~TCompressor();
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;

    bool usable() const { return usable_; }

    // Expands `count` compressed bytes into the file `target`, replacing it.
    // At most `outputLimit` bytes are written. Returns 0, or the Windows
    // error when the target cannot be created (after saying so in the error
    // dialog).
    ResultCode Expand(const std::string& target, const std::uint8_t* buffer, std::size_t count,
                      std::uint64_t outputLimit = UINT64_MAX);

  private:
    static unsigned int readCallback(char* buffer, unsigned int* size, void* param);
    static void writeCallback(char* buffer, unsigned int* size, void* param);

    platform::ExportedFunction implode_ = nullptr;
    ExplodeFunction explode_ = nullptr;
    platform::ExportedFunction crc32_ = nullptr;
    // Writes what the library gave so far; a failed write is left to the
    // size check after the expansion.
    void flushOutput();

    // The running expansion: its output file, the bytes not yet written to
    // it (the library hands over a few kilobytes at a time) and compressed input.
    std::unique_ptr<platform::File> output_;
    std::vector<char> pending_;
    const std::uint8_t* input_ = nullptr;
    std::size_t inputSize_ = 0;
    std::size_t inputPosition_ = 0;
    std::uint64_t outputLeft_ = 0;
    bool usable_ = false;
    std::unique_ptr<platform::LoadedLibrary> library_;

    platform::Platform& platform_;
    ExplodeWorkArea& workArea_;
};
