// What a cryptographic library tells about an Authenticode signature and
// the hashes it needs. Two backends implement it: libcrypto on Linux
// (signature_crypto_openssl.cpp) and the system's crypt32 and BCrypt on
// Windows (signature_crypto_windows.cpp). Neither decides what a signature
// is worth: the certificate table, the hashed ranges of the image and the
// verdict are the tool's own (code_signing.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class DigestAlgorithm { sha1, sha256 };

// Bytes as lower-case hexadecimal, two digits each, as digests are shown.
std::string hexText(std::span<const std::uint8_t> bytes);

// A digest computed by the library from bytes fed in pieces. finish()
// gives the digest (20 or 32 bytes) and leaves the object spent.
class MessageDigest {
  public:
    explicit MessageDigest(DigestAlgorithm algorithm);
    MessageDigest(const MessageDigest&) = delete;
    MessageDigest& operator=(const MessageDigest&) = delete;
    ~MessageDigest();
    void add(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The signer's certificate as the library reads it. Names are printable
// UTF-8: control characters are replaced by '?'.
struct SignerCertificate {
    std::string subjectName;    // the subject's common name (CN)
    std::string issuerName;     // the issuer's common name (CN)
    std::int64_t notBefore = 0; // seconds since 1970, UTC
    std::int64_t notAfter = 0;
    bool hasExtendedKeyUsage = false;
    bool allowsCodeSigning = true; // false only when the extended key usage lacks codeSigning
    bool selfSigned = false;       // its issuer is its subject
    bool controlCharactersInName = false; // the subject's CN held control characters
};

// Whether the signer's certificate leads to a trusted root.
struct TrustVerdict {
    bool trusted = false;
    std::string rootName; // the root's common name, when trusted
    std::string reason;   // why not, when not trusted
};

// Where trusted roots come from: the system's (Linux: /etc/ssl/certs;
// Windows: the system store) and PEM files given with --ca.
struct TrustOptions {
    std::vector<std::filesystem::path> extraRoots;
    bool systemRoots = true;
};

// What the library found in the DER PKCS#7 SignedData of a certificate
// table. When `unreadable` is set, nothing else is meaningful.
struct SignatureFacts {
    std::optional<std::string> unreadable; // why the signature cannot be read
    // How many bytes of `der` the SignedData fills; the rest of them are
    // padding, which the tool requires to be zeros.
    std::size_t signedDataSize = 0;

    std::optional<DigestAlgorithm> algorithm; // of SpcIndirectDataContent's digest
    std::vector<std::uint8_t> indirectDigest; // the image hash the signer vouched for

    // The four checks besides the image hash itself.
    bool attributesDigestMatch = false;  // signed attributes' messageDigest == hash of the content
    bool signatureValueVerifies = false; // with the signer certificate's key
    bool certificateSignatureVerifies = false; // with its issuer's key (or its own if self-signed)
    std::optional<SignerCertificate> signer;   // absent: not carried in the signature

    std::optional<std::int64_t> timestamp; // a countersignature's time, seconds since 1970
    TrustVerdict trust;
};

// Reads and checks `der`, a certificate table's signature (without its
// WIN_CERTIFICATE header). Never throws for bad input: a malformed
// signature gives `unreadable`. May throw ToolError for an unreadable --ca
// file.
SignatureFacts examineSignature(std::span<const std::uint8_t> der, const TrustOptions& trust);
