// Reading a SWF movie before the preview panel hands it to the player: its
// signature, its version, its frame size, its background colour and two
// script flags. A compressed movie ("CWS") is first expanded into the panel's
// temporary folder. The movie is read piecewise and never held in memory
// whole; only the header, the tags up to the first SetBackgroundColor tag and
// a window of at most 2000 bytes behind it are looked at.
//
// Every outcome is a result code: a malformed movie gives one of the codes
// -411 to -415, -418 or -419, and nothing is ever thrown out of the reader.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/result_codes.h"
#include "platform/platform.h"

// The movie fields that the preview panel keeps for its current movie.
struct SwfMovieInfo {
    std::string swfSignature;  // "FWS" or "CWS" once read
    std::string swfTempFolder; // the panel's temporary folder, with a backslash; empty until needed
    std::int32_t bgRed = 0;
    std::int32_t bgGreen = 0;
    std::int32_t bgBlue = 0;
    std::int32_t frameWidth = 0; // pixels
    std::int32_t frameHeight = 0;
    std::int32_t allowScale = 0; // a script flag (kScriptFlag...)
    std::int32_t fullScreen = 0;
    std::uint8_t swfVersion = 0;
};

// Values of a script flag.
constexpr std::int32_t kScriptFlagTrue = 1;
constexpr std::int32_t kScriptFlagFalse = 0;
constexpr std::int32_t kScriptFlagNotFound = -1;
constexpr std::int32_t kScriptFlagOtherValue = -2;

constexpr const char* kSwfUncompressedSignature = "FWS";
constexpr const char* kSwfCompressedSignature = "CWS";
constexpr const char* kSwfTempFolderPrefix = "FlashPanel";
constexpr const char* kCompressedSegmentName = "compressedSWFSegment.swf";
constexpr const char* kExpandedMovieName = "unCompressedSWF.swf";

constexpr std::uint8_t kLowestSwfVersion = 3;
constexpr std::uint8_t kHighestSwfVersion = 11;
constexpr std::uint32_t kSwfHeaderSize = 8;   // signature, version, file length
constexpr std::uint32_t kSwfCopyBlock = 2048; // copying and expanding a compressed movie
constexpr std::uint32_t kScriptFlagWindow = 2000;
constexpr std::uint32_t kTagEnd = 0;
constexpr std::uint32_t kTagSetBackgroundColor = 9;
constexpr std::uint32_t kTagLongLength = 63; // the short length that announces a 4-byte one
// No preview movie is expanded beyond this size, whatever its header says.
constexpr std::uint64_t kMaxExpandedMovieSize = 256u * 1024 * 1024;

// Reads the first three bytes of `swfFilename` into `swfSignature`. 0 when
// they are "FWS" or "CWS" (or when there is no such file: the signature is
// then left alone), -404 otherwise, a shorter file included; the Windows
// error when the file is there but cannot be opened or read.
ResultCode readSWFFileFormatType(platform::Platform& platform, const std::string& swfFilename,
                                 SwfMovieInfo& movie);

// Expands the compressed movie `swfFilename` into swfTempFolder +
// "unCompressedSWF.swf", making the temporary folder on first use. 0 (also
// when there is no such file); the Windows error (or -560) of a temporary
// folder that cannot be made, or of a movie that cannot be opened or read;
// -411 when the movie ends inside its header; -415 for a zlib stream that is
// corrupt or ends early; -418 when the expansion would exceed
// kMaxExpandedMovieSize; -419 when a temporary file cannot be made, written
// or read back. An expansion longer than the file length in the header is
// kept whole. After a failure neither temporary file is left, nor a
// temporary folder that this call made.
ResultCode inflateSWFFileToTempFile(platform::Platform& platform, const std::string& swfFilename,
                                    SwfMovieInfo& movie);

// Reads the uncompressed movie at `path` into the movie fields. 0 (also when
// there is no such file), -404 (no "FWS"), -405 (version above 11), -406
// (version below 3), -411 (the file ends early), -412 (the header's file
// length leaves no byte behind the SetBackgroundColor tag), -413 (its body is
// shorter than 3 bytes), -414 (a long tag length of 2^31 or more), or the
// Windows error when the file cannot be opened or read. After a failure the
// fields hold what was read before it.
ResultCode readSWFFile_FWS_Format(platform::Platform& platform, const std::string& path,
                                  SwfMovieInfo& movie);

// Decodes a tag record header: the code is its upper 10 bits, the short body
// length its lower 6. True when the tag is SetBackgroundColor.
bool isBackgroundColorTag(std::span<const std::uint8_t, 2> header, std::uint32_t& tagCode,
                          std::uint32_t& tagLength);

// Four bytes as an unsigned little-endian integer.
std::uint32_t convertBytesToDecimal(std::span<const std::uint8_t, 4> bytes);

// The value of the script flag `name` in `window`, compared without regard
// to case: at the first occurrence that still has two bytes behind it, the
// second of them decides: "f" gives 0, "t" 1, anything else -2. -1 when there
// is no such occurrence.
std::int32_t findScriptFlag(std::string_view name, std::span<const std::uint8_t> window);
