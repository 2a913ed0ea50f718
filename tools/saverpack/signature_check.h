// The verdict on an installer's Authenticode signature. The cryptographic
// library (signature_crypto.h) reads and verifies the signature; this part
// finds the certificate table, hashes the bytes the signature covers and
// decides what the results are worth.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "file_io.h"
#include "signature_crypto.h"

// Where a Windows program image keeps its checksum and its security
// directory entry, and the certificate table that entry names.
struct ImageLayout {
    std::uint64_t checksumAt = 0;
    std::uint64_t securityEntryAt = 0;
    std::uint32_t tableAt = 0;
    std::uint32_t tableSize = 0;
};

// The layout, or nothing for a file that is no Windows image or has no room
// for the security directory entry.
std::optional<ImageLayout> readImageLayout(ByteSource& file);

struct SignatureReport {
    bool isSigned = false; // the security directory names a certificate table
    std::optional<SignerCertificate> signer;
    std::string digestName;                // "SHA-256" or "SHA-1"
    std::optional<std::int64_t> timestamp; // a countersignature's time that verifies
    TrustVerdict trust;                    // meaningful only when valid
    // Why the signature is not valid: the table's layout, the image hash, the
    // signed attributes' digest, the signature value, the signer's
    // certificate. Empty for a valid signature, and for an unsigned file.
    std::vector<std::string> problems;
    // About a valid signature's certificate: expired or not yet valid at the
    // countersignature's time (else now), or not meant for code signing.
    std::vector<std::string> notes;

    bool valid() const { return isSigned && problems.empty(); }
};

// Reads and judges the signature of a Windows program image. A file that is
// no Windows image, or one without a certificate table, is reported
// unsigned. May throw ToolError for an unreadable --ca file.
SignatureReport inspectSignature(ByteSource& file, const TrustOptions& trust);

// "2026-12-09 10:27:38 UTC"
std::string formatUtc(std::int64_t secondsSince1970);
