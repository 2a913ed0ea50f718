#include "signature_check.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace {

using ByteView = std::span<const std::uint8_t>;

// The largest certificate table read; real ones hold a few kilobytes.
constexpr std::uint32_t kMaxTableSize = 16 * 1024 * 1024;
// WIN_CERTIFICATE: dwLength, then wRevision 0x0200 and wCertificateType 2
// (PKCS#7 SignedData), then the DER signature.
constexpr std::size_t kWinCertificateHeader = 8;
constexpr std::uint32_t kRevisionAndTypePkcs7 = 0x00020200;
// The table is padded to a multiple of 8 bytes.
constexpr std::uint64_t kTableAlignment = 8;

constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kSecurityDirectory = 4; // the fifth data directory

std::uint32_t little32(const std::uint8_t* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

bool hashRange(ByteSource& file, std::uint64_t from, std::uint64_t to, MessageDigest& digest) {
    std::vector<std::uint8_t> piece(64 * 1024);
    while (from < to) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), to - from));
        if (!file.read(from, std::span(piece).first(count)))
            return false;
        digest.add(std::span(piece).first(count));
        from += count;
    }
    return true;
}

std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The certificate table: where it lies, and that nothing but the signature
// and its zero padding is in it. The rest of the file is hashed.
std::optional<Bytes> readTable(ByteSource& file, const ImageLayout& layout,
                               std::vector<std::string>& problems) {
    const std::uint64_t tableEnd = std::uint64_t{layout.tableAt} + layout.tableSize;
    if (layout.tableSize < kWinCertificateHeader || layout.tableSize > kMaxTableSize ||
        layout.tableAt < layout.securityEntryAt + 8 || tableEnd > file.size()) {
        problems.push_back("the certificate table (at " + std::to_string(layout.tableAt) + ", " +
                           std::to_string(layout.tableSize) +
                           " bytes) does not lie within the file, " + std::to_string(file.size()) +
                           " bytes");
        return std::nullopt;
    }
    if (tableEnd != file.size())
        problems.push_back(std::to_string(file.size() - tableEnd) +
                           " bytes follow the certificate table; they are not signed");
    Bytes table(layout.tableSize);
    if (!file.read(layout.tableAt, table)) {
        problems.push_back("the certificate table cannot be read");
        return std::nullopt;
    }
    const std::uint32_t length = little32(table.data());
    const std::uint32_t revisionAndType = little32(table.data() + 4);
    if (length < kWinCertificateHeader || length > table.size() ||
        revisionAndType != kRevisionAndTypePkcs7) {
        problems.push_back("the certificate table holds no PKCS#7 signature (WIN_CERTIFICATE "
                           "length " +
                           std::to_string(length) + ", revision and type 0x" +
                           hexText(ByteView(table).subspan(4, 4)) + ")");
        return std::nullopt;
    }
    return table;
}

// After the SignedData only zero bytes, fewer than 8, may follow, inside
// the WIN_CERTIFICATE's length or after it.
void checkPadding(ByteView table, std::size_t signedDataEnd, std::vector<std::string>& problems) {
    const std::uint64_t padded =
        (signedDataEnd + kTableAlignment - 1) / kTableAlignment * kTableAlignment;
    if (table.size() > padded)
        problems.push_back("the certificate table is " + std::to_string(table.size()) +
                           " bytes, but its signature with padding fills only " +
                           std::to_string(padded) + ": " + std::to_string(table.size() - padded) +
                           " bytes in it are not signed");
    else if (table.size() < padded)
        problems.push_back("the certificate table is " + std::to_string(table.size()) +
                           " bytes, not padded to a multiple of 8 (" + std::to_string(padded) +
                           ")");
    const auto paddingEnd = static_cast<std::size_t>(std::min<std::uint64_t>(table.size(), padded));
    const ByteView padding = table.subspan(signedDataEnd, paddingEnd - signedDataEnd);
    if (std::any_of(padding.begin(), padding.end(), [](std::uint8_t b) { return b != 0; }))
        problems.push_back("the padding after the signature is not zero; it is not signed");
}

std::string certificateOf(const SignerCertificate& signer) {
    return "the certificate of \"" + signer.subjectName + "\"";
}

void inspectInto(ByteSource& file, const TrustOptions& trust, SignatureReport& report) {
    const std::optional<ImageLayout> layout = readImageLayout(file);
    if (!layout || (layout->tableAt == 0 && layout->tableSize == 0))
        return;
    report.isSigned = true;
    std::vector<std::string> problems;
    const std::optional<Bytes> table = readTable(file, *layout, problems);
    const auto finish = [&] {
        for (const std::string& problem : problems)
            report.problems.push_back("signature: " + problem);
    };
    if (!table)
        return finish();
    const std::uint32_t length = little32(table->data());
    const ByteView der = ByteView(*table).subspan(8, length - 8);
    const SignatureFacts facts = examineSignature(der, trust);
    if (facts.unreadable) {
        problems.push_back("cannot be read: " + *facts.unreadable);
        return finish();
    }
    checkPadding(*table, kWinCertificateHeader + facts.signedDataSize, problems);
    report.signer = facts.signer;
    report.timestamp = facts.timestamp;
    report.trust = facts.trust;
    if (!facts.algorithm) {
        problems.push_back("its digest algorithm is neither SHA-256 nor SHA-1");
        return finish();
    }

    // The image hash: everything but the checksum, the security directory
    // entry and the certificate table.
    report.digestName = *facts.algorithm == DigestAlgorithm::sha256 ? "SHA-256" : "SHA-1";
    MessageDigest digest(*facts.algorithm);
    if (!hashRange(file, 0, layout->checksumAt, digest) ||
        !hashRange(file, layout->checksumAt + 4, layout->securityEntryAt, digest) ||
        !hashRange(file, layout->securityEntryAt + 8, layout->tableAt, digest)) {
        problems.push_back("the signed bytes cannot be read");
        return finish();
    }
    const std::vector<std::uint8_t> computed = digest.finish();
    if (computed != facts.indirectDigest)
        problems.push_back("the " + report.digestName + " hash of the signed bytes is " +
                           hexText(computed) + ", but the signature says " +
                           hexText(facts.indirectDigest) +
                           ": the file was changed after it was signed");
    if (!facts.attributesDigestMatch)
        problems.push_back("the signed attributes' messageDigest does not match the signed "
                           "content (SpcIndirectDataContent)");
    if (!facts.signer) {
        problems.push_back("the signer's certificate is not in the signature");
        return finish();
    }
    if (!facts.signatureValueVerifies)
        problems.push_back("the signature value does not verify with the signer's key");
    if (!facts.certificateSignatureVerifies)
        problems.push_back("the signer's certificate does not verify with its issuer's key");
    if (facts.signer->controlCharactersInName)
        problems.push_back("the signer's name holds control characters (shown as '?')");
    finish();

    const SignerCertificate& signer = *facts.signer;
    const std::int64_t at = facts.timestamp.value_or(secondsNow());
    if (at > signer.notAfter)
        report.notes.push_back(certificateOf(signer) + " expired on " + formatUtc(signer.notAfter) +
                               (facts.timestamp ? ", before it was countersigned" : ""));
    else if (at < signer.notBefore)
        report.notes.push_back(certificateOf(signer) + " is valid only from " +
                               formatUtc(signer.notBefore));
    if (!signer.allowsCodeSigning)
        report.notes.push_back(certificateOf(signer) +
                               " is not for code signing (its extended key usage lacks "
                               "codeSigning)");
}

} // namespace

std::string hexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::optional<ImageLayout> readImageLayout(ByteSource& file) {
    std::array<std::uint8_t, 64> dos{};
    if (!file.read(0, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return std::nullopt;
    const std::uint64_t pe = little32(&dos[0x3C]);
    // The signature and file header (24 bytes), the optional header up to its
    // data directories (96 or 112 bytes), and the first five directories.
    std::array<std::uint8_t, 24 + 112 + 5 * 8> headers{};
    if (!file.read(pe, std::span(headers).first(24 + 96 + 5 * 8)))
        return std::nullopt;
    if (headers[0] != 'P' || headers[1] != 'E' || headers[2] != 0 || headers[3] != 0)
        return std::nullopt;
    const std::uint32_t magic = headers[24] | static_cast<std::uint32_t>(headers[25]) << 8;
    std::size_t countAt = 0;
    if (magic == kPe32Magic)
        countAt = 24 + 92;
    else if (magic == kPe32PlusMagic && file.read(pe, headers))
        countAt = 24 + 108;
    else
        return std::nullopt;
    if (little32(&headers[countAt]) <= kSecurityDirectory)
        return std::nullopt;
    ImageLayout layout;
    layout.checksumAt = pe + 24 + 64;
    const std::size_t entryAt = countAt + 4 + kSecurityDirectory * 8;
    layout.securityEntryAt = pe + entryAt;
    layout.tableAt = little32(&headers[entryAt]);
    layout.tableSize = little32(&headers[entryAt + 4]);
    return layout;
}

SignatureReport inspectSignature(ByteSource& file, const TrustOptions& trust) {
    SignatureReport report;
    inspectInto(file, trust, report);
    return report;
}

std::string formatUtc(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d UTC", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}
