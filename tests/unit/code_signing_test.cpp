// Tests of signed installers: real signatures made by osslsigncode with
// throwaway certificates from openssl, read back by verify and list, and the
// inputs that must be refused without leaving anything behind.
#include "child_process.h"
#include "code_signing.h"
#include "file_io.h"
#include "message_digest.h"
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
            "-dateopt iso_8601 > good.dates";
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
    EXPECT_NE(verified.out.find("ok       signed by \"Test Saver Author\": the SHA-256 hash of "
                                "the signed bytes matches"),
              std::string::npos)
        << verified.out;

    std::string dates = readText(certificate("good.dates"));
    const auto isoDate = [&](const std::string& field) {
        const std::size_t at = dates.find(field + "=") + field.size() + 1;
        return dates.substr(at, 19) + " UTC";
    };
    const ToolRun listed = run({"list", out.string()});
    EXPECT_EQ(listed.code, 0);
    EXPECT_NE(listed.out.find("signer                   \"Test Saver Author\", valid from " +
                              isoDate("notBefore") + " to " + isoDate("notAfter") + "\n"),
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
    EXPECT_NE(verified.out.find("signed by \"Test Saver Author\": the SHA-1 hash"),
              std::string::npos);

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
         "signature: cannot be read: an element runs past its end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = signedImage;
        c.damage(damaged);
        MemorySource source(damaged);
        const SignatureReport report = inspectSignature(source);
        EXPECT_TRUE(report.isSigned);
        EXPECT_EQ(report.problems, std::vector<std::string>{c.problem});
    }

    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = signedImage;
        for (int flips = 0; flips < 1 + round % 4; ++flips)
            damaged[tableAt + 8 + random() % (tableSize - 8)] = static_cast<std::uint8_t>(random());
        MemorySource source(damaged);
        const SignatureReport report = inspectSignature(source);
        EXPECT_TRUE(report.isSigned);
        if (!report.problems.empty() || !report.signer)
            continue;
        EXPECT_TRUE(report.hashMatches);
    }
}

TEST(MessageDigest, KnownDigestsWhateverThePieces) {
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string million(1000000, 'a');
    const struct {
        DigestAlgorithm algorithm;
        std::string_view input;
        std::size_t piece;
        const char* digest;
    } cases[] = {
        {DigestAlgorithm::sha1, "", 1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {DigestAlgorithm::sha1, twoBlocks, 56, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DigestAlgorithm::sha1, million, 997, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {DigestAlgorithm::sha256, "", 1,
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {DigestAlgorithm::sha256, twoBlocks, 1,
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {DigestAlgorithm::sha256, million, 65536,
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digest);
        MessageDigest digest(c.algorithm);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.input.data());
        for (std::size_t at = 0; at < c.input.size(); at += c.piece)
            digest.add(std::span(bytes + at, std::min(c.piece, c.input.size() - at)));
        EXPECT_EQ(hexText(digest.finish()), c.digest);
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
