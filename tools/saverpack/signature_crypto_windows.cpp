// The signature check's cryptography on Windows: digests from BCrypt, the
// PKCS#7 message, its certificates and the chain to a trusted root from
// crypt32. WinVerifyTrust is not used: Wine 8's accepts a self-signed
// certificate as trusted and several forged signatures as valid.
#include "signature_crypto.h"

// saverpack.exe needs Windows 7 or later (BCrypt came with Vista, the
// time-stamp structures with Windows 7); the build's floor is the installer's.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "file_io.h"

namespace {

using ByteView = std::span<const std::uint8_t>;

constexpr DWORD kEncoding = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;

// FILETIME counts 100 ns steps since 1601-01-01; this many lie before 1970.
constexpr std::int64_t kFileTimeAt1970 = 116444736000000000;
constexpr std::int64_t kFileTimePerSecond = 10000000;

// ---- handles ----------------------------------------------------------------------------

struct MessageCloser {
    void operator()(HCRYPTMSG message) const { CryptMsgClose(message); }
};
struct StoreCloser {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CertificateFreer {
    void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
struct ChainFreer {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};
struct HashDestroyer {
    void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};

using Message = std::unique_ptr<void, MessageCloser>;
using Store = std::unique_ptr<void, StoreCloser>;
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;
using Decoded = std::unique_ptr<void, LocalFreer>;
using Algorithm = std::unique_ptr<void, AlgorithmCloser>;
using Hash = std::unique_ptr<void, HashDestroyer>;

Store newMemoryStore() {
    return Store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
}

// ---- small readers ----------------------------------------------------------------------

// The structure `type` decoded from `bytes` (crypt32 allocates it), or null.
Decoded decode(LPCSTR type, const BYTE* bytes, DWORD size) {
    void* decoded = nullptr;
    DWORD decodedSize = 0;
    if (!CryptDecodeObjectEx(kEncoding, type, bytes, size, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &decoded, &decodedSize))
        return nullptr;
    return Decoded(decoded);
}

Decoded decode(LPCSTR type, const CRYPT_DATA_BLOB& blob) {
    return decode(type, blob.pbData, blob.cbData);
}

// A message parameter's bytes; empty when the message has none.
std::vector<std::uint8_t> messageParam(HCRYPTMSG message, DWORD param, DWORD index = 0) {
    DWORD size = 0;
    if (!CryptMsgGetParam(message, param, index, nullptr, &size) || size == 0)
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (!CryptMsgGetParam(message, param, index, bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

std::optional<DigestAlgorithm> digestAlgorithmOf(const char* oid) {
    if (oid == nullptr)
        return std::nullopt;
    const std::string_view name = oid;
    if (name == szOID_OIWSEC_sha1)
        return DigestAlgorithm::sha1;
    if (name == szOID_NIST_sha256)
        return DigestAlgorithm::sha256;
    return std::nullopt;
}

const CRYPT_ATTRIBUTE* findAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) {
    for (DWORD i = 0; i < attributes.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
        if (attribute.pszObjId != nullptr && std::strcmp(attribute.pszObjId, oid) == 0 &&
            attribute.cValue > 0)
            return &attribute;
    }
    return nullptr;
}

std::int64_t secondsSince1970(const FILETIME& time) {
    const std::int64_t ticks =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
                                  time.dwLowDateTime) -
        kFileTimeAt1970;
    const std::int64_t seconds = ticks / kFileTimePerSecond;
    return ticks % kFileTimePerSecond < 0 ? seconds - 1 : seconds;
}

// The length of the DER element at the start of `bytes` (its tag, length and
// content), or 0 when its header is malformed or it runs past the end. Only
// the outermost header is read here: crypt32 tells neither how many bytes the
// SignedData fills nor where the signed content's value begins.
std::size_t derElementSize(ByteView bytes, std::size_t& headerSize) {
    if (bytes.size() < 2 || (bytes[0] & 0x1F) == 0x1F)
        return 0;
    std::size_t length = bytes[1];
    headerSize = 2;
    if (length & 0x80) {
        const std::size_t lengthBytes = length & 0x7F;
        if (lengthBytes == 0 || lengthBytes > 4 || bytes.size() < 2 + lengthBytes)
            return 0;
        length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i)
            length = length << 8 | bytes[2 + i];
        headerSize += lengthBytes;
    }
    if (length > bytes.size() - headerSize)
        return 0;
    return headerSize + length;
}

// A name part of a certificate as printable UTF-8 (C0 and C1 control
// characters and DEL become '?', and `replaced` tells whether there were any): CertGetNameStringW,
// CERT_NAME_ATTR_TYPE.
std::string certificateName(PCCERT_CONTEXT certificate, DWORD flags, bool* replaced = nullptr) {
    char oid[] = szOID_COMMON_NAME;
    const DWORD wideSize =
        CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, flags, oid, nullptr, 0);
    if (wideSize <= 1)
        return {};
    std::wstring wide(wideSize, L'\0');
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, flags, oid, wide.data(), wideSize);
    wide.resize(wideSize - 1);
    for (wchar_t& c : wide) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            c = L'?';
            if (replaced != nullptr)
                *replaced = true;
        }
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

SignerCertificate describeCertificate(PCCERT_CONTEXT certificate) {
    const CERT_INFO& info = *certificate->pCertInfo;
    SignerCertificate described;
    described.subjectName = certificateName(certificate, 0, &described.controlCharactersInName);
    described.issuerName = certificateName(certificate, CERT_NAME_ISSUER_FLAG);
    described.notBefore = secondsSince1970(info.NotBefore);
    described.notAfter = secondsSince1970(info.NotAfter);
    described.selfSigned =
        CertCompareCertificateName(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info.Subject),
                                   const_cast<CERT_NAME_BLOB*>(&info.Issuer));
    const CERT_EXTENSION* usage =
        CertFindExtension(szOID_ENHANCED_KEY_USAGE, info.cExtension, info.rgExtension);
    if (usage != nullptr) {
        described.hasExtendedKeyUsage = true;
        described.allowsCodeSigning = false;
        const Decoded decoded = decode(X509_ENHANCED_KEY_USAGE, usage->Value);
        if (decoded) {
            const auto& usages = *static_cast<const CERT_ENHKEY_USAGE*>(decoded.get());
            for (DWORD i = 0; i < usages.cUsageIdentifier; ++i) {
                if (std::strcmp(usages.rgpszUsageIdentifier[i], szOID_PKIX_KP_CODE_SIGNING) == 0)
                    described.allowsCodeSigning = true;
            }
        }
    }
    return described;
}

// ---- the pieces of the signature --------------------------------------------------------

std::vector<std::uint8_t> digestOf(DigestAlgorithm algorithm, ByteView bytes) {
    MessageDigest digest(algorithm);
    digest.add(bytes);
    return digest.finish();
}

bool sameBytes(const std::vector<std::uint8_t>& bytes, const CRYPT_DATA_BLOB& blob) {
    return std::equal(bytes.begin(), bytes.end(), blob.pbData, blob.pbData + blob.cbData);
}

// Whether a SignerInfo's signed messageDigest attribute is the hash of
// `content`, with the SignerInfo's digest algorithm.
bool messageDigestMatches(const CMSG_SIGNER_INFO& signer, ByteView content) {
    const std::optional<DigestAlgorithm> algorithm =
        digestAlgorithmOf(signer.HashAlgorithm.pszObjId);
    const CRYPT_ATTRIBUTE* attribute = findAttribute(signer.AuthAttrs, szOID_PKCS_9_MESSAGE_DIGEST);
    if (!algorithm || attribute == nullptr)
        return false;
    const Decoded claimed = decode(X509_OCTET_STRING, attribute->rgValue[0]);
    return claimed && sameBytes(digestOf(*algorithm, content),
                                *static_cast<const CRYPT_DATA_BLOB*>(claimed.get()));
}

// Authenticode's messageDigest covers the signed content's value: its bytes
// after the SEQUENCE's tag and length.
bool attributesDigestMatches(const CMSG_SIGNER_INFO& signer, ByteView content) {
    std::size_t header = 0;
    return derElementSize(content, header) == content.size() &&
           messageDigestMatches(signer, content.subspan(header));
}

// The certificate in `store` that `signer` (a SignerInfo) names by issuer and
// serial number, or null.
Certificate certificateOf(HCERTSTORE store, const CMSG_SIGNER_INFO& signer) {
    CERT_INFO id{};
    id.Issuer = signer.Issuer;
    id.SerialNumber = signer.SerialNumber;
    return Certificate(CertGetSubjectCertificateFromStore(store, kEncoding, &id));
}

// The signing time of a PKCS#9 countersignature (a SignerInfo over the
// signer's signature value, its certificate carried in the signature) whose
// digest and signature hold.
std::optional<std::int64_t> counterSignatureTime(HCRYPTMSG message, HCERTSTORE store,
                                                 const CRYPT_ATTR_BLOB& value) {
    const Decoded decoded = decode(PKCS7_SIGNER_INFO, value);
    if (!decoded)
        return std::nullopt;
    const auto& counterSigner = *static_cast<const CMSG_SIGNER_INFO*>(decoded.get());
    const Certificate certificate = certificateOf(store, counterSigner);
    std::vector<std::uint8_t> signer = messageParam(message, CMSG_ENCODED_SIGNER);
    if (!certificate || signer.empty() ||
        !CryptMsgVerifyCountersignatureEncodedEx(
            0, kEncoding, signer.data(), static_cast<DWORD>(signer.size()), value.pbData,
            value.cbData, CMSG_VERIFY_SIGNER_CERT, const_cast<CERT_CONTEXT*>(certificate.get()), 0,
            nullptr))
        return std::nullopt;
    const CRYPT_ATTRIBUTE* signingTime =
        findAttribute(counterSigner.AuthAttrs, szOID_RSA_signingTime);
    if (signingTime == nullptr)
        return std::nullopt;
    const Decoded time = decode(PKCS_UTC_TIME, signingTime->rgValue[0]);
    if (!time)
        return std::nullopt;
    return secondsSince1970(*static_cast<const FILETIME*>(time.get()));
}

// The time of an RFC 3161 time-stamp token (a SignedData of a TSTInfo whose
// message imprint is the hash of the signer's signature value) whose digests
// and signature hold.
std::optional<std::int64_t> timeStampTokenTime(const CMSG_SIGNER_INFO& signer,
                                               const CRYPT_ATTR_BLOB& value) {
    const Message token(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (!token || !CryptMsgUpdate(token.get(), value.pbData, value.cbData, TRUE))
        return std::nullopt;
    const Store store(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, token.get()));
    std::vector<std::uint8_t> tokenSigner = messageParam(token.get(), CMSG_SIGNER_INFO_PARAM);
    if (!store || tokenSigner.size() < sizeof(CMSG_SIGNER_INFO))
        return std::nullopt;
    const auto& tokenSignerInfo = *reinterpret_cast<const CMSG_SIGNER_INFO*>(tokenSigner.data());
    const Certificate certificate = certificateOf(store.get(), tokenSignerInfo);
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify{};
    verify.cbSize = sizeof verify;
    verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    verify.pvSigner = const_cast<CERT_CONTEXT*>(certificate.get());
    if (!certificate || !CryptMsgControl(token.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify))
        return std::nullopt;

    // The TSTInfo, unwrapped from its OCTET STRING where crypt32 leaves one.
    std::vector<std::uint8_t> content = messageParam(token.get(), CMSG_CONTENT_PARAM);
    if (!content.empty() && content[0] == 0x04) {
        const Decoded octets =
            decode(X509_OCTET_STRING, content.data(), static_cast<DWORD>(content.size()));
        if (!octets)
            return std::nullopt;
        const auto& inner = *static_cast<const CRYPT_DATA_BLOB*>(octets.get());
        content.assign(inner.pbData, inner.pbData + inner.cbData);
    }
    if (!messageDigestMatches(tokenSignerInfo, content))
        return std::nullopt;

    const Decoded info = decode(TIMESTAMP_INFO, content.data(), static_cast<DWORD>(content.size()));
    if (!info)
        return std::nullopt;
    const auto& timeStamp = *static_cast<const CRYPT_TIMESTAMP_INFO*>(info.get());
    const std::optional<DigestAlgorithm> imprintAlgorithm =
        digestAlgorithmOf(timeStamp.HashAlgorithm.pszObjId);
    if (!imprintAlgorithm ||
        !sameBytes(digestOf(*imprintAlgorithm,
                            ByteView(signer.EncryptedHash.pbData, signer.EncryptedHash.cbData)),
                   timeStamp.HashedMessage))
        return std::nullopt;
    return secondsSince1970(timeStamp.ftTime);
}

std::optional<std::int64_t> timestampOf(HCRYPTMSG message, HCERTSTORE store,
                                        const CMSG_SIGNER_INFO& signer) {
    if (const CRYPT_ATTRIBUTE* counter = findAttribute(signer.UnauthAttrs, szOID_RSA_counterSign)) {
        if (const std::optional<std::int64_t> time =
                counterSignatureTime(message, store, counter->rgValue[0]))
            return time;
    }
    if (const CRYPT_ATTRIBUTE* token = findAttribute(signer.UnauthAttrs, szOID_RFC3161_counterSign))
        return timeStampTokenTime(signer, token->rgValue[0]);
    return std::nullopt;
}

bool signedBy(PCCERT_CONTEXT subject, PCCERT_CONTEXT issuer) {
    return CryptVerifyCertificateSignatureEx(
        0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
        const_cast<CERT_CONTEXT*>(subject), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
        const_cast<CERT_CONTEXT*>(issuer), 0, nullptr);
}

// Whether a certificate in `store` named as the signer's issuer signed it.
bool signedByOneIn(HCERTSTORE store, PCCERT_CONTEXT signer) {
    if (store == nullptr)
        return false;
    PCCERT_CONTEXT candidate = nullptr;
    while (
        (candidate = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                                &signer->pCertInfo->Issuer, candidate))) {
        if (signedBy(signer, candidate)) {
            CertFreeCertificateContext(candidate);
            return true;
        }
    }
    return false;
}

// ---- trust ------------------------------------------------------------------------------

// Adds every certificate of the PEM file to `store` and returns how many.
std::size_t addPemCertificates(HCERTSTORE store, const std::filesystem::path& file) {
    const Bytes pem = readWholeFile(file, 16 * 1024 * 1024);
    const std::string_view text(reinterpret_cast<const char*>(pem.data()), pem.size());
    constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    std::size_t added = 0;
    for (std::size_t at = text.find(kBegin); at != std::string_view::npos;
         at = text.find(kBegin, at + 1)) {
        const std::size_t end = text.find(kEnd, at);
        if (end == std::string_view::npos)
            break;
        const std::string_view block = text.substr(at, end + kEnd.size() - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                                  CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
            throw ToolError(file, "a certificate in it is not base64");
        std::vector<BYTE> der(size);
        if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                                  CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) ||
            !CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                              CERT_STORE_ADD_ALWAYS, nullptr))
            throw ToolError(file, "a certificate in it cannot be read");
        ++added;
    }
    if (added == 0)
        throw ToolError(file, "holds no PEM certificate (--ca)");
    return added;
}

bool inStore(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, certificate, nullptr);
    if (found == nullptr)
        return false;
    CertFreeCertificateContext(found);
    return true;
}

DWORD authenticodePolicyError(PCCERT_CHAIN_CONTEXT chain, DWORD flags) {
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.dwFlags = flags;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &para, &status))
        return static_cast<DWORD>(CERT_E_CHAINING);
    return status.dwError;
}

// Why a chain is not trusted, in the words the Linux build's libcrypto uses
// for the same fault, in the order it finds them: the chain first, then
// each certificate's signature and dates.
std::string untrustedReason(const CERT_SIMPLE_CHAIN& chain, const FILETIME* at, DWORD policyError) {
    const DWORD status = chain.TrustStatus.dwErrorStatus;
    if (status & CERT_TRUST_IS_PARTIAL_CHAIN)
        return "unable to get local issuer certificate";
    if (status & CERT_TRUST_IS_UNTRUSTED_ROOT)
        return chain.cElement == 1 ? "self-signed certificate"
                                   : "self-signed certificate in certificate chain";
    for (DWORD i = chain.cElement; i-- > 0;) {
        const CERT_CHAIN_ELEMENT& element = *chain.rgpElement[i];
        if (element.TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
            return "certificate signature failure";
        if (element.TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_TIME_VALID)
            return CertVerifyTimeValidity(const_cast<FILETIME*>(at),
                                          element.pCertContext->pCertInfo) > 0
                       ? "certificate has expired"
                       : "certificate is not yet valid";
    }
    if (status & CERT_TRUST_IS_REVOKED)
        return "certificate revoked";
    char text[64];
    std::snprintf(text, sizeof text, "the Authenticode policy refuses the chain (0x%08lX)",
                  static_cast<unsigned long>(policyError));
    return text;
}

FILETIME fileTimeOf(std::int64_t secondsSince1970) {
    const auto ticks =
        static_cast<std::uint64_t>(secondsSince1970 * kFileTimePerSecond + kFileTimeAt1970);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The chain from the signer to a root at `at` (the countersignature's time,
// else now): CertGetCertificateChain with the message's certificates and the
// --ca ones beside the system's stores, judged by the Authenticode policy. A
// --ca root is in no system store: a chain that ends in one is judged again
// with unknown roots allowed.
TrustVerdict judgeTrust(PCCERT_CONTEXT signer, HCERTSTORE messageStore, HCERTSTORE caStore,
                        const TrustOptions& options, std::optional<std::int64_t> at) {
    TrustVerdict verdict;
    const Store extra = newMemoryStore();
    if (!extra)
        throw std::bad_alloc();
    for (HCERTSTORE source : {messageStore, caStore}) {
        PCCERT_CONTEXT each = nullptr;
        while ((each = CertEnumCertificatesInStore(source, each)))
            CertAddCertificateContextToStore(extra.get(), each, CERT_STORE_ADD_ALWAYS, nullptr);
    }
    FILETIME time{};
    if (at)
        time = fileTimeOf(*at);
    else
        GetSystemTimeAsFileTime(&time);
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, signer, &time, extra.get(), &para, 0, nullptr, &built) ||
        built == nullptr) {
        verdict.reason = "the chain cannot be built";
        return verdict;
    }
    const Chain chain(built);
    if (chain->cChain == 0 || chain->rgpChain[chain->cChain - 1]->cElement == 0) {
        verdict.reason = "the chain cannot be built";
        return verdict;
    }
    const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[chain->cChain - 1];
    PCCERT_CONTEXT root = simple.rgpElement[simple.cElement - 1]->pCertContext;
    const bool caRoot = inStore(caStore, root);
    DWORD error = authenticodePolicyError(chain.get(), 0);
    if (error == static_cast<DWORD>(CERT_E_UNTRUSTEDROOT) && caRoot)
        error = authenticodePolicyError(chain.get(), CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG);
    if (error == 0 && !options.systemRoots && !caRoot) {
        verdict.reason = "self-signed certificate in certificate chain";
        return verdict;
    }
    // Wine 8's Authenticode policy passes a chain that ends before any root
    // (CERT_TRUST_IS_PARTIAL_CHAIN): the chain's own faults count too.
    const DWORD faults = simple.TrustStatus.dwErrorStatus &
                         ~static_cast<DWORD>(caRoot ? CERT_TRUST_IS_UNTRUSTED_ROOT : 0);
    if (error == 0 && faults != 0)
        error = static_cast<DWORD>(CERT_E_CHAINING);
    if (error != 0) {
        verdict.reason = untrustedReason(simple, &time, error);
        return verdict;
    }
    verdict.trusted = true;
    verdict.rootName = certificateName(root, 0);
    return verdict;
}

SignatureFacts unreadable(std::string why) {
    SignatureFacts facts;
    facts.unreadable = std::move(why);
    return facts;
}

} // namespace

// ---- MessageDigest ----------------------------------------------------------------------

struct MessageDigest::State {
    Algorithm algorithm;
    Hash hash;
};

MessageDigest::MessageDigest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    const wchar_t* name =
        algorithm == DigestAlgorithm::sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, name, nullptr, 0)))
        throw ToolError("BCrypt has no digest algorithm " +
                        std::string(algorithm == DigestAlgorithm::sha1 ? "SHA-1" : "SHA-256"));
    state_->algorithm.reset(provider);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
        throw ToolError("BCrypt cannot start a digest");
    state_->hash.reset(hash);
}

MessageDigest::~MessageDigest() = default;

void MessageDigest::add(std::span<const std::uint8_t> bytes) {
    if (!state_->hash)
        throw std::logic_error("MessageDigest::add after finish");
    // BCryptHashData takes at most 4 GB - 1 at a time.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        if (!BCRYPT_SUCCESS(BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes.data()),
                                           static_cast<ULONG>(piece), 0)))
            throw ToolError("BCrypt cannot hash");
        bytes = bytes.subspan(piece);
    }
}

std::vector<std::uint8_t> MessageDigest::finish() {
    if (!state_->hash)
        throw std::logic_error("MessageDigest::finish twice");
    DWORD length = 0;
    ULONG written = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(state_->algorithm.get(), BCRYPT_HASH_LENGTH,
                                          reinterpret_cast<PUCHAR>(&length), sizeof length,
                                          &written, 0)))
        throw ToolError("BCrypt has no digest length");
    std::vector<std::uint8_t> digest(length);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash.get(), digest.data(), length, 0)))
        throw ToolError("BCrypt cannot finish a digest");
    state_->hash.reset();
    return digest;
}

// ---- examineSignature -------------------------------------------------------------------

SignatureFacts examineSignature(std::span<const std::uint8_t> der, const TrustOptions& trust) {
    // The --ca files first: an unreadable one is the caller's mistake, not the
    // signature's.
    const Store caStore = newMemoryStore();
    if (!caStore)
        throw std::bad_alloc();
    for (const std::filesystem::path& file : trust.extraRoots)
        addPemCertificates(caStore.get(), file);

    if (der.empty())
        return unreadable("it is empty");
    std::size_t header = 0;
    const std::size_t size = derElementSize(der, header);
    const Message message(CryptMsgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr));
    if (size == 0 || !message ||
        !CryptMsgUpdate(message.get(), der.data(), static_cast<DWORD>(size), TRUE))
        return unreadable("it is no DER PKCS#7 SignedData");
    DWORD type = 0;
    DWORD typeSize = sizeof type;
    if (!CryptMsgGetParam(message.get(), CMSG_TYPE_PARAM, 0, &type, &typeSize) ||
        type != CMSG_SIGNED)
        return unreadable("it is no PKCS#7 SignedData");

    // SpcIndirectDataContent: what is signed (a program image) and its digest.
    const std::vector<std::uint8_t> contentType =
        messageParam(message.get(), CMSG_INNER_CONTENT_TYPE_PARAM);
    if (contentType.empty() || contentType.back() != 0 ||
        std::strcmp(reinterpret_cast<const char*>(contentType.data()), SPC_INDIRECT_DATA_OBJID) !=
            0)
        return unreadable("its signed content is no SpcIndirectDataContent");
    const std::vector<std::uint8_t> content = messageParam(message.get(), CMSG_CONTENT_PARAM);
    const Decoded indirect = decode(SPC_INDIRECT_DATA_CONTENT_STRUCT, content.data(),
                                    static_cast<DWORD>(content.size()));
    if (!indirect)
        return unreadable("its SpcIndirectDataContent cannot be read");
    const auto& indirectData = *static_cast<const SPC_INDIRECT_DATA_CONTENT*>(indirect.get());
    if (indirectData.Data.pszObjId == nullptr ||
        std::strcmp(indirectData.Data.pszObjId, SPC_PE_IMAGE_DATA_OBJID) != 0)
        return unreadable("it does not sign a program image (no SpcPeImageData)");
    if (indirectData.Digest.cbData == 0)
        return unreadable("its SpcIndirectDataContent has no digest");

    DWORD signers = 0;
    DWORD signersSize = sizeof signers;
    if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_COUNT_PARAM, 0, &signers, &signersSize) ||
        signers != 1)
        return unreadable("it has " + std::to_string(signers) + " SignerInfos, not one");
    const std::vector<std::uint8_t> signerBytes =
        messageParam(message.get(), CMSG_SIGNER_INFO_PARAM);
    const Store messageStore(CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, message.get()));
    if (signerBytes.size() < sizeof(CMSG_SIGNER_INFO) || !messageStore)
        return unreadable("its SignerInfo cannot be read");
    const auto& signerInfo = *reinterpret_cast<const CMSG_SIGNER_INFO*>(signerBytes.data());

    SignatureFacts facts;
    facts.signedDataSize = size;
    facts.algorithm = digestAlgorithmOf(indirectData.DigestAlgorithm.pszObjId);
    facts.indirectDigest.assign(indirectData.Digest.pbData,
                                indirectData.Digest.pbData + indirectData.Digest.cbData);
    facts.attributesDigestMatch = attributesDigestMatches(signerInfo, content);

    const Certificate signer = certificateOf(messageStore.get(), signerInfo);
    if (!signer) {
        facts.trust.reason = "the signer's certificate is not in the signature";
        return facts;
    }
    facts.signer = describeCertificate(signer.get());

    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify{};
    verify.cbSize = sizeof verify;
    verify.dwSignerIndex = 0;
    verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    verify.pvSigner = const_cast<CERT_CONTEXT*>(signer.get());
    facts.signatureValueVerifies =
        CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify);

    Store systemRoots;
    if (trust.systemRoots)
        systemRoots.reset(CertOpenSystemStoreW(0, L"ROOT"));
    facts.certificateSignatureVerifies = signedByOneIn(messageStore.get(), signer.get()) ||
                                         signedByOneIn(caStore.get(), signer.get()) ||
                                         signedByOneIn(systemRoots.get(), signer.get());

    facts.timestamp = timestampOf(message.get(), messageStore.get(), signerInfo);
    facts.trust =
        judgeTrust(signer.get(), messageStore.get(), caStore.get(), trust, facts.timestamp);
    return facts;
}
