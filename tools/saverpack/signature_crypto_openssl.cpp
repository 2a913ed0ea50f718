// The libcrypto backend of signature_crypto.h. OpenSSL reads the PKCS#7
// SignedData, the certificates and the timestamps, computes every digest,
// verifies every signature and builds the chain to a trusted root; this
// file only says which bytes each check covers.
#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

#include "file_io.h"
#include "signature_crypto.h"

namespace {

using ByteView = std::span<const std::uint8_t>;

template <auto Free> struct FreeWith {
    template <class T> void operator()(T* object) const { Free(object); }
};
template <class T, auto Free> using Owned = std::unique_ptr<T, FreeWith<Free>>;

void freeBytes(unsigned char* bytes) {
    OPENSSL_free(bytes);
}
void freeTypes(STACK_OF(ASN1_TYPE) * types) {
    sk_ASN1_TYPE_pop_free(types, ASN1_TYPE_free);
}

using OwnedPkcs7 = Owned<PKCS7, PKCS7_free>;
using OwnedSignerInfo = Owned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;
using OwnedTypes = Owned<STACK_OF(ASN1_TYPE), freeTypes>;
using OwnedDigestInfo = Owned<X509_SIG, X509_SIG_free>;
using OwnedTime = Owned<ASN1_TIME, ASN1_TIME_free>;
using OwnedObject = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using OwnedBytes = Owned<unsigned char, freeBytes>;
using OwnedDigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using OwnedStore = Owned<X509_STORE, X509_STORE_free>;
using OwnedStoreContext = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using OwnedCertificate = Owned<X509, X509_free>;
using OwnedBio = Owned<BIO, BIO_free>;
using OwnedTstInfo = Owned<TS_TST_INFO, TS_TST_INFO_free>;

// OpenSSL's thread-local error queue, empty before and after each use, so
// that one failure is never read as another's reason.
class ErrorQueue {
  public:
    ErrorQueue() { ERR_clear_error(); }
    ErrorQueue(const ErrorQueue&) = delete;
    ErrorQueue& operator=(const ErrorQueue&) = delete;
    ~ErrorQueue() { ERR_clear_error(); }

    // The first failure's reason, as ": reason", or nothing.
    static std::string reason() {
        const char* text = ERR_reason_error_string(ERR_peek_error());
        return text != nullptr ? std::string(": ") + text : std::string();
    }
};

constexpr const char* kOidIndirectData = "1.3.6.1.4.1.311.2.1.4";     // SpcIndirectDataContent
constexpr const char* kOidPeImageData = "1.3.6.1.4.1.311.2.1.15";     // SpcPeImageData
constexpr const char* kOidRfc3161Timestamp = "1.3.6.1.4.1.311.3.3.1"; // a TimeStampToken

bool isOid(const ASN1_OBJECT* object, const char* dotted) {
    const OwnedObject wanted(OBJ_txt2obj(dotted, 1));
    return object != nullptr && wanted && OBJ_cmp(object, wanted.get()) == 0;
}

ByteView viewOf(const ASN1_STRING* text) {
    if (text == nullptr || text->data == nullptr || text->length <= 0)
        return {};
    return ByteView(text->data, static_cast<std::size_t>(text->length));
}

bool same(ByteView a, ByteView b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::vector<std::uint8_t> digestOf(const EVP_MD* algorithm, ByteView bytes) {
    const OwnedDigestContext context(EVP_MD_CTX_new());
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1)
        return {};
    digest.resize(size);
    return digest;
}

// Seconds since 1970 of a certificate's or a timestamp's time.
std::optional<std::int64_t> secondsOf(const ASN1_TIME* time) {
    const OwnedTime epoch(ASN1_TIME_set(nullptr, 0));
    int days = 0;
    int seconds = 0;
    if (!epoch || time == nullptr || ASN1_TIME_diff(&days, &seconds, epoch.get(), time) != 1)
        return std::nullopt;
    return std::int64_t{days} * 86400 + seconds;
}

// The last common name of `name` as printable UTF-8: C0 and C1 control
// characters and DEL become '?', and `controls` tells whether there were any.
std::string commonName(const X509_NAME* name, bool* controls = nullptr) {
    int index = -1;
    for (int at = -1; (at = X509_NAME_get_index_by_NID(name, NID_commonName, at)) >= 0;)
        index = at;
    if (index < 0)
        return {};
    unsigned char* utf8 = nullptr;
    const int size =
        ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
    const OwnedBytes owned(utf8);
    if (size < 0)
        return "?";
    std::string text;
    bool found = false;
    for (int i = 0; i < size; ++i) {
        const std::uint8_t c = utf8[i];
        const bool c1 = c == 0xC2 && i + 1 < size && utf8[i + 1] >= 0x80 && utf8[i + 1] <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            text += '?';
            found = true;
            i += c1 ? 1 : 0;
        } else {
            text += static_cast<char>(c);
        }
    }
    if (controls != nullptr)
        *controls = found;
    return text;
}

// What one SignerInfo's signature covers: its messageDigest attribute
// against `content`, and its signature value over the signed attributes as
// DER SET OF, with `certificate`'s key.
struct SignerCheck {
    bool digestMatches = false;
    bool signatureVerifies = false;
};

SignerCheck checkSignerInfo(PKCS7_SIGNER_INFO* info, ByteView content, X509* certificate) {
    SignerCheck check;
    const EVP_MD* algorithm = EVP_get_digestbyobj(info->digest_alg->algorithm);
    if (algorithm == nullptr || info->auth_attr == nullptr ||
        sk_X509_ATTRIBUTE_num(info->auth_attr) == 0)
        return check;
    const std::vector<std::uint8_t> computed = digestOf(algorithm, content);
    const ASN1_OCTET_STRING* claimed = PKCS7_digest_from_attributes(info->auth_attr);
    check.digestMatches = !computed.empty() && same(computed, viewOf(claimed));

    EVP_PKEY* key = certificate != nullptr ? X509_get0_pubkey(certificate) : nullptr;
    unsigned char* attributes = nullptr;
    const int size = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(info->auth_attr), &attributes,
                                   ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    const OwnedBytes owned(attributes);
    const OwnedDigestContext context(EVP_MD_CTX_new());
    check.signatureVerifies =
        key != nullptr && size > 0 && context && info->enc_digest != nullptr &&
        EVP_DigestVerifyInit(context.get(), nullptr, algorithm, nullptr, key) == 1 &&
        EVP_DigestVerify(context.get(), info->enc_digest->data,
                         static_cast<std::size_t>(info->enc_digest->length), attributes,
                         static_cast<std::size_t>(size)) == 1;
    return check;
}

X509* certificateOf(PKCS7_SIGNER_INFO* info, STACK_OF(X509) * carried) {
    if (carried == nullptr || info->issuer_and_serial == nullptr)
        return nullptr;
    return X509_find_by_issuer_and_serial(carried, info->issuer_and_serial->issuer,
                                          info->issuer_and_serial->serial);
}

// The sequence an ASN1_TYPE holds, as the DER bytes of the whole element.
ByteView sequenceOf(const ASN1_TYPE* type) {
    if (type == nullptr || type->type != V_ASN1_SEQUENCE)
        return {};
    return viewOf(type->value.sequence);
}

// The time of an Authenticode countersignature (pkcs9-countersignature: a
// SignerInfo over the signature value, its certificate in the signature)
// whose digest and signature hold.
std::optional<std::int64_t> countersignatureTime(PKCS7_SIGNER_INFO* info,
                                                 STACK_OF(X509) * carried) {
    const ByteView der = sequenceOf(PKCS7_get_attribute(info, NID_pkcs9_countersignature));
    const unsigned char* at = der.data();
    const OwnedSignerInfo counter(
        der.empty() ? nullptr : d2i_PKCS7_SIGNER_INFO(nullptr, &at, static_cast<long>(der.size())));
    if (!counter)
        return std::nullopt;
    const SignerCheck check = checkSignerInfo(counter.get(), viewOf(info->enc_digest),
                                              certificateOf(counter.get(), carried));
    const ASN1_TYPE* time = PKCS7_get_signed_attribute(counter.get(), NID_pkcs9_signingTime);
    if (!check.digestMatches || !check.signatureVerifies || time == nullptr ||
        (time->type != V_ASN1_UTCTIME && time->type != V_ASN1_GENERALIZEDTIME))
        return std::nullopt;
    return secondsOf(time->value.utctime);
}

// The time of an RFC 3161 timestamp token (a SignedData of a TSTInfo whose
// message imprint is the hash of the signature value) whose digests and
// signature hold.
std::optional<std::int64_t> rfc3161Time(PKCS7_SIGNER_INFO* info) {
    const ASN1_TYPE* value = nullptr;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(info->unauth_attr); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(info->unauth_attr, i);
        if (isOid(X509_ATTRIBUTE_get0_object(attribute), kOidRfc3161Timestamp))
            value = X509_ATTRIBUTE_get0_type(attribute, 0);
    }
    const ByteView der = sequenceOf(value);
    const unsigned char* at = der.data();
    const OwnedPkcs7 token(der.empty() ? nullptr
                                       : d2i_PKCS7(nullptr, &at, static_cast<long>(der.size())));
    if (!token || !PKCS7_type_is_signed(token.get()) || token->d.sign == nullptr ||
        token->d.sign->contents == nullptr ||
        OBJ_obj2nid(token->d.sign->contents->type) != NID_id_smime_ct_TSTInfo)
        return std::nullopt;
    const ASN1_TYPE* content = token->d.sign->contents->d.other;
    if (content == nullptr || content->type != V_ASN1_OCTET_STRING)
        return std::nullopt;
    const ByteView tstInfo = viewOf(content->value.octet_string);
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(token.get());
    if (tstInfo.empty() || sk_PKCS7_SIGNER_INFO_num(signers) != 1)
        return std::nullopt;
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    const SignerCheck check =
        checkSignerInfo(signer, tstInfo, certificateOf(signer, token->d.sign->cert));
    const unsigned char* tstAt = tstInfo.data();
    const OwnedTstInfo tst(d2i_TS_TST_INFO(nullptr, &tstAt, static_cast<long>(tstInfo.size())));
    if (!check.digestMatches || !check.signatureVerifies || !tst)
        return std::nullopt;
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(tst.get());
    const EVP_MD* algorithm = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
    if (algorithm == nullptr || !same(digestOf(algorithm, viewOf(info->enc_digest)),
                                      viewOf(TS_MSG_IMPRINT_get_msg(imprint))))
        return std::nullopt;
    return secondsOf(TS_TST_INFO_get_time(tst.get()));
}

// Whether `certificate`'s own signature verifies with its issuer's key: an
// issuer carried in the signature, its own key when it names itself as its
// issuer, or a trusted root's.
bool certificateVerifies(X509* certificate, STACK_OF(X509) * carried, X509_STORE* store) {
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    for (int i = 0; i < sk_X509_num(carried); ++i) {
        X509* candidate = sk_X509_value(carried, i);
        if (candidate != certificate &&
            X509_NAME_cmp(X509_get_subject_name(candidate), issuer) == 0 &&
            X509_verify(certificate, X509_get0_pubkey(candidate)) == 1)
            return true;
    }
    if (X509_NAME_cmp(X509_get_subject_name(certificate), issuer) == 0)
        return X509_verify(certificate, X509_get0_pubkey(certificate)) == 1;
    const OwnedStoreContext context(X509_STORE_CTX_new());
    X509* root = nullptr;
    if (!context || X509_STORE_CTX_init(context.get(), store, certificate, nullptr) != 1 ||
        X509_STORE_CTX_get1_issuer(&root, context.get(), certificate) != 1)
        return false;
    const OwnedCertificate owned(root);
    return X509_verify(certificate, X509_get0_pubkey(root)) == 1;
}

// The chain from the signer to a trusted root, with the certificates the
// signature carries as intermediates, at the countersignature's time when
// there is one.
TrustVerdict judgeTrust(X509* signer, STACK_OF(X509) * carried, X509_STORE* store,
                        std::optional<std::int64_t> at) {
    TrustVerdict verdict;
    const OwnedStoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store, signer, carried) != 1) {
        verdict.reason = "the chain cannot be built" + ErrorQueue::reason();
        return verdict;
    }
    X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_ANY);
    if (at)
        X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()),
                                   static_cast<time_t>(*at));
    if (X509_verify_cert(context.get()) != 1) {
        verdict.reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get()));
        return verdict;
    }
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    verdict.trusted = true;
    verdict.rootName =
        commonName(X509_get_subject_name(sk_X509_value(chain, sk_X509_num(chain) - 1)));
    return verdict;
}

// The system's roots and every certificate of the --ca files.
OwnedStore trustStore(const TrustOptions& options) {
    OwnedStore store(X509_STORE_new());
    if (!store)
        throw std::bad_alloc();
    if (options.systemRoots)
        X509_STORE_set_default_paths(store.get());
    for (const std::filesystem::path& file : options.extraRoots) {
        const Bytes pem = readWholeFile(file, 16 * 1024 * 1024);
        const OwnedBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
        int count = 0;
        while (bio) {
            const OwnedCertificate certificate(
                PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
            if (!certificate)
                break;
            X509_STORE_add_cert(store.get(), certificate.get());
            ++count;
        }
        ERR_clear_error(); // the end of the file reads as a failure
        if (count == 0)
            throw ToolError(file, "holds no PEM certificate (--ca)");
    }
    return store;
}

SignerCertificate describe(X509* certificate, std::optional<std::string>& unreadable) {
    SignerCertificate described;
    described.subjectName =
        commonName(X509_get_subject_name(certificate), &described.controlCharactersInName);
    described.issuerName = commonName(X509_get_issuer_name(certificate));
    described.selfSigned =
        X509_NAME_cmp(X509_get_subject_name(certificate), X509_get_issuer_name(certificate)) == 0;
    const std::optional<std::int64_t> notBefore = secondsOf(X509_get0_notBefore(certificate));
    const std::optional<std::int64_t> notAfter = secondsOf(X509_get0_notAfter(certificate));
    if (!notBefore || !notAfter)
        unreadable = "the signer's certificate has a validity date that cannot be read";
    described.notBefore = notBefore.value_or(0);
    described.notAfter = notAfter.value_or(0);
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    if (flags & EXFLAG_INVALID)
        unreadable = "the signer's certificate has an extension that cannot be read";
    described.hasExtendedKeyUsage = (flags & EXFLAG_XKUSAGE) != 0;
    described.allowsCodeSigning = !described.hasExtendedKeyUsage ||
                                  (X509_get_extended_key_usage(certificate) & XKU_CODE_SIGN) != 0;
    return described;
}

} // namespace

struct MessageDigest::State {
    OwnedDigestContext context;
};

MessageDigest::MessageDigest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
    ErrorQueue errors;
    state_->context.reset(EVP_MD_CTX_new());
    const EVP_MD* type = algorithm == DigestAlgorithm::sha256 ? EVP_sha256() : EVP_sha1();
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), type, nullptr) != 1)
        throw ToolError("the cryptographic library cannot compute a digest" + ErrorQueue::reason());
}

MessageDigest::~MessageDigest() = default;

void MessageDigest::add(std::span<const std::uint8_t> bytes) {
    if (EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1)
        throw ToolError("the cryptographic library cannot compute a digest");
}

std::vector<std::uint8_t> MessageDigest::finish() {
    std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size) != 1)
        throw ToolError("the cryptographic library cannot compute a digest");
    digest.resize(size);
    return digest;
}

SignatureFacts examineSignature(std::span<const std::uint8_t> der, const TrustOptions& trust) {
    ErrorQueue errors;
    const OwnedStore store = trustStore(trust);
    SignatureFacts facts;
    const auto unreadable = [&](const std::string& why) {
        facts.unreadable = why;
        return facts;
    };

    if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX))
        return unreadable("it is empty");
    const unsigned char* end = der.data();
    const OwnedPkcs7 signature(d2i_PKCS7(nullptr, &end, static_cast<long>(der.size())));
    if (!signature)
        return unreadable("it is no DER PKCS#7 SignedData" + ErrorQueue::reason());
    facts.signedDataSize = static_cast<std::size_t>(end - der.data());
    const PKCS7_SIGNED* signedData =
        PKCS7_type_is_signed(signature.get()) ? signature->d.sign : nullptr;
    if (signedData == nullptr || signedData->contents == nullptr)
        return unreadable("it is no PKCS#7 SignedData");

    // SpcIndirectDataContent: SEQUENCE { SpcAttributeTypeAndOptionalValue, DigestInfo }.
    const PKCS7* content = signedData->contents;
    if (!isOid(content->type, kOidIndirectData) || content->d.other == nullptr)
        return unreadable("its signed content is no SpcIndirectDataContent");
    const ByteView indirect = sequenceOf(content->d.other);
    const unsigned char* at = indirect.data();
    const OwnedTypes fields(
        indirect.empty() ? nullptr
                         : d2i_ASN1_SEQUENCE_ANY(nullptr, &at, static_cast<long>(indirect.size())));
    if (!fields || sk_ASN1_TYPE_num(fields.get()) != 2)
        return unreadable("its SpcIndirectDataContent cannot be read" + ErrorQueue::reason());
    const ByteView dataField = sequenceOf(sk_ASN1_TYPE_value(fields.get(), 0));
    at = dataField.data();
    const OwnedTypes data(
        dataField.empty()
            ? nullptr
            : d2i_ASN1_SEQUENCE_ANY(nullptr, &at, static_cast<long>(dataField.size())));
    const ASN1_TYPE* dataType =
        data && sk_ASN1_TYPE_num(data.get()) > 0 ? sk_ASN1_TYPE_value(data.get(), 0) : nullptr;
    if (dataType == nullptr || dataType->type != V_ASN1_OBJECT ||
        !isOid(dataType->value.object, kOidPeImageData))
        return unreadable("it does not sign a program image (no SpcPeImageData)");
    const ByteView digestField = sequenceOf(sk_ASN1_TYPE_value(fields.get(), 1));
    at = digestField.data();
    const OwnedDigestInfo digestInfo(
        digestField.empty() ? nullptr
                            : d2i_X509_SIG(nullptr, &at, static_cast<long>(digestField.size())));
    if (!digestInfo)
        return unreadable("its SpcIndirectDataContent has no digest" + ErrorQueue::reason());
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(digestInfo.get(), &algorithm, &digest);
    const int digestNid = OBJ_obj2nid(algorithm->algorithm);
    if (digestNid == NID_sha256)
        facts.algorithm = DigestAlgorithm::sha256;
    else if (digestNid == NID_sha1)
        facts.algorithm = DigestAlgorithm::sha1;
    const ByteView claimed = viewOf(digest);
    facts.indirectDigest.assign(claimed.begin(), claimed.end());

    // Authenticode's messageDigest covers the content's value: its bytes
    // after the SEQUENCE's tag and length.
    const unsigned char* inner = indirect.data();
    long innerSize = 0;
    int tag = 0;
    int tagClass = 0;
    if (ASN1_get_object(&inner, &innerSize, &tag, &tagClass, static_cast<long>(indirect.size())) &
        0x80)
        return unreadable("its SpcIndirectDataContent cannot be read" + ErrorQueue::reason());
    const ByteView signedContent(inner, static_cast<std::size_t>(innerSize));

    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(signature.get());
    const int signerCount = sk_PKCS7_SIGNER_INFO_num(signers);
    if (signerCount != 1)
        return unreadable("it has " + std::to_string(std::max(signerCount, 0)) +
                          " SignerInfos, not one");
    PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(signers, 0);
    X509* signer = certificateOf(info, signedData->cert);
    const SignerCheck check = checkSignerInfo(info, signedContent, signer);
    facts.attributesDigestMatch = check.digestMatches;
    facts.signatureValueVerifies = check.signatureVerifies;
    if (signer == nullptr) {
        facts.trust.reason = "the signer's certificate is not in the signature";
        return facts;
    }
    std::optional<std::string> badCertificate;
    facts.signer = describe(signer, badCertificate);
    if (badCertificate)
        return unreadable(*badCertificate);
    facts.certificateSignatureVerifies = certificateVerifies(signer, signedData->cert, store.get());

    facts.timestamp = countersignatureTime(info, signedData->cert);
    if (!facts.timestamp)
        facts.timestamp = rfc3161Time(info);
    facts.trust = judgeTrust(signer, signedData->cert, store.get(), facts.timestamp);
    return facts;
}
