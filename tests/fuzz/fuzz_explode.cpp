// Feeds arbitrary bytes to explode, read in pieces of varying size: it must
// end with a result, never read or write out of bounds, never hang.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "implode/implode.h"

namespace {

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
    unsigned int piece;
    std::size_t written;
};

unsigned int readPiece(char* buffer, unsigned int* size, void* param) {
    auto* in = static_cast<Input*>(param);
    std::size_t n = std::min<std::size_t>({*size, in->piece, in->size - in->position});
    std::memcpy(buffer, in->data + in->position, n);
    in->position += n;
    return static_cast<unsigned int>(n);
}

void countOutput(char*, unsigned int* size, void* param) {
    static_cast<Input*>(param)->written += *size;
}

} // namespace

// The first two bytes choose the largest piece a read returns, 1 to 65536
// bytes, so that the decoder's small and large refills both meet short reads.
constexpr std::size_t kPieceBytes = 2;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPieceBytes)
        return 0;
    std::vector<char> workArea(implode::kExplodeWorkAreaSize);
    const unsigned int piece = (data[0] | static_cast<unsigned int>(data[1]) << 8) + 1u;
    Input in{data + kPieceBytes, size - kPieceBytes, 0, piece, 0};
    implode::explode(readPiece, countOutput, workArea.data(), &in);
    return 0;
}
