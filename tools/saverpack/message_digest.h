// SHA-1 and SHA-256, for the Authenticode hash of a signed installer: small
// enough to carry in the tool so that its Windows build needs no crypto
// library.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Bytes as lower-case hexadecimal, two digits each, as digests are shown.
std::string hexText(std::span<const std::uint8_t> bytes);

enum class DigestAlgorithm { sha1, sha256 };

// Bytes fed in pieces with add(); finish() gives the digest (20 or 32
// bytes) and leaves the object spent.
class MessageDigest {
  public:
    explicit MessageDigest(DigestAlgorithm algorithm);
    void add(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> finish();

  private:
    void compressBlock();

    DigestAlgorithm algorithm_;
    std::array<std::uint32_t, 8> state_{};
    std::array<std::uint8_t, 64> block_{};
    std::size_t filled_ = 0;
    std::uint64_t totalBytes_ = 0;
};
