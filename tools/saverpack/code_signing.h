// Authenticode signatures of installers: reading the signature a signed
// installer carries (its signer and whether the signed bytes are intact),
// and signing an installer with the signing tool found on PATH.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_io.h"

struct SignerCertificate {
    std::string subjectName;    // the subject's common name (CN)
    std::int64_t notBefore = 0; // seconds since 1970, UTC
    std::int64_t notAfter = 0;
    bool hasExtendedKeyUsage = false;
    bool allowsCodeSigning = true; // false only when the extended key usage lacks codeSigning
};

struct SignatureReport {
    bool isSigned = false; // the security directory names a certificate table
    std::optional<SignerCertificate> signer;
    std::string digestName;   // "SHA-256" or "SHA-1"
    bool hashMatches = false; // the signed bytes hash to the signature's messageDigest
    std::vector<std::string> problems;
};

// Reads the signature of a Windows program image. A file that is no
// Windows image, or one without a certificate table, is reported unsigned.
SignatureReport inspectSignature(ByteSource& file);

// "2026-12-09 10:27:38 UTC"
std::string formatUtc(std::int64_t secondsSince1970);

// How long the signer (and a time-stamping server behind it) may take.
constexpr std::chrono::seconds kDefaultSigningTimeout{300};

struct SigningOptions {
    std::filesystem::path certificate; // the PKCS#12 (PFX) file
    std::optional<std::filesystem::path> passwordFile;
    std::optional<std::string> timestampUrl;
    std::chrono::seconds timeout = kDefaultSigningTimeout; // then it is stopped
};

struct SignedInstaller {
    Bytes bytes;
    SignerCertificate signer;
};

// Signs `installer` with the signing tool on PATH and returns the signed
// image once its signature reads back whole, its hash matches and its
// certificate is valid now and meant for code signing. Throws ToolError,
// naming `shownAs` or the certificate file.
SignedInstaller signInstaller(std::span<const std::uint8_t> installer,
                              const SigningOptions& options, const std::filesystem::path& shownAs);
