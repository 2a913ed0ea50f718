// Signing an installer with the signing tool found on PATH (Authenticode);
// the signature it makes is checked by signature_check.h.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "file_io.h"
#include "signature_check.h"

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
// image once its signature is valid (as inspectSignature judges it; trust
// is not required) and its certificate is valid now and meant for code
// signing. Throws ToolError, naming `shownAs` or the certificate file.
SignedInstaller signInstaller(std::span<const std::uint8_t> installer,
                              const SigningOptions& options, const std::filesystem::path& shownAs);
