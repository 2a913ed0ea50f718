// Tests of signed installers: real signatures made by osslsigncode with
// throwaway certificates from openssl, read back by verify and list, and the
// inputs that must be refused without leaving anything behind.
#include "child_process.h"
#include "code_signing.h"
#include "file_io.h"
#include "package_listing.h"
#include "payload/entry_destinations.h"
#include "saverpack_cli.h"
#include "saverpack_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// PATH for the length of one scope.
class PathOverride {
  public:
    explicit PathOverride(const std::string& value) : old_(std::getenv("PATH")) {
        ::setenv("PATH", value.c_str(), 1);
    }
    PathOverride(const PathOverride&) = delete;
    PathOverride& operator=(const PathOverride&) = delete;
    ~PathOverride() { ::setenv("PATH", old_.c_str(), 1); }

  private:
    std::string old_;
};

void writeText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

void writeBytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The smallest PE32 image osslsigncode signs: headers only, no sections.
Bytes minimalImage() {
    Bytes image(0x400, 0);
    const auto put16 = [&](std::size_t at, std::uint16_t value) {
        image[at] = static_cast<std::uint8_t>(value);
        image[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        put16(at, static_cast<std::uint16_t>(value));
        put16(at + 2, static_cast<std::uint16_t>(value >> 16));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(0x3C, 0x40);
    image[0x40] = 'P';
    image[0x41] = 'E';
    put16(0x44, 0x014C); // i386
    put16(0x54, 0xE0);   // size of the optional header
    put16(0x56, 0x0102); // executable, 32-bit
    put16(0x58, 0x10B);  // PE32
    put32(0x58 + 16, 0x1000);
    put32(0x58 + 28, 0x400000);
    put32(0x58 + 32, 0x1000);
    put32(0x58 + 36, 0x200);
    put16(0x58 + 40, 4);
    put16(0x58 + 48, 4);
    put32(0x58 + 56, 0x1000);
    put32(0x58 + 60, 0x200);
    put16(0x58 + 68, 2);  // GUI
    put32(0x58 + 92, 16); // data directories
    return image;
}

class CodeSigning : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        osslsigncode_ = findOnPath("osslsigncode");
        if (!osslsigncode_ || !findOnPath("openssl"))
            return;
        std::random_device random;
        certificates_ = fs::temp_directory_path() / ("code-signing-" + std::to_string(random()));
        fs::create_directories(certificates_ / "ca");
        password_ = "pw-" + std::to_string(random()) + "-secret";
        writeText(certificates_ / "password.txt", password_ + "\n");
        writeText(certificates_ / "wrong.txt", "not-the-password\n");
        writeText(certificates_ / "ca" / "index.txt", "");
        writeText(certificates_ / "ca" / "serial.txt", "01\n");
        writeText(certificates_ / "ca" / "ca.cnf",
                  "[ca]\ndefault_ca = signing\n[signing]\ndatabase = index.txt\n"
                  "new_certs_dir = .\nserial = serial.txt\ndefault_md = sha256\npolicy = any\n"
                  "unique_subject = no\nx509_extensions = codesign\n[any]\n"
                  "commonName = supplied\n[codesign]\nextendedKeyUsage = codeSigning\n");
        const std::string script =
            "cd '" + certificates_.string() +
            "' && openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
            "-subj '/CN=Test Saver Author' -addext extendedKeyUsage=codeSigning "
            "-keyout good.key -out good.pem"
            " && openssl pkcs12 -export -inkey good.key -in good.pem -out good.pfx "
            "-passout file:password.txt"
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Web Server' "
            "-addext extendedKeyUsage=serverAuth -keyout server.key -out server.pem"
            " && openssl pkcs12 -export -inkey server.key -in server.pem -out server.pfx "
            "-passout pass:"
            " && cd ca && openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Old Saver Author' "
            "-keyout old.key -out old.csr"
            " && openssl ca -batch -config ca.cnf -selfsign -keyfile old.key -in old.csr "
            "-startdate 20200101000000Z -enddate 20200102000000Z -out old.pem"
            " && openssl pkcs12 -export -inkey old.key -in old.pem -out ../expired.pfx "
            "-passout pass:"
            " && cd .. && openssl x509 -in good.pem -noout -startdate -enddate "
            "-dateopt iso_8601 > good.dates"
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Test TSA' "
            "-addext extendedKeyUsage=critical,timeStamping -keyout tsa.key -out tsa.pem"
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 "
            "-subj \"/CN=$(printf 'Bell\\007\\033[2J')\" -addext extendedKeyUsage=codeSigning "
            "-keyout control.key -out control.pem"
            " && openssl pkcs12 -export -inkey control.key -in control.pem -out control.pfx "
            "-passout pass:";
        ready_ = std::system(
                     ("(" + script + ") > '" + (certificates_ / "openssl.log").string() + "' 2>&1")
                         .c_str()) == 0;
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!certificates_.empty())
            fs::remove_all(certificates_, ignored);
    }

    void SetUp() override {
        if (!osslsigncode_)
            GTEST_SKIP() << "osslsigncode is not on PATH";
        ASSERT_TRUE(ready_) << "openssl could not make the test certificates: "
                            << readText(certificate("openssl.log"));
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("signed-installer-" + std::to_string(random()));
        fs::create_directories(dir_);
        const fs::path stub = SAVERPACK_TEST_STUB;
        if (fs::is_regular_file(stub)) {
            stub_ = stub;
        } else {
            stub_ = dir_ / "stub.exe";
            writeBytes(stub_, minimalImage());
        }
    }

    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty())
            fs::remove_all(dir_, ignored);
    }

    ToolRun run(const std::vector<std::string>& args) {
        const ToolRun result = runTool(args);
        everything_ += result.out + result.err;
        return result;
    }

    // The example built behind the stub, unsigned unless `extra` says so.
    Bytes signExample(const std::string& pfx, const std::string& extra);
    // The example built and signed by saverpack with the good certificate.
    Bytes signedExample() {
        const fs::path good = dir_ / "good.exe";
        EXPECT_EQ(buildExample(good, {"--sign", certificate("good.pfx").string(), "--password-file",
                                      certificate("password.txt").string()})
                      .code,
                  0);
        return readWholeFile(good);
    }
    ToolRun buildExample(const fs::path& output, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {
            "build",  std::string(SAVERPACK_TEST_SOURCE_DIR) + "/examples/aquarium/package.json",
            "-o",     output.string(),
            "--stub", stub_.string()};
        const fs::path library = SAVERPACK_TEST_LIBRARY;
        if (fs::is_regular_file(library)) {
            args.insert(args.end(), {"--library", library.string()});
        } else {
            Bytes fake = {'M', 'Z'};
            fake.resize(4000, 0x90);
            writeBytes(dir_ / "impborl.dll", fake);
            args.insert(args.end(), {"--library", (dir_ / "impborl.dll").string()});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args);
    }

    int osslsigncodeVerifies(const fs::path& file) const {
        const std::string command =
            osslsigncode_->string() + " verify -CAfile '" + (certificates_ / "good.pem").string() +
            "' -in '" + file.string() + "' > '" + (dir_ / "verify.log").string() + "' 2>&1";
        return std::system(command.c_str());
    }

    std::vector<std::string> filesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static fs::path certificate(const std::string& name) { return certificates_ / name; }

    static inline std::optional<fs::path> osslsigncode_;
    static inline fs::path certificates_;
    static inline std::string password_;
    static inline bool ready_ = false;
    fs::path dir_;
    fs::path stub_;
    std::string everything_; // all the tool printed in this test
};

TEST_F(CodeSigning, SignedExampleVerifiesUntilAByteOfThePackageChanges) {
    // A stand-in signer first on PATH logs its arguments and hands them on.
    const fs::path fakes = dir_ / "fake-bin";
    fs::create_directories(fakes);
    writeText(fakes / "osslsigncode", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" +
                                          (dir_ / "argv.log").string() +
                                          "'\nfor a in \"$@\"; do shift\n"
                                          "  if [ \"$skip\" = 1 ]; then skip=0; continue; fi\n"
                                          "  if [ \"$a\" = -ts ]; then skip=1; continue; fi\n"
                                          "  set -- \"$@\" \"$a\"\ndone\nexec '" +
                                          osslsigncode_->string() + "' \"$@\"\n");
    fs::permissions(fakes / "osslsigncode", fs::perms::owner_all);
    const fs::path out = dir_ / "Aquarium.exe";
    {
        PathOverride path(fakes.string() + ":" + std::getenv("PATH"));
        const ToolRun built =
            buildExample(out, {"--sign", certificate("good.pfx").string(), "--password-file",
                               certificate("password.txt").string(), "--timestamp",
                               "http://timestamp.invalid/rfc3161"});
        ASSERT_EQ(built.code, 0) << built.err;
        EXPECT_NE(built.out.find(", signed by \"Test Saver Author\"\n"), std::string::npos)
            << built.out;
    }
    const std::string argv = readText(dir_ / "argv.log");
    EXPECT_NE(argv.find("-readpass\n" + certificate("password.txt").string() + "\n"),
              std::string::npos)
        << argv;
    EXPECT_NE(argv.find("-ts\nhttp://timestamp.invalid/rfc3161\n"), std::string::npos) << argv;
    EXPECT_EQ(argv.find(password_), std::string::npos);

    EXPECT_EQ(osslsigncodeVerifies(out), 0) << readText(dir_ / "verify.log");
    ToolRun verified = run({"verify", out.string()});
    EXPECT_EQ(verified.code, 0) << verified.out;
    const std::string untrusted = "note     signature valid, signed by \"Test Saver Author\", "
                                  "chained to a trusted root: no: self-signed certificate\n";
    EXPECT_NE(verified.out.find(untrusted), std::string::npos) << verified.out;

    std::string dates = readText(certificate("good.dates"));
    const auto isoDate = [&](const std::string& field) {
        const std::size_t at = dates.find(field + "=") + field.size() + 1;
        return dates.substr(at, 19) + " UTC";
    };
    const ToolRun listed = run({"list", out.string()});
    EXPECT_EQ(listed.code, 0);
    EXPECT_NE(listed.out.find("signer                   \"Test Saver Author\", valid from " +
                              isoDate("notBefore") + " to " + isoDate("notAfter") +
                              "\nsignature                valid, chained to a trusted root: no: "
                              "self-signed certificate\n"),
              std::string::npos)
        << listed.out << dates;

    // One byte in the middle of the data file's stored bytes.
    Bytes image = readWholeFile(out);
    MemorySource source(image);
    const PackageEntry dataFile =
        inspectPackage(source, InspectionDepth::list).header.entries[entry::kDataFile];
    ASSERT_GT(dataFile.storedSize(), 2);
    image.at(static_cast<std::size_t>(dataFile.firstByte + dataFile.storedSize() / 2)) ^= 0x5A;
    const fs::path damaged = dir_ / "damaged.exe";
    writeBytes(damaged, image);
    EXPECT_NE(osslsigncodeVerifies(damaged), 0);
    verified = run({"verify", damaged.string()});
    EXPECT_EQ(verified.code, 1);
    EXPECT_NE(verified.out.find("PROBLEM  signature: the SHA-256 hash of the signed bytes is "),
              std::string::npos)
        << verified.out;
    EXPECT_NE(verified.out.find("the file was changed after it was signed\n"), std::string::npos);

    // Signed in place, and with SHA-1 by osslsigncode itself.
    const fs::path plain = dir_ / "plain.exe";
    ASSERT_EQ(buildExample(plain).code, 0);
    const ToolRun signedInPlace =
        run({"sign", plain.string(), "--sign", certificate("good.pfx").string(), "--password-file",
             certificate("password.txt").string()});
    EXPECT_EQ(signedInPlace.code, 0) << signedInPlace.err;
    EXPECT_EQ(signedInPlace.out, plain.string() + ": signed by \"Test Saver Author\"\n");
    EXPECT_EQ(osslsigncodeVerifies(plain), 0) << readText(dir_ / "verify.log");
    ASSERT_EQ(buildExample(plain).code, 0);
    const std::string sha1 =
        osslsigncode_->string() + " sign -pkcs12 '" + certificate("good.pfx").string() +
        "' -readpass '" + certificate("password.txt").string() + "' -h sha1 -in '" +
        plain.string() + "' -out '" + (dir_ / "sha1.exe").string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(sha1.c_str()), 0);
    verified = run({"verify", (dir_ / "sha1.exe").string()});
    EXPECT_EQ(verified.code, 0) << verified.out;
    EXPECT_NE(verified.out.find(untrusted), std::string::npos) << verified.out;

    const ToolRun unsignedRun = run({"verify", plain.string()});
    EXPECT_EQ(unsignedRun.code, 0);
    EXPECT_NE(unsignedRun.out.find("note     not signed\n"), std::string::npos);
    EXPECT_EQ(everything_.find(password_), std::string::npos);
}

struct Refusal {
    const char* name;
    bool inPlace; // "sign" on an existing installer, else "build --sign"
    std::vector<std::string> options;
    bool emptyPath; // no signing tool anywhere on PATH
    int code;
    std::string message; // the start of the one line, after "saverpack: "
};

TEST_F(CodeSigning, RefusesBadSigningInputsAndLeavesNothingBehind) {
    const std::string good = certificate("good.pfx").string();
    const std::string password = certificate("password.txt").string();
    const std::vector<Refusal> cases = {
        {"missing certificate",
         false,
         {"--sign", (dir_ / "none.pfx").string()},
         false,
         1,
         (dir_ / "none.pfx").string() + ": no such file"},
        {"missing password file",
         true,
         {"--sign", good, "--password-file", (dir_ / "none.txt").string()},
         false,
         1,
         (dir_ / "none.txt").string() + ": no such file"},
        {"wrong password",
         true,
         {"--sign", good, "--password-file", certificate("wrong.txt").string()},
         false,
         1,
         "TARGET: signing failed: Failed to parse PKCS#12 file: " + good + " (Wrong password?)"},
        {"expired certificate",
         false,
         {"--sign", certificate("expired.pfx").string()},
         false,
         1,
         certificate("expired.pfx").string() +
             ": the certificate of \"Old Saver Author\" expired on 2020-01-02 00:00:00 UTC; "
             "not signed"},
        {"certificate not for code signing",
         true,
         {"--sign", certificate("server.pfx").string()},
         false,
         1,
         certificate("server.pfx").string() +
             ": the certificate of \"Web Server\" is not for code signing (its extended key "
             "usage lacks codeSigning); not signed"},
        {"no signing tool",
         false,
         {"--sign", good, "--password-file", password},
         true,
         1,
         "cannot sign: osslsigncode was not found on PATH (Debian package osslsigncode)"},
        {"no signing tool, in place",
         true,
         {"--sign", good},
         true,
         1,
         "cannot sign: osslsigncode was not found on PATH (Debian package osslsigncode)"},
        {"program image that is no Windows program",
         false,
         {"--stub", (dir_ / "notpe.exe").string(), "--sign", good},
         false,
         1,
         "TARGET: cannot sign: its program image is no Windows program with room for a "
         "signature"},
        {"password file without a certificate",
         true,
         {"--password-file", password},
         false,
         2,
         "--password-file and --timestamp need --sign PFX"},
    };
    const fs::path original = dir_ / "original.exe";
    ASSERT_EQ(buildExample(original).code, 0);
    const Bytes originalBytes = readWholeFile(original);
    fs::create_directories(dir_ / "empty");
    writeText(dir_ / "notpe.exe", "MZ, but no PE header");
    const std::vector<std::string> before = filesIn(dir_);
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = c.inPlace ? original : dir_ / "Aquarium.exe";
        std::optional<PathOverride> path;
        if (c.emptyPath)
            path.emplace((dir_ / "empty").string());
        ToolRun result;
        if (c.inPlace) {
            std::vector<std::string> args = {"sign", original.string()};
            args.insert(args.end(), c.options.begin(), c.options.end());
            result = run(args);
        } else {
            result = buildExample(target, c.options);
        }
        path.reset();
        std::string message = c.message;
        if (message.rfind("TARGET", 0) == 0)
            message.replace(0, 6, target.string());
        EXPECT_EQ(result.code, c.code);
        if (c.code == 1)
            EXPECT_EQ(result.err, "saverpack: " + message + "\n");
        else
            EXPECT_EQ(result.err.substr(0, result.err.find('\n')), "saverpack sign: " + message);
        EXPECT_EQ(readWholeFile(original), originalBytes);
        EXPECT_EQ(filesIn(dir_), before);
    }
    EXPECT_EQ(everything_.find(password_), std::string::npos);
}

} // namespace

namespace {

const TrustOptions kNoRoots{{}, false};

std::uint32_t little32(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(at + 2)) << 16 |
           static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

TEST_F(CodeSigning, DamagedSignaturesAreReportedNeverOverread) {
    // A small image, so that each round hashes little.
    writeBytes(dir_ / "small.exe", minimalImage());
    const std::string sign = osslsigncode_->string() + " sign -pkcs12 '" +
                             certificate("good.pfx").string() + "' -readpass '" +
                             certificate("password.txt").string() + "' -h sha256 -in '" +
                             (dir_ / "small.exe").string() + "' -out '" +
                             (dir_ / "signed.exe").string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    const Bytes signedImage = readWholeFile(dir_ / "signed.exe");
    const std::size_t entry = little32(signedImage, 0x3C) + 24 + 128;
    const std::uint32_t tableAt = little32(signedImage, entry);
    const std::uint32_t tableSize = little32(signedImage, entry + 4);
    ASSERT_EQ(std::uint64_t{tableAt} + tableSize, signedImage.size());
    const std::string where = "at " + std::to_string(tableAt) + ", ";

    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::string problem;
    } cases[] = {
        {"table past the end", [&](Bytes& b) { b[entry + 4] += 8; },
         "signature: the certificate table (" + where + std::to_string(tableSize + 8) +
             " bytes) does not lie within the file, " + std::to_string(signedImage.size()) +
             " bytes"},
        {"bytes after the table", [](Bytes& b) { b.insert(b.end(), 8, 0); },
         "signature: 8 bytes follow the certificate table; they are not signed"},
        {"no PKCS#7 type", [&](Bytes& b) { b[tableAt + 6] = 1; },
         "signature: the certificate table holds no PKCS#7 signature (WIN_CERTIFICATE length " +
             std::to_string(little32(signedImage, tableAt)) + ", revision and type 0x00020100)"},
        {"length past the end", [&](Bytes& b) { b[tableAt + 10] += 0x10; },
         "signature: cannot be read: it is no DER PKCS#7 SignedData: too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = signedImage;
        c.damage(damaged);
        MemorySource source(damaged);
        const SignatureReport report = inspectSignature(source, kNoRoots);
        EXPECT_TRUE(report.isSigned);
        EXPECT_EQ(report.problems, std::vector<std::string>{c.problem});
    }

    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = signedImage;
        for (int flips = 0; flips < 1 + round % 4; ++flips)
            damaged[tableAt + 8 + random() % (tableSize - 8)] = static_cast<std::uint8_t>(random());
        MemorySource source(damaged);
        const SignatureReport report = inspectSignature(source, kNoRoots);
        EXPECT_TRUE(report.isSigned);
        if (report.valid()) {
            EXPECT_EQ(report.signer->subjectName, "Test Saver Author");
        }
    }
}

// The lines of verify's output that judge the signature: its notes, every
// problem, and what it says of a valid signature.
std::vector<std::string> verdictLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("note", 0) == 0 || line.rfind("PROBLEM", 0) == 0 ||
            line.rfind("ok       signature", 0) == 0 ||
            line.rfind("ok       countersigned", 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Where a PE32 image keeps its security directory entry.
std::size_t securityEntry(const Bytes& image) {
    return little32(image, 0x3C) + 24 + 128;
}

// The SHA-256 Authenticode hash of a PE32 image: all but the checksum, the
// security directory entry and the certificate table.
Bytes imageHash(const Bytes& image) {
    const std::size_t entry = securityEntry(image);
    const std::size_t checksum = entry - 128 + 64;
    MessageDigest digest(DigestAlgorithm::sha256);
    const auto add = [&](std::size_t from, std::size_t to) {
        digest.add(std::span(image).subspan(from, to - from));
    };
    add(0, checksum);
    add(checksum + 4, entry);
    add(entry + 8, little32(image, entry));
    return digest.finish();
}

// Replaces every `from` in the certificate table by `to`, of the same size.
void replaceInTable(Bytes& image, const Bytes& from, const Bytes& to) {
    const auto table = image.begin() + little32(image, securityEntry(image));
    int replaced = 0;
    for (auto at = table;
         (at = std::search(at, image.end(), from.begin(), from.end())) != image.end(); ++replaced)
        at = std::copy(to.begin(), to.end(), at);
    ASSERT_GT(replaced, 0);
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A DER element with a definite length.
Bytes derElement(std::uint8_t tag, const Bytes& body) {
    Bytes out = {tag};
    if (body.size() < 0x80) {
        out.push_back(static_cast<std::uint8_t>(body.size()));
    } else {
        out.push_back(0x83);
        for (int shift : {16, 8, 0})
            out.push_back(static_cast<std::uint8_t>(body.size() >> shift));
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The certificate table replaced by one holding `der`, padded to 8 bytes.
void replaceSignature(Bytes& image, const Bytes& der) {
    const std::size_t entry = securityEntry(image);
    const std::uint32_t tableAt = little32(image, entry);
    const auto size = static_cast<std::uint32_t>((8 + der.size() + 7) / 8 * 8);
    image.resize(tableAt + 8);
    put32(image, tableAt, size);
    image.insert(image.end(), der.begin(), der.end());
    image.resize(tableAt + size, 0);
    put32(image, entry + 4, size);
}

// The example signed by osslsigncode with a PFX of the test certificates
// (no password) and `extra` options.
Bytes CodeSigning::signExample(const std::string& pfx, const std::string& extra) {
    const fs::path plain = dir_ / "plain.exe";
    if (!fs::exists(plain)) {
        EXPECT_EQ(buildExample(plain).code, 0);
    }
    const fs::path out = dir_ / ("signed-" + std::to_string(std::rand()) + ".exe");
    const std::string command = osslsigncode_->string() + " sign -pkcs12 '" +
                                certificate(pfx).string() + "' -pass '' -h sha256 " + extra +
                                " -in '" + plain.string() + "' -out '" + out.string() +
                                "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readWholeFile(out);
}

TEST_F(CodeSigning, VerifyJudgesForgedAndGenuineSignatures) {
    const Bytes genuine = signedExample();
    const Bytes expired = signExample("expired.pfx", "");
    const std::uint32_t tableSize = little32(genuine, securityEntry(genuine) + 4);
    const std::string goodCa = certificate("good.pem").string();
    const std::string oldCa = certificate("ca/old.pem").string();
    const std::string untrusted = "signature valid, signed by \"Test Saver Author\", chained to "
                                  "a trusted root: no: self-signed certificate";
    const std::string oldUntrusted = "signature valid, signed by \"Old Saver Author\", chained "
                                     "to a trusted root: no: self-signed certificate";
    const std::string oldExpired =
        "signature: the certificate of \"Old Saver Author\" expired on 2020-01-02 00:00:00 UTC";

    const struct {
        const char* name;
        const Bytes& base;
        std::function<void(Bytes&)> forge;
        std::vector<std::string> options;
        std::vector<std::string> lines;
        int code;
        int osslsigncode; // its exit code with the certificate as a root; -1: not asked
    } cases[] = {
        {"a byte of the signature value",
         genuine,
         [](Bytes& b) {
             // The value is the SignerInfo's last element, a 256-byte OCTET STRING.
             const Bytes header = {0x04, 0x82, 0x01, 0x00};
             const auto at = std::find_end(b.begin(), b.end(), header.begin(), header.end());
             ASSERT_NE(at, b.end());
             at[4 + 100] ^= 0x01;
         },
         {},
         {"PROBLEM  signature: the signature value does not verify with the signer's key"},
         1,
         1},
        {"a byte of the program and the digest it was signed with",
         genuine,
         [](Bytes& b) {
             const Bytes before = imageHash(b);
             b.at(0x300) ^= 0x20;
             replaceInTable(b, before, imageHash(b));
         },
         {},
         {"PROBLEM  signature: the signed attributes' messageDigest does not match the signed "
          "content (SpcIndirectDataContent)"},
         1,
         1},
        {"the signer's name, in the certificate and the SignerInfo",
         genuine,
         [](Bytes& b) { replaceInTable(b, text("Test Saver Author"), text("Evil Saver Author")); },
         {},
         {"PROBLEM  signature: the signer's certificate does not verify with its issuer's key"},
         1,
         1},
        {"unsigned bytes inside the certificate table",
         genuine,
         [](Bytes& b) {
             b.insert(b.end(), 1024, 0xA5);
             put32(b, securityEntry(b) + 4, little32(b, securityEntry(b) + 4) + 1024);
         },
         {},
         {"PROBLEM  signature: the certificate table is " + std::to_string(tableSize + 1024) +
          " bytes, but its signature with padding fills only " + std::to_string(tableSize) +
          ": 1024 bytes in it are not signed"},
         1,
         -1},
        {"genuine, no root", genuine, nullptr, {}, {"note     " + untrusted}, 0, 0},
        {"genuine, its certificate a root",
         genuine,
         nullptr,
         {"--ca", goodCa},
         {"ok       signature valid, signed by \"Test Saver Author\", chained to a trusted root: "
          "yes (root \"Test Saver Author\")"},
         0,
         0},
        {"genuine, a root required",
         genuine,
         nullptr,
         {"--require-trusted"},
         {"PROBLEM  " + untrusted},
         1,
         0},
        {"expired, not countersigned",
         expired,
         nullptr,
         {},
         {"note     " + oldUntrusted, "note     " + oldExpired},
         0,
         -1},
        {"expired, not countersigned, a root required",
         expired,
         nullptr,
         {"--ca", oldCa, "--require-trusted"},
         {"PROBLEM  signature valid, signed by \"Old Saver Author\", chained to a trusted root: "
          "no: certificate has expired",
          "PROBLEM  " + oldExpired},
         1,
         -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = c.base;
        if (c.forge)
            c.forge(image);
        const fs::path file = dir_ / "case.exe";
        writeBytes(file, image);
        std::vector<std::string> args = {"verify", file.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ToolRun verified = run(args);
        EXPECT_EQ(verdictLines(verified.out), c.lines) << verified.out;
        EXPECT_EQ(verified.code, c.code);
        if (c.osslsigncode >= 0) {
            EXPECT_EQ(osslsigncodeVerifies(file) != 0, c.osslsigncode == 1)
                << readText(dir_ / "verify.log");
        }
    }
}

// osslsigncode 2.6 and later carry a time-stamping authority of their own
// (-TSA-certs, -TSA-key, -TSA-time); Debian 12's 2.5 has none, and no
// timestamp server can be reached here.
TEST_F(CodeSigning, VerifyTrustsAnExpiredCertificateCountersignedWhileValid) {
    const ChildResult help = runChild(*osslsigncode_, {"--help"}, std::chrono::seconds(30));
    if (help.output.find("-TSA-certs") == std::string::npos)
        GTEST_SKIP() << "this osslsigncode cannot countersign without a timestamp server";
    // Signed on 2020-01-01 12:00:00 UTC by a certificate that expired a day later.
    const Bytes countersigned = signExample(
        "expired.pfx", "-TSA-certs '" + certificate("tsa.pem").string() + "' -TSA-key '" +
                           certificate("tsa.key").string() + "' -TSA-time 1577880000");
    const fs::path file = dir_ / "countersigned.exe";
    writeBytes(file, countersigned);
    const ToolRun verified = run(
        {"verify", file.string(), "--ca", certificate("ca/old.pem").string(), "--require-trusted"});
    EXPECT_EQ(verdictLines(verified.out),
              (std::vector<std::string>{
                  "ok       signature valid, signed by \"Old Saver Author\", chained to a trusted "
                  "root: yes (root \"Old Saver Author\")",
                  "ok       countersigned (timestamp) at 2020-01-01 12:00:00 UTC"}))
        << verified.out;
    EXPECT_EQ(verified.code, 0);
}

TEST_F(CodeSigning, VerifyNamesBadInputInOneLine) {
    const Bytes genuine = signedExample();
    const std::uint32_t tableAt = little32(genuine, securityEntry(genuine));
    const std::uint32_t length = little32(genuine, tableAt);
    const fs::path control = dir_ / "control.exe";
    const fs::path plain = dir_ / "plain.exe";
    ASSERT_EQ(buildExample(plain).code, 0);
    const std::string sign = osslsigncode_->string() + " sign -pkcs12 '" +
                             certificate("control.pfx").string() + "' -pass '' -h sha256 -in '" +
                             plain.string() + "' -out '" + control.string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    Bytes nested;
    for (int depth = 0; depth < 1000; ++depth) {
        // version, digestAlgorithms, the content, signerInfos: whole but for the depth
        Bytes signedData = {0x02, 0x01, 0x01, 0x31, 0x00};
        signedData.insert(signedData.end(), nested.begin(), nested.end());
        signedData.insert(signedData.end(), {0x31, 0x00});
        Bytes contentInfo = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
        const Bytes content = derElement(0xA0, derElement(0x30, signedData));
        contentInfo.insert(contentInfo.end(), content.begin(), content.end());
        nested = derElement(0x30, contentInfo);
    }

    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
        std::vector<std::string> lines;
    } cases[] = {
        {"no program image",
         [](Bytes& b) { b = text("hello, no program\n"); },
         {"note     not signed", "PROBLEM  too short for a package: 18 bytes, while the header "
                                 "alone ends at byte 701520"}},
        {"a WIN_CERTIFICATE longer than its table",
         [&](Bytes& b) { put32(b, tableAt, length + 8); },
         {"PROBLEM  signature: the certificate table holds no PKCS#7 signature (WIN_CERTIFICATE "
          "length " +
          std::to_string(length + 8) + ", revision and type 0x00020200)"}},
        {"a SignedData nested a thousand deep",
         [&](Bytes& b) { replaceSignature(b, nested); },
         {"PROBLEM  signature: cannot be read: it is no DER PKCS#7 SignedData: nested asn1 error"}},
        {"a signer named with control characters",
         [&](Bytes& b) { b = readWholeFile(control); },
         {"PROBLEM  signature: the signer's name holds control characters (shown as '?')"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = genuine;
        c.damage(image);
        const fs::path file = dir_ / "case.exe";
        writeBytes(file, image);
        const ToolRun verified = run({"verify", file.string()});
        EXPECT_EQ(verdictLines(verified.out), c.lines) << verified.out;
        EXPECT_EQ(verified.code, 1);
    }
}

// The signer as a process: stopped at its time limit with what it started,
// and nothing written then; an installer signed in place keeps its
// permissions; a symbolic link is not signed in place.
TEST_F(CodeSigning, SignerIsStoppedAtItsLimitAndSigningInPlaceKeepsTheFile) {
    const fs::path slow = dir_ / "slow-bin";
    fs::create_directories(slow);
    writeText(slow / "osslsigncode",
              "#!/bin/sh\nsleep 30 &\necho $! > '" + (slow / "sleeper").string() + "'\nwait\n");
    fs::permissions(slow / "osslsigncode", fs::perms::owner_all);
    const fs::path plain = dir_ / "plain.exe";
    ASSERT_EQ(buildExample(plain).code, 0);
    const Bytes unsignedBytes = readWholeFile(plain);
    fs::create_symlink(plain, dir_ / "link.exe");
    const std::string signing[] = {"--sign", certificate("good.pfx").string(), "--password-file",
                                   certificate("password.txt").string()};
    const auto running = [](const fs::path& pidFile) {
        std::string pid = readText(pidFile);
        std::ifstream stat("/proc/" + pid.substr(0, pid.find('\n')) + "/stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t end = text.rfind(')');
        return end != std::string::npos && end + 2 < text.size() && text[end + 2] != 'Z';
    };
    const struct {
        const char* name;
        bool build; // "build --sign" to Aquarium.exe, else "sign FILE"
        std::string file;
        bool slowSigner;
        unsigned mode;     // of plain.exe before, and after signing it in place
        std::string error; // the one line; none when signed
    } cases[] = {
        {"sign past the limit", false, plain.string(), true, 0644,
         plain.string() + ": signing failed: the signer did not finish within 1 s; stopped"},
        {"build --sign past the limit", true, "", true, 0644,
         (dir_ / "Aquarium.exe").string() +
             ": signing failed: the signer did not finish within 1 s; stopped"},
        {"a private installer", false, plain.string(), false, 0600, ""},
        {"a shared installer", false, plain.string(), false, 0754, ""},
        {"a symbolic link", false, (dir_ / "link.exe").string(), false, 0600,
         (dir_ / "link.exe").string() + ": a symbolic link; sign the file it leads to"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(plain, unsignedBytes);
        fs::permissions(plain, static_cast<fs::perms>(c.mode));
        const std::vector<std::string> before = filesIn(dir_);
        std::optional<PathOverride> path;
        if (c.slowSigner)
            path.emplace(slow.string() + ":" + std::getenv("PATH"));
        std::vector<std::string> args(std::begin(signing), std::end(signing));
        if (c.slowSigner)
            args.insert(args.end(), {"--sign-timeout", "1"});
        const auto start = std::chrono::steady_clock::now();
        ToolRun result;
        if (c.build) {
            result = buildExample(dir_ / "Aquarium.exe", args);
        } else {
            args.insert(args.begin(), {"sign", c.file});
            result = run(args);
        }
        path.reset();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.code, c.error.empty() ? 0 : 1);
        EXPECT_EQ(result.err, c.error.empty() ? "" : "saverpack: " + c.error + "\n");
        EXPECT_EQ(fs::status(plain).permissions(), static_cast<fs::perms>(c.mode));
        if (!c.error.empty()) {
            EXPECT_EQ(readWholeFile(plain), unsignedBytes);
            EXPECT_EQ(filesIn(dir_), before);
            EXPECT_TRUE(fs::is_symlink(dir_ / "link.exe"));
        }
        if (c.slowSigner) {
            EXPECT_LT(took, std::chrono::seconds(5));
            EXPECT_FALSE(running(slow / "sleeper")) << "the signer's own child was left running";
        }
    }
}

} // namespace
