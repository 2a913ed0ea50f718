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

SignedInstaller signInstaller(std::span<const std::uint8_t> installer,
                              const SigningOptions& options, const fs::path& shownAs) {
    readWholeFile(options.certificate, 1024 * 1024);
    if (options.passwordFile)
        openInputFile(*options.passwordFile);
    MemorySource image(installer);
    if (!readImageLayout(image))
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
    const SignatureReport report = inspectSignature(source, TrustOptions{{}, false});
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
