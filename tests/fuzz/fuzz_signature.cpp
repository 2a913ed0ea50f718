// Feeds arbitrary bytes to saverpack's signature check as the PKCS#7
// SignedData in the certificate table of a small signed-looking program
// image: the certificate table reader, the library's parsing and
// verification behind it, and the verdict. Nothing may crash, read out of
// bounds or hang.
#include <cstdint>
#include <cstring>

#include "signature_check.h"

namespace {

constexpr std::size_t kImageSize = 0x400;
constexpr std::size_t kPe = 0x40;
constexpr std::size_t kOptionalHeader = kPe + 24;

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    Bytes image(kImageSize, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, kPe);
    std::memcpy(&image[kPe], "PE\0\0", 4);
    image[kOptionalHeader] = 0x0B; // PE32
    image[kOptionalHeader + 1] = 0x01;
    put32(image, kOptionalHeader + 92, 16); // data directories
    const auto tableAt = static_cast<std::uint32_t>(image.size());
    const auto tableSize = static_cast<std::uint32_t>((8 + size + 7) / 8 * 8);
    put32(image, kOptionalHeader + 128, tableAt);
    put32(image, kOptionalHeader + 132, tableSize);
    image.resize(tableAt + tableSize, 0);
    put32(image, tableAt, static_cast<std::uint32_t>(8 + size));
    put32(image, tableAt + 4, 0x00020200);
    if (size != 0)
        std::memcpy(&image[tableAt + 8], data, size);

    MemorySource source(image);
    const SignatureReport report = inspectSignature(source, TrustOptions{{}, false});
    if (report.isSigned && report.problems.empty() && !report.signer)
        __builtin_trap(); // a signature without its signer must be reported
    return 0;
}
