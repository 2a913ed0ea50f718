#include "code_signing.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>

#include "child_process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif
#include "message_digest.h"

namespace fs = std::filesystem;

namespace {

using ByteView = std::span<const std::uint8_t>;

constexpr const char* kNoSignerMessage =
    "cannot sign: osslsigncode was not found on PATH (Debian package osslsigncode)";
#if defined(_WIN32)
constexpr const char* kSigntoolPasswordMessage =
    "cannot sign with a password file: only signtool.exe is on PATH, and it takes a password "
    "only on its command line; put osslsigncode.exe on PATH";
#endif

// ---- a bounded DER reader ---------------------------------------------------------------

// The signature is hostile input: a fault in it ends its reading.
struct Malformed {
    std::string what;
};

constexpr int kMaxDepth = 16;
constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagOid = 0x06;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagSet = 0x31;
constexpr std::uint8_t kTagUtcTime = 0x17;
constexpr std::uint8_t kTagGeneralizedTime = 0x18;
constexpr std::uint8_t kTagContext0 = 0xA0;
constexpr std::uint8_t kTagContext3 = 0xA3;
constexpr std::uint8_t kTagImplicitSet0 = 0xA0; // [0] IMPLICIT SET OF, constructed

struct DerNode {
    std::uint8_t tag = 0;
    ByteView content;
    ByteView whole; // tag, length and content
};

class DerReader {
  public:
    DerReader(ByteView bytes, int depth) : rest_(bytes), depth_(depth) {
        if (depth > kMaxDepth)
            throw Malformed{"nested too deeply"};
    }

    bool atEnd() const { return rest_.empty(); }

    DerNode next() {
        if (rest_.size() < 2)
            throw Malformed{"an element is cut short"};
        DerNode node;
        node.tag = rest_[0];
        if ((node.tag & 0x1F) == 0x1F)
            throw Malformed{"an element has a multi-byte tag"};
        std::size_t length = rest_[1];
        std::size_t header = 2;
        if (length & 0x80) {
            const std::size_t lengthBytes = length & 0x7F;
            if (lengthBytes == 0 || lengthBytes > 4)
                throw Malformed{"an element has an indefinite or oversized length"};
            if (rest_.size() < 2 + lengthBytes)
                throw Malformed{"an element's length is cut short"};
            length = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i)
                length = length << 8 | rest_[2 + i];
            header += lengthBytes;
        }
        if (length > rest_.size() - header)
            throw Malformed{"an element runs past its end"};
        node.content = rest_.subspan(header, length);
        node.whole = rest_.first(header + length);
        rest_ = rest_.subspan(header + length);
        return node;
    }

    DerNode expect(std::uint8_t tag, const char* what) {
        const DerNode node = next();
        if (node.tag != tag)
            throw Malformed{std::string(what) + " is missing"};
        return node;
    }

    std::optional<DerNode> nextIf(std::uint8_t tag) {
        if (rest_.empty() || rest_[0] != tag)
            return std::nullopt;
        return next();
    }

    DerReader inside(const DerNode& node) const { return DerReader(node.content, depth_ + 1); }

  private:
    ByteView rest_;
    int depth_;
};

bool same(ByteView a, ByteView b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

constexpr std::array<std::uint8_t, 9> kOidSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7,
                                                        0x0D, 0x01, 0x07, 0x02};
constexpr std::array<std::uint8_t, 10> kOidIndirectData = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                                           0x82, 0x37, 0x02, 0x01, 0x04};
constexpr std::array<std::uint8_t, 9> kOidSha256 = {0x60, 0x86, 0x48, 0x01, 0x65,
                                                    0x03, 0x04, 0x02, 0x01};
constexpr std::array<std::uint8_t, 5> kOidSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr std::array<std::uint8_t, 3> kOidCommonName = {0x55, 0x04, 0x03};
constexpr std::array<std::uint8_t, 3> kOidExtendedKeyUsage = {0x55, 0x1D, 0x25};
constexpr std::array<std::uint8_t, 8> kOidCodeSigning = {0x2B, 0x06, 0x01, 0x05,
                                                         0x05, 0x07, 0x03, 0x03};

// ---- certificates -----------------------------------------------------------------------

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::int64_t readTime(const DerNode& node) {
    const bool utc = node.tag == kTagUtcTime;
    if (!utc && node.tag != kTagGeneralizedTime)
        throw Malformed{"a validity date is missing"};
    const std::size_t yearDigits = utc ? 2 : 4;
    if (node.content.size() != yearDigits + 11 || node.content.back() != 'Z')
        throw Malformed{"a validity date is not in UTC"};
    std::int64_t fields[6] = {};
    std::size_t at = 0;
    for (int field = 0; field < 6; ++field) {
        const std::size_t digits = field == 0 ? yearDigits : 2;
        for (std::size_t i = 0; i < digits; ++i, ++at) {
            const std::uint8_t c = node.content[at];
            if (c < '0' || c > '9')
                throw Malformed{"a validity date has a character that is no digit"};
            fields[field] = fields[field] * 10 + (c - '0');
        }
    }
    if (utc)
        fields[0] += fields[0] < 50 ? 2000 : 1900;
    if (fields[1] < 1 || fields[1] > 12 || fields[2] < 1 || fields[2] > 31 || fields[3] > 23 ||
        fields[4] > 59 || fields[5] > 60)
        throw Malformed{"a validity date is out of range"};
    return daysFromCivil(fields[0], static_cast<unsigned>(fields[1]),
                         static_cast<unsigned>(fields[2])) *
               86400 +
           fields[3] * 3600 + fields[4] * 60 + fields[5];
}

// A directory string as printable UTF-8; control characters become '?'.
std::string readDirectoryString(const DerNode& node) {
    std::string text;
    const auto put = [&](std::uint32_t c) {
        if (c < 0x20 || c == 0x7F)
            text += '?';
        else if (c < 0x80)
            text += static_cast<char>(c);
        else if (c < 0x800) {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | c >> 12);
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    if (node.tag == 0x1E) { // BMPString: UTF-16 big-endian
        for (std::size_t i = 0; i + 1 < node.content.size(); i += 2)
            put(static_cast<std::uint32_t>(node.content[i] << 8 | node.content[i + 1]));
        return text;
    }
    for (const std::uint8_t c : node.content) {
        if (c < 0x20 || c == 0x7F)
            text += '?';
        else
            text += static_cast<char>(c);
    }
    return text;
}

std::string commonName(const DerNode& name, DerReader& parent) {
    std::string found;
    DerReader rdns = parent.inside(name);
    while (!rdns.atEnd()) {
        const DerNode rdn = rdns.expect(kTagSet, "a name part");
        DerReader attributes = rdns.inside(rdn);
        while (!attributes.atEnd()) {
            DerReader attribute =
                attributes.inside(attributes.expect(kTagSequence, "a name attribute"));
            const DerNode type = attribute.expect(kTagOid, "a name attribute's type");
            const DerNode value = attribute.next();
            if (same(type.content, kOidCommonName))
                found = readDirectoryString(value);
        }
    }
    return found;
}

struct CertificateView {
    ByteView issuer;       // the whole Name element
    ByteView serialNumber; // the INTEGER's content
    SignerCertificate certificate;
};

CertificateView readCertificate(const DerNode& node, const DerReader& parent) {
    CertificateView view;
    DerReader outer = parent.inside(node);
    DerReader tbs = outer.inside(outer.expect(kTagSequence, "a certificate's body"));
    tbs.nextIf(kTagContext0); // version
    view.serialNumber = tbs.expect(kTagInteger, "a certificate's serial number").content;
    tbs.expect(kTagSequence, "a certificate's algorithm");
    view.issuer = tbs.expect(kTagSequence, "a certificate's issuer").whole;
    DerReader validity = tbs.inside(tbs.expect(kTagSequence, "a certificate's validity"));
    view.certificate.notBefore = readTime(validity.next());
    view.certificate.notAfter = readTime(validity.next());
    view.certificate.subjectName =
        commonName(tbs.expect(kTagSequence, "a certificate's subject"), tbs);
    tbs.expect(kTagSequence, "a certificate's public key");
    while (!tbs.atEnd()) {
        const DerNode field = tbs.next();
        if (field.tag != kTagContext3)
            continue;
        DerReader wrapped = tbs.inside(field);
        const DerNode list = wrapped.expect(kTagSequence, "a certificate's extensions");
        DerReader extensions = wrapped.inside(list);
        while (!extensions.atEnd()) {
            DerReader extension =
                extensions.inside(extensions.expect(kTagSequence, "an extension"));
            const DerNode id = extension.expect(kTagOid, "an extension's identifier");
            extension.nextIf(0x01); // critical
            const DerNode value = extension.expect(kTagOctetString, "an extension's value");
            if (!same(id.content, kOidExtendedKeyUsage))
                continue;
            view.certificate.hasExtendedKeyUsage = true;
            view.certificate.allowsCodeSigning = false;
            DerReader holder = extension.inside(value);
            DerReader purposes = holder.inside(holder.expect(kTagSequence, "a key usage list"));
            while (!purposes.atEnd()) {
                if (same(purposes.expect(kTagOid, "a key usage").content, kOidCodeSigning))
                    view.certificate.allowsCodeSigning = true;
            }
        }
    }
    return view;
}

// ---- the PKCS#7 SignedData of Authenticode -----------------------------------------------

struct SignedContent {
    std::optional<DigestAlgorithm> algorithm;
    ByteView messageDigest;
    std::optional<SignerCertificate> signer;
};

SignedContent readSignedData(ByteView der) {
    SignedContent result;
    DerReader top(der, 0);
    DerReader contentInfo = top.inside(top.expect(kTagSequence, "the signature's ContentInfo"));
    if (!same(contentInfo.expect(kTagOid, "the signature's content type").content, kOidSignedData))
        throw Malformed{"it is no PKCS#7 SignedData"};
    DerReader explicitWrap = contentInfo.inside(contentInfo.expect(kTagContext0, "SignedData"));
    DerReader signedData = explicitWrap.inside(explicitWrap.expect(kTagSequence, "SignedData"));
    signedData.expect(kTagInteger, "SignedData's version");
    signedData.expect(kTagSet, "SignedData's digest algorithms");

    DerReader content = signedData.inside(signedData.expect(kTagSequence, "the signed content"));
    if (!same(content.expect(kTagOid, "the signed content's type").content, kOidIndirectData))
        throw Malformed{"the signed content is no SpcIndirectDataContent"};
    DerReader indirectWrap = content.inside(content.expect(kTagContext0, "the signed content"));
    DerReader indirect =
        indirectWrap.inside(indirectWrap.expect(kTagSequence, "SpcIndirectDataContent"));
    indirect.expect(kTagSequence, "SpcIndirectDataContent's data");
    DerReader digestInfo = indirect.inside(indirect.expect(kTagSequence, "the messageDigest"));
    DerReader algorithm =
        digestInfo.inside(digestInfo.expect(kTagSequence, "the digest algorithm"));
    const DerNode algorithmId = algorithm.expect(kTagOid, "the digest algorithm");
    if (same(algorithmId.content, kOidSha256))
        result.algorithm = DigestAlgorithm::sha256;
    else if (same(algorithmId.content, kOidSha1))
        result.algorithm = DigestAlgorithm::sha1;
    result.messageDigest = digestInfo.expect(kTagOctetString, "the messageDigest").content;

    std::vector<CertificateView> certificates;
    if (const std::optional<DerNode> list = signedData.nextIf(kTagImplicitSet0)) {
        DerReader entries = signedData.inside(*list);
        while (!entries.atEnd()) {
            const DerNode entry = entries.next();
            if (entry.tag == kTagSequence)
                certificates.push_back(readCertificate(entry, entries));
        }
    }
    signedData.nextIf(0xA1); // CRLs
    DerReader signerInfos = signedData.inside(signedData.expect(kTagSet, "the SignerInfos"));
    DerReader signerInfo = signerInfos.inside(signerInfos.expect(kTagSequence, "a SignerInfo"));
    signerInfo.expect(kTagInteger, "the SignerInfo's version");
    DerReader issuerAndSerial =
        signerInfo.inside(signerInfo.expect(kTagSequence, "the signer's issuer and serial"));
    const ByteView issuer = issuerAndSerial.expect(kTagSequence, "the signer's issuer").whole;
    const ByteView serial = issuerAndSerial.expect(kTagInteger, "the signer's serial").content;
    for (const CertificateView& candidate : certificates) {
        if (same(candidate.issuer, issuer) && same(candidate.serialNumber, serial))
            result.signer = candidate.certificate;
    }
    return result;
}

// ---- the program image -------------------------------------------------------------------

struct ImageLayout {
    std::uint64_t checksumAt = 0;
    std::uint64_t securityEntryAt = 0;
    std::uint32_t tableAt = 0;
    std::uint32_t tableSize = 0;
};

std::uint32_t little32(const std::uint8_t* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Where the checksum and the security directory entry are, or nothing for
// a file that is no Windows image or has no room for the entry.
std::optional<ImageLayout> readLayout(ByteSource& file) {
    std::array<std::uint8_t, 64> dos{};
    if (!file.read(0, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return std::nullopt;
    const std::uint64_t pe = little32(&dos[0x3C]);
    std::array<std::uint8_t, 24 + 112 + 5 * 8> headers{};
    if (!file.read(pe, std::span(headers).first(24 + 96 + 5 * 8)))
        return std::nullopt;
    if (headers[0] != 'P' || headers[1] != 'E' || headers[2] != 0 || headers[3] != 0)
        return std::nullopt;
    const std::uint16_t magic = static_cast<std::uint16_t>(headers[24] | headers[25] << 8);
    std::size_t countAt = 0;
    if (magic == 0x10B)
        countAt = 24 + 92;
    else if (magic == 0x20B && file.read(pe, headers))
        countAt = 24 + 108;
    else
        return std::nullopt;
    if (little32(&headers[countAt]) < 5)
        return std::nullopt;
    ImageLayout layout;
    layout.checksumAt = pe + 24 + 64;
    const std::size_t entryAt = countAt + 4 + 4 * 8;
    layout.securityEntryAt = pe + entryAt;
    layout.tableAt = little32(&headers[entryAt]);
    layout.tableSize = little32(&headers[entryAt + 4]);
    return layout;
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

constexpr std::uint32_t kMaxTableSize = 16 * 1024 * 1024;

void inspectInto(ByteSource& file, SignatureReport& report) {
    const std::optional<ImageLayout> layout = readLayout(file);
    if (!layout || (layout->tableAt == 0 && layout->tableSize == 0))
        return;
    report.isSigned = true;
    const auto problem = [&](const std::string& text) {
        report.problems.push_back("signature: " + text);
    };
    const std::uint64_t tableEnd = std::uint64_t{layout->tableAt} + layout->tableSize;
    if (layout->tableSize < 8 || layout->tableSize > kMaxTableSize ||
        layout->tableAt < layout->securityEntryAt + 8 || tableEnd > file.size()) {
        problem("the certificate table (at " + std::to_string(layout->tableAt) + ", " +
                std::to_string(layout->tableSize) + " bytes) does not lie within the file, " +
                std::to_string(file.size()) + " bytes");
        return;
    }
    if (tableEnd != file.size())
        problem(std::to_string(file.size() - tableEnd) +
                " bytes follow the certificate table; they are not signed");
    Bytes table(layout->tableSize);
    if (!file.read(layout->tableAt, table)) {
        problem("the certificate table cannot be read");
        return;
    }
    const std::uint32_t length = little32(table.data());
    const std::uint32_t revisionAndType = little32(table.data() + 4);
    if (length < 8 || length > table.size() || revisionAndType != 0x00020200) {
        problem("the certificate table holds no PKCS#7 signature (WIN_CERTIFICATE length " +
                std::to_string(length) + ", revision and type 0x" +
                hexText(ByteView(table).subspan(4, 4)) + ")");
        return;
    }
    SignedContent content;
    try {
        content = readSignedData(ByteView(table).subspan(8, length - 8));
    } catch (const Malformed& fault) {
        problem("cannot be read: " + fault.what);
        return;
    }
    report.signer = content.signer;
    if (!content.signer)
        problem("the signer's certificate is not in the signature");
    if (!content.algorithm) {
        problem("its digest algorithm is neither SHA-256 nor SHA-1");
        return;
    }
    report.digestName = *content.algorithm == DigestAlgorithm::sha256 ? "SHA-256" : "SHA-1";
    MessageDigest digest(*content.algorithm);
    if (!hashRange(file, 0, layout->checksumAt, digest) ||
        !hashRange(file, layout->checksumAt + 4, layout->securityEntryAt, digest) ||
        !hashRange(file, layout->securityEntryAt + 8, layout->tableAt, digest)) {
        problem("the signed bytes cannot be read");
        return;
    }
    const std::vector<std::uint8_t> computed = digest.finish();
    report.hashMatches = same(computed, content.messageDigest);
    if (!report.hashMatches)
        problem("the " + report.digestName + " hash of the signed bytes is " + hexText(computed) +
                ", but the signature says " + hexText(content.messageDigest) +
                ": the file was changed after it was signed");
}

// ---- signing -----------------------------------------------------------------------------

// A private folder for the signer's input and output, made new and private
// to this user from the start, and removed with all it holds when it goes
// out of scope.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        if (error)
            throw ToolError("cannot sign: no folder for temporary files: " + error.message());
#if defined(_WIN32)
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate =
                base / ("saverpack-sign-" + std::to_string(random()) + std::to_string(random()));
            // Fails on anything already there, a link included.
            if (CreateDirectoryW(candidate.wstring().c_str(), nullptr))
                path_ = candidate;
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                break;
        }
#else
        std::string name = (base / "saverpack-sign-XXXXXX").string();
        if (::mkdtemp(name.data()) != nullptr) // mode 0700
            path_ = name;
#endif
        if (path_.empty())
            throw ToolError(base, "cannot sign: no temporary folder can be made here");
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const {
        return path_;
    }

  private:
    fs::path path_;
};

// A new file in the scratch folder, never written through a link.
void writeFile(const fs::path& path, ByteView bytes) {
    AtomicOutputFile out(path);
    out.write(bytes);
    out.commit();
}

// The line of the signer's output that tells most: the first one that is
// neither a bare verdict nor one of OpenSSL's error-stack lines.
std::string meaningfulLine(const std::string& output) {
    std::string fallback;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line == "Failed" || line == "Succeeded")
            continue;
        if (line.find(":error:") != std::string::npos) {
            if (fallback.empty())
                fallback = line;
            continue;
        }
        return line;
    }
    return fallback;
}

struct Signer {
    fs::path program;
    bool isSigntool = false;
};

Signer chooseSigner(const SigningOptions& options) {
#if defined(_WIN32)
    const std::optional<fs::path> signtool = findOnPath("signtool");
    const std::optional<fs::path> osslsigncode = findOnPath("osslsigncode");
    if (osslsigncode && (options.passwordFile || !signtool))
        return {*osslsigncode, false};
    if (signtool && options.passwordFile)
        throw ToolError(kSigntoolPasswordMessage);
    if (signtool)
        return {*signtool, true};
#else
    (void)options;
    if (const std::optional<fs::path> osslsigncode = findOnPath("osslsigncode"))
        return {*osslsigncode, false};
#endif
    throw ToolError(kNoSignerMessage);
}

} // namespace

SignatureReport inspectSignature(ByteSource& file) {
    SignatureReport report;
    inspectInto(file, report);
    return report;
}

std::string formatUtc(std::int64_t seconds) {
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t inDay = seconds - days * 86400;
    // Civil date from days since 1970 (proleptic Gregorian).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                  static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
    return text;
}

SignedInstaller signInstaller(std::span<const std::uint8_t> installer,
                              const SigningOptions& options, const fs::path& shownAs) {
    readWholeFile(options.certificate, 1024 * 1024);
    if (options.passwordFile)
        openInputFile(*options.passwordFile);
    MemorySource image(installer);
    if (!readLayout(image))
        throw ToolError(shownAs, "cannot sign: its program image is no Windows program with room "
                                 "for a signature");
    const Signer signer = chooseSigner(options);

    ScratchFolder scratch;
    const fs::path unsignedFile = scratch.path() / "unsigned.exe";
    const fs::path signedFile = scratch.path() / "signed.exe";
    std::vector<fs::path> args;
    if (signer.isSigntool) {
        writeFile(signedFile, installer);
        args = {"sign", "/fd", "sha256", "/f", options.certificate};
        if (options.timestampUrl)
            args.insert(args.end(), {"/tr", *options.timestampUrl, "/td", "sha256"});
        args.push_back(signedFile);
    } else {
        writeFile(unsignedFile, installer);
        args = {"sign", "-pkcs12", options.certificate};
        if (options.passwordFile)
            args.insert(args.end(), {"-readpass", *options.passwordFile});
        if (options.timestampUrl)
            args.insert(args.end(), {"-ts", *options.timestampUrl});
        args.insert(args.end(), {"-h", "sha256", "-in", unsignedFile, "-out", signedFile});
    }
    const ChildResult run = runChild(signer.program, args, options.timeout);
    if (run.timedOut)
        throw ToolError(shownAs, "signing failed: the signer did not finish within " +
                                     std::to_string(options.timeout.count()) + " s; stopped");
    std::error_code error;
    if (run.exitCode != 0 || !fs::is_regular_file(signedFile, error)) {
        std::string line = meaningfulLine(run.output);
        // The signer names its input and output by their temporary names.
        for (const fs::path& temporary : {unsignedFile, signedFile}) {
            const std::string name = displayPath(temporary);
            for (std::size_t at; (at = line.find(name)) != std::string::npos;)
                line.replace(at, name.size(), displayPath(shownAs));
        }
        if (line.empty())
            line = utf8Of(signer.program.filename()) + " ended with exit code " +
                   std::to_string(run.exitCode);
        throw ToolError(shownAs, "signing failed: " + line);
    }

    SignedInstaller result{readWholeFile(signedFile), {}};
    MemorySource source(result.bytes);
    const SignatureReport report = inspectSignature(source);
    if (!report.isSigned)
        throw ToolError(shownAs, "signing failed: the signed file carries no signature");
    if (!report.problems.empty())
        throw ToolError(shownAs, "signing failed: " + report.problems.front());
    const SignerCertificate& certificate = *report.signer;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    const std::string who = "the certificate of \"" + certificate.subjectName + "\"";
    if (certificate.notAfter < now)
        throw ToolError(options.certificate,
                        who + " expired on " + formatUtc(certificate.notAfter) + "; not signed");
    if (certificate.notBefore > now)
        throw ToolError(options.certificate, who + " is valid only from " +
                                                 formatUtc(certificate.notBefore) + "; not signed");
    if (!certificate.allowsCodeSigning)
        throw ToolError(options.certificate,
                        who + " is not for code signing (its extended key usage lacks "
                              "codeSigning); not signed");
    result.signer = certificate;
    return result;
}
