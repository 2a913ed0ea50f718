// CRC-32 (the one of zlib, PKZIP and PNG: reflected polynomial 0xEDB88320,
// initial value and final complement 0xFFFFFFFF). The installer uses it to make
// names, not to check data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/platform.h"

using Crc32Table = std::array<std::uint32_t, 256>;

// The standard table of the polynomial, stored as data.
extern const Crc32Table kCrc32Table;

// The CRC of the table's own 1024 bytes (little-endian, index order).
constexpr std::uint32_t kCrc32TableCheck = 0x6FCF9E13;

// Updates `crcRegister` over `length` bytes (at least 1); no complement here.
void crc32Update(const std::uint8_t* bytes, std::size_t length, std::uint32_t& crcRegister,
                 const Crc32Table& table = kCrc32Table);

// The CRC-32 of the text's bytes, written to `out`. The table checks itself
// first; when that fails it says so in a message box and leaves `out` as it was.
void crc32OfText(platform::UserInterface& ui, std::string_view text, std::uint32_t& out,
                 const Crc32Table& table = kCrc32Table);
